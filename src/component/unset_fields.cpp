#include "component/unset_fields.h"

#include "host/host_value.h"

namespace clasp::detail {

UnsetFields::UnsetFields(const HoldfastFields& fields)
    : fields_{Field(fields.*kHostFields[0].first, kHostFields[0].second, raised_),
              Field(fields.*kHostFields[1].first, kHostFields[1].second, raised_),
              Field(fields.*kHostFields[2].first, kHostFields[2].second, raised_),
              Field(fields.*kHostFields[3].first, kHostFields[3].second, raised_),
              Field(fields.*kHostFields[4].first, kHostFields[4].second, raised_)} {
  static_assert(kHostFieldCount == 5, "one stand-in per host field");
  for (std::size_t i = 0; i < kHostFieldCount; ++i) objects_[i] = HostObject(&fields_[i]);
}

const HostObject& UnsetFields::Of(HostObject HoldfastFields::*field) const noexcept {
  std::size_t i = 0;
  while (i + 1 < kHostFieldCount && kHostFields[i].first != field) ++i;
  return objects_[i];
}

Failure UnsetFields::Field::Raise(std::u16string_view member) {
  Failure failure = ObjectNotSetFailure();
  try {
    raised_.push_back({name_, std::u16string(member), failure});
  } catch (...) {
    // Out of memory: the step fails as it would, only unrecorded.
  }
  return failure;
}

HostValue UnsetFields::Field::Invoke(std::u16string_view member,
                                     std::span<const HostValue> args) {
  if (field_) return field_.InvokeArgs(member, args);
  throw Raise(member);
}

Outcome<HostValue> UnsetFields::Field::TryInvoke(std::u16string_view member,
                                                 std::span<const HostValue> args) {
  if (field_) {
    const Ref<HostDispatch> keep(field_.Get());
    return keep->TryInvoke(member, args);
  }
  return Raise(member);
}

void UnsetFields::Field::Put(std::u16string_view member, const HostValue& value) {
  if (field_) return field_.Put(member, value);
  throw Raise(member);
}

HostValue UnsetFields::Field::DefaultValue() {
  if (field_) return field_.DefaultValue();
  throw Raise({});
}

}  // namespace clasp::detail
