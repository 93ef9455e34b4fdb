// A report as a readable transcript or as JSON.
#pragma once

#include <string>

#include "sim/report.h"

namespace clasp::sim {

// The transcript: set-up, every access of Cols in order with its values and
// what the hosts did, the state afterwards, the files written, and last the
// result with its meaning. `colour` adds terminal colours and nothing else.
std::string RenderText(const Report& report, bool colour);

// The same content as one JSON document.
std::string RenderJson(const Report& report);

}  // namespace clasp::sim
