// The state of one retain-card step instance: what its host assigned it and
// what its last step left behind.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_object.h"

namespace clasp {

// The instance's state, in the order the host's tooling lists it.
struct HoldfastFields {
  HostObject StepDisp;
  HostObject StepMks;
  HostObject StepRunModul;
  HostObject StepJour;
  HostObject StepTrac;
  std::int32_t RetCode = 0;
  std::u16string TraceText;
  std::int32_t ScreenNoValue = 0;
};

}  // namespace clasp
