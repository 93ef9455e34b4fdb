// The retain-card component as the simulator drives it: linked in directly, or
// created through the platform's automation run time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "component/inside_failures.h"
#include "host/failure.h"
#include "host/host_value.h"
#include "sim/catalogue.h"
#include "sim/sim_host.h"

namespace clasp::sim {

// What the simulator does with the component: assign hosts, set values, run Cols.
class Component {
 public:
  virtual ~Component() = default;
  // Assigns a host object (simulated, or a proxy for a real one) to StepDisp,
  // StepMks, ...; never fails.
  virtual void Assign(HostRole role, const HostObject& host) = 0;
  // The members below raise Failure when the component's member fails.
  virtual void ScreenNo(const std::u16string& text) = 0;
  // DisapleVal01 for slot 0, ... DisapleVal04 for slot 3.
  virtual void DisplayValue(int slot, const HostValue& value) = 0;
  virtual std::int32_t Cols() = 0;
  // Adds to `into` the failures the component raised itself since it was last
  // asked, in order. False when it cannot tell them (through COM it tells a
  // host nothing of them): the record of a run then places them from what
  // the component did in public.
  virtual bool TakeInsideFailures(std::vector<InsideFailure>& into) = 0;
};

// The component built into this program.
std::unique_ptr<Component> MakeLinkedComponent();

#ifdef _WIN32
// "Clasp.Holdfast" created through COM; raises std::runtime_error when it
// cannot be created (not registered, for example).
std::unique_ptr<Component> MakeComComponent();
#endif

}  // namespace clasp::sim
