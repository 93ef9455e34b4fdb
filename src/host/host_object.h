// Late-bound host objects: members found by name when they are used, called
// with values built where the call reads them.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

#include "host/failure.h"
#include "host/host_dispatch.h"
#include "host/host_value.h"

namespace clasp {

template <class... Args>
HostValue HostObject::Invoke(std::u16string_view member, Args&&... args) const {
  if constexpr (sizeof...(Args) == 0) {
    return InvokeArgs(member, {});
  } else {
    const HostValue values[] = {HostValue(std::forward<Args>(args))...};
    return InvokeArgs(member, values);
  }
}

// The accesses every step makes by the dozen: defined here so that the call
// reaches the host's own Invoke or Put with nothing in between. Each holds a
// count for the call, as the host may drop the reference we were called
// through, unless the object holds one on itself. Taking that count is left
// to functions of its own, so that an access that takes none keeps nothing
// in registers across it.
inline HostValue HostObject::InvokeArgs(std::u16string_view member,
                                        std::span<const HostValue> args) const {
  if (!ref_) RaiseNotSet();
  if (ref_->HoldsItselfDuringCalls()) return ref_->Invoke(member, args);
  return InvokeCounted(member, args);
}

inline Outcome<HostValue> HostObject::TryInvoke(std::u16string_view member) const {
  if (!ref_) return ObjectNotSetFailure();
  if (ref_->HoldsItselfDuringCalls()) return ref_->TryInvoke(member, {});
  return TryInvokeCounted(member);
}

inline void HostObject::Put(std::u16string_view member, const HostValue& value) const {
  if (!ref_) RaiseNotSet();
  if (ref_->HoldsItselfDuringCalls()) return ref_->Put(member, value);
  PutCounted(member, value);
}

inline HostValue HostObject::Invoke(std::u16string_view member,
                                   std::initializer_list<HostValue> args) const {
  return InvokeArgs(member, std::span<const HostValue>(args.begin(), args.size()));
}

}  // namespace clasp
