// Turns the facts about Clasp.Holdfast into lines a field engineer reads: what
// is fine, what is not, and the likely cause of each failure.
#pragma once

#include <string>
#include <vector>

#include "facts.h"

namespace clasp::check {

// The likely cause behind a failed finding.
enum class Cause {
  kNone,
  kNotRegistered,       // not registered in either view
  kOtherBitnessOnly,    // registered only in the other bitness's view
  kFileMoved,           // the registered file is gone
  kWrongBitnessFile,    // the registered file is for the other bitness
  kStaleTypeLibrary,    // the type library registration is from another version or file
  kIncomplete,          // registry entries missing or differing
  kCreationFailed,      // everything looks right, creation still failed
};

// One line of the report.
struct Finding {
  bool ok = false;
  std::string what;   // what was checked and found
  Cause cause = Cause::kNone;
  std::string advice; // the likely cause and what to do, for a failure
};

// Every finding, in the order an engineer would check them.
std::vector<Finding> Diagnose(const Facts& facts);

// True when no finding failed.
bool AllOk(const std::vector<Finding>& findings);

// The report as printed: one line per finding, advice indented below failures.
std::string Render(const Facts& facts, const std::vector<Finding>& findings);

}  // namespace clasp::check
