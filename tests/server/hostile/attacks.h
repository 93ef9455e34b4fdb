// The table of attacks: each one a hostile caller or a misbehaving host.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace clasp::hostile {

// One attack: it survives when it returns empty text; otherwise the text says
// what came out wrong. A crash ends the process that runs it.
struct Attack {
  std::string name;
  std::function<std::string()> run;
};

// Malformed values and requests from the component's caller.
void AddCallerAttacks(std::vector<Attack>& attacks);
// Hosts that answer what no value can be, lie about their interfaces, or
// count references wrongly when the component holds them.
void AddHostAttacks(std::vector<Attack>& attacks);
// Hosts that call back into the component, or drop it, while it calls them.
void AddReentryAttacks(std::vector<Attack>& attacks);
// Callers of the IDispatchEx this code offers for host objects of its own.
void AddOfferedAttacks(std::vector<Attack>& attacks);

}  // namespace clasp::hostile
