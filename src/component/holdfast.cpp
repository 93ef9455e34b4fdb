#include "component/holdfast.h"

#include <utility>

#include "component/inspect.h"
#include "component/nesting.h"
#include "component/unset_fields.h"
#include "host/failure.h"

namespace clasp {

using namespace std::literals;

Holdfast::Holdfast(Conversions conversions)
    : convert_(conversions), unset_(std::make_unique<detail::UnsetFields>(fields_)) {}

Holdfast::~Holdfast() = default;

Ref<Holdfast> Holdfast::Create(Conversions conversions) {
  return Ref<Holdfast>::Adopt(new Holdfast(conversions));
}

void Holdfast::Assign(HostObject Fields::*field, const HostObject& object) {
  const Ref<Holdfast> keep_alive(this);
  // Copy first: the field may be the caller's only path to the object.
  const HostObject copy = object;
  fields_.*field = copy;
}

const HostObject& Holdfast::Field(HostObject Fields::*field) const noexcept {
  const HostObject& object = fields_.*field;
  return object ? object : unset_->Of(field);
}

const Holdfast::Fields& FieldsOf(const Holdfast& holdfast) noexcept { return holdfast.fields_; }

std::span<const InsideFailure> InsideFailuresOf(const Holdfast& holdfast) noexcept {
  return holdfast.unset_->Raised();
}

void Holdfast::StepDisp(const HostObject& object) { Assign(&Fields::StepDisp, object); }
void Holdfast::StepMks(const HostObject& object) { Assign(&Fields::StepMks, object); }
void Holdfast::StepRunModul(const HostObject& object) {
  Assign(&Fields::StepRunModul, object);
}
void Holdfast::StepTrac(const HostObject& object) { Assign(&Fields::StepTrac, object); }
void Holdfast::StepJour(const HostObject& object) { Assign(&Fields::StepJour, object); }

void Holdfast::PutDisplayValue(std::u16string_view member, const HostValue& value) {
  const NestingGuard nesting;
  const Ref<Holdfast> keep_alive(this);
  const HostValue copy = value;
  unset_->Forget();
  Field(&Fields::StepDisp).Put(member, copy);
}

void Holdfast::DisapleVal01(const HostValue& value) { PutDisplayValue(u"DisapleVal01"sv, value); }
void Holdfast::DisapleVal02(const HostValue& value) { PutDisplayValue(u"DisapleVal02"sv, value); }
void Holdfast::DisapleVal03(const HostValue& value) { PutDisplayValue(u"DisapleVal03"sv, value); }
void Holdfast::DisapleVal04(const HostValue& value) { PutDisplayValue(u"DisapleVal04"sv, value); }

void Holdfast::ScreenNo(const std::u16string& text) {
  const Ref<Holdfast> keep_alive(this);
  fields_.ScreenNoValue = convert_.ToInt32(HostValue::Text(text));
}

}  // namespace clasp
