// Runs one scenario against a component and collects the report.
#pragma once

#include "sim/component.h"
#include "sim/log_files.h"
#include "sim/recording_proxy.h"
#include "sim/report.h"
#include "sim/scenario.h"

namespace clasp::sim {

// Sets the component up as the scenario says, calls Cols once and reports.
// Failures raised inside the step are part of the report, never raised. Fields in
// `real` get the integrator's own objects, recorded through a proxy; the
// others get simulated hosts.
Report Run(const Scenario& scenario, Component& component, LogFiles files,
           const RealHosts& real = {});

}  // namespace clasp::sim
