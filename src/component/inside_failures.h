// Failures raised inside an instance, as tools that record a step read them:
// its hosts never see those, so nothing public tells them.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "host/failure.h"

namespace clasp {

class Holdfast;

// A failure raised inside the step: it reached `member` ("TimeSig"; empty
// for a default member) on the host field `field` ("StepJour") the host never
// assigned, and raised `failure` (91) there.
struct InsideFailure {
  std::u16string_view field;
  std::u16string member;
  Failure failure;
};

// The failures `holdfast` raised itself during its last Cols or display value,
// in the order it raised them; kept until the next of those begins. A step
// may raise two with no host access between (an unset tracer fails again on
// the failure path), so a tool reads them all, not just the last.
std::span<const InsideFailure> InsideFailuresOf(const Holdfast& holdfast) noexcept;

}  // namespace clasp
