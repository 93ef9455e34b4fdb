// Runs one scenario against a component and collects the report.
#pragma once

#include "sim/component.h"
#include "sim/log_files.h"
#include "sim/report.h"
#include "sim/scenario.h"

namespace clasp::sim {

// Sets the component up as the scenario says, calls Cols once and reports.
// The step's own failures are part of the report, never raised.
Report Run(const Scenario& scenario, Component& component, LogFiles files);

}  // namespace clasp::sim
