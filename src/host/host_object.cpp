#include "host/host_object.h"

#include "host/failure.h"
#include "host/host_value.h"

namespace clasp {

HostValue HostObject::InvokeArgs(std::u16string_view member,
                                 std::span<const HostValue> args) const {
  if (!ref_) throw ObjectNotSetFailure();
  // Hold our own count: the host may drop the reference we were called through.
  const Ref<HostDispatch> keep = ref_;
  return keep->Invoke(member, args);
}

void HostObject::Put(std::u16string_view member, const HostValue& value) const {
  if (!ref_) throw ObjectNotSetFailure();
  const Ref<HostDispatch> keep = ref_;
  keep->Put(member, value);
}

HostValue HostObject::DefaultValue() const {
  if (!ref_) throw ObjectNotSetFailure();
  const Ref<HostDispatch> keep = ref_;
  return keep->DefaultValue();
}

HostValue HostDispatch::DefaultValue() { throw MemberMissingFailure(); }

}  // namespace clasp
