// Stand-ins for the host fields a host never assigned.
#pragma once

#include <array>
#include <iterator>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "component/fields.h"
#include "component/inside_failures.h"
#include "host/host_object.h"

namespace clasp::detail {

// The host fields by name, in the order the host's tooling lists them.
inline constexpr std::pair<HostObject HoldfastFields::*, std::u16string_view> kHostFields[] = {
    {&HoldfastFields::StepDisp, u"StepDisp"},         {&HoldfastFields::StepMks, u"StepMks"},
    {&HoldfastFields::StepRunModul, u"StepRunModul"}, {&HoldfastFields::StepJour, u"StepJour"},
    {&HoldfastFields::StepTrac, u"StepTrac"},
};
inline constexpr std::size_t kHostFieldCount = std::size(kHostFields);

// One stand-in per host field. Every member reached on one fails as an empty
// reference does, and the failure is kept with the field and the member: the
// field is known here, where the failure is raised, and not below, where an
// empty reference is only an empty reference. A field the host assigns while
// a step holds its stand-in is used from then on, as the field itself would be.
class UnsetFields {
 public:
  explicit UnsetFields(const HoldfastFields& fields);
  UnsetFields(const UnsetFields&) = delete;
  UnsetFields& operator=(const UnsetFields&) = delete;

  // The stand-in for `field`.
  const HostObject& Of(HostObject HoldfastFields::*field) const noexcept;
  // Forgets what the previous member raised.
  void Forget() noexcept { raised_.clear(); }
  std::span<const InsideFailure> Raised() const noexcept { return raised_; }

 private:
  class Field final : public HostDispatch {
   public:
    Field(const HostObject& field, std::u16string_view name,
          std::vector<InsideFailure>& raised) noexcept
        : field_(field), name_(name), raised_(raised) {}
    // Lives exactly as long as the instance whose field it stands for, which
    // holds a count of its own while any member runs.
    void AddRef() noexcept override {}
    void Release() noexcept override {}
    HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
    Outcome<HostValue> TryInvoke(std::u16string_view member,
                                 std::span<const HostValue> args) override;
    void Put(std::u16string_view member, const HostValue& value) override;
    HostValue DefaultValue() override;

   private:
    Failure Raise(std::u16string_view member);

    const HostObject& field_;
    std::u16string_view name_;
    std::vector<InsideFailure>& raised_;
  };

  std::vector<InsideFailure> raised_;
  std::array<Field, kHostFieldCount> fields_;
  std::array<HostObject, kHostFieldCount> objects_;
};

}  // namespace clasp::detail
