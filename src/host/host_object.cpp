#include "host/host_object.h"

#include "host/failure.h"
#include "host/host_value.h"

namespace clasp {
namespace {

[[noreturn]] void RaiseNotSet() { throw ObjectNotSetFailure(); }

}  // namespace

HostValue HostObject::InvokeArgs(std::u16string_view member,
                                 std::span<const HostValue> args) const {
  if (!ref_) RaiseNotSet();
  // Hold our own count: the host may drop the reference we were called through.
  const Ref<HostDispatch> keep = ref_;
  return keep->Invoke(member, args);
}

Outcome<HostValue> HostObject::TryInvoke(std::u16string_view member) const {
  if (!ref_) return ObjectNotSetFailure();
  const Ref<HostDispatch> keep = ref_;
  return keep->TryInvoke(member, {});
}

void HostObject::Put(std::u16string_view member, const HostValue& value) const {
  if (!ref_) RaiseNotSet();
  const Ref<HostDispatch> keep = ref_;
  keep->Put(member, value);
}

HostValue HostObject::DefaultValue() const {
  if (!ref_) RaiseNotSet();
  const Ref<HostDispatch> keep = ref_;
  return keep->DefaultValue();
}

Outcome<HostValue> HostDispatch::TryInvoke(std::u16string_view member,
                                           std::span<const HostValue> args) {
  try {
    return Invoke(member, args);
  } catch (const Failure& failure) {
    return failure;
  }
}

HostValue HostDispatch::DefaultValue() { throw MemberMissingFailure(); }

}  // namespace clasp
