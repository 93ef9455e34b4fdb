// The component's own failures in the record of a step, where they happen.
#pragma once

#include "sim/report.h"
#include "sim/scenario.h"

namespace clasp::sim {

// Adds the failure the component raises itself on a host field left unset
// (91) to the step's record, at the point it happened. No host sees it, so
// the point is read from what the hosts did see: the failure path's journal
// entry comes right after it, and when the failure path meets the same empty
// field the failure escapes Cols at the end.
void ShowOwnFailures(const Scenario& scenario, Report& report);

}  // namespace clasp::sim
