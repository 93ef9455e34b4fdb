// Gathers the facts about Clasp.Holdfast from this process's registry view,
// the file system, the type libraries and one creation attempt.
#pragma once

#include "facts.h"

namespace clasp::check {

// Everything clasp-check reports on, read from this machine.
Facts Probe();

}  // namespace clasp::check
