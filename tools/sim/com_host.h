// A simulated host object offered to the component as an automation object.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "sim/sim_host.h"

namespace clasp::sim {

// IDispatch over a SimHost: names resolve through the host's own catalogue,
// calls go to the same members as in the linked build, and failures come back
// as DISP_E_EXCEPTION with the number and description filled in.
// Returns an object with one reference owned by the caller.
IDispatch* NewComHost(SimHost& host);

}  // namespace clasp::sim
