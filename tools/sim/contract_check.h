// Whether an access the component made keeps to the host contract: a test's
// and a reviewer's check that the contract file says what the component does.
#pragma once

#include <optional>
#include <string>

#include "sim/report.h"

namespace clasp::sim {

// Why `event`, an access to a host object, departs from the contract: a
// member outside it, another use (a read of a property only assigned, a call
// of a property), another number of arguments, another kind of argument or a
// by-reference one elsewhere; nothing when it keeps to it. Accesses the
// component made to itself ("Holdfast") and failures it raised on a field
// never assigned are not accesses to a host.
std::optional<std::string> ContractDeparture(const Event& event);

}  // namespace clasp::sim
