// An integrator's own host object put in front of the component: every access
// goes to it unchanged and is recorded in the transcript like the simulated
// hosts' accesses.
#pragma once

#include <map>
#include <string>

#include "host/host_object.h"
#include "sim/catalogue.h"
#include "sim/sim_host.h"

namespace clasp::sim {

// A real host object for one field, and what it was created from (a ProgID).
struct RealHost {
  HostObject object;
  std::string name;
};
using RealHosts = std::map<HostRole, RealHost>;

// A host that forwards every access to `real` and records it in `world`:
// member, values with their kinds, by-reference arguments as they went in,
// the answer or the failure. The scenario's answers, raises and lacks do not
// apply: the real object decides.
HostObject MakeRecordingProxy(HostRole role, HostObject real, World& world);

}  // namespace clasp::sim
