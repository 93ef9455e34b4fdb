// Late-bound host objects: members found by name when they are used, called
// with values built where the call reads them.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

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

inline HostValue HostObject::Invoke(std::u16string_view member,
                                   std::initializer_list<HostValue> args) const {
  return InvokeArgs(member, std::span<const HostValue>(args.begin(), args.size()));
}

}  // namespace clasp
