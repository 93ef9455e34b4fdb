// An integrator's own host object put in front of the component: every access
// goes to it unchanged and is recorded in the transcript like the simulated
// hosts' accesses.
#pragma once

#include <map>
#include <string>

#include "host/host_object.h"
#include "sim/catalogue.h"
#include "sim/report.h"
#include "sim/sim_host.h"

namespace clasp::sim {

// A real host object for one field, and what it was created from (a ProgID).
// `handed` names the members (by catalogue index) whose reads and calls the
// certification bench answers itself when the object answers otherwise.
struct RealHost {
  HostObject object;
  std::string name;
  std::map<std::size_t, Handed> handed = {};
};
using RealHosts = std::map<HostRole, RealHost>;

// A host that forwards every access to `real` and records it in `world`:
// member, values with their kinds, by-reference arguments as they went in,
// the answer or the failure. The scenario's answers, raises and lacks do not
// apply: the real object decides, except where `handed` names the member.
HostObject MakeRecordingProxy(HostRole role, HostObject real, World& world,
                              std::map<std::size_t, Handed> handed = {});

// Whether what an object did (`answer` or `failure`) already is what `wanted`
// stands for: the same text, the same code, or any failure for a failure.
bool AlreadyHanded(const Handed& wanted, const std::optional<HostValue>& answer,
                   const std::optional<Failure>& failure);

}  // namespace clasp::sim
