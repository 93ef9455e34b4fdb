// The integrator's own host objects, created by name through the platform.
#pragma once

#include <string>

#include "host/host_object.h"

namespace clasp::sim {

// Creates the automation object registered as `prog_id` and reaches it by
// name from then on. Raises InputError naming it when nothing is registered
// under that name, it cannot be created, or it cannot be called by name (no
// IDispatch). Needs the platform's automation run time: the Windows build only.
HostObject CreateRealHost(const std::string& prog_id);

}  // namespace clasp::sim
