// Gathers the facts about Clasp.Holdfast from this process's registry view,
// the file system, the type libraries and one creation attempt.
#pragma once

#include <string>
#include <vector>

#include "facts.h"

namespace clasp::check {

// Everything clasp-check reports on, read from this machine.
Facts Probe();

// Everything about registration-free use in `folder` (UTF-8), with one
// creation attempt in the activation context of the program's manifest there.
RegFreeFacts ProbeFolder(const std::string& folder);

// The program's arguments after its name, as UTF-8: a folder's name may hold
// characters outside the ANSI code page.
std::vector<std::string> CommandLineArguments();

}  // namespace clasp::check
