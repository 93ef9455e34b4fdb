#include "host/host_object.h"

#include "host/failure.h"
#include "host/host_value.h"

namespace clasp {

void HostObject::RaiseNotSet() { throw ObjectNotSetFailure(); }

HostValue HostObject::InvokeCounted(std::u16string_view member,
                                    std::span<const HostValue> args) const {
  const Ref<HostDispatch> keep = ref_;
  return keep->Invoke(member, args);
}

Outcome<HostValue> HostObject::TryInvokeCounted(std::u16string_view member) const {
  const Ref<HostDispatch> keep = ref_;
  return keep->TryInvoke(member, {});
}

void HostObject::PutCounted(std::u16string_view member, const HostValue& value) const {
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
