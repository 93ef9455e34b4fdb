// Turns the facts about Clasp.Holdfast into lines a field engineer reads: what
// is fine, what is not, and the likely cause of each failure.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "facts.h"

namespace clasp::check {

// The likely cause behind a failed finding.
enum class Cause {
  kNone,                 // the failure follows from an earlier one
  kNotRegistered,        // not registered in either view
  kNoServer,             // the class is registered without its InprocServer32
  kOtherBitnessOnly,     // registered only in the other bitness's view
  kFileMoved,            // the registered file is gone
  kWrongBitnessFile,     // the registered file is for the other bitness
  kUnreadableFile,       // the file is there, but its type library cannot be read
  kStaleTypeLibrary,     // the type library registration is from another version or file
  kIncomplete,           // registry entries missing or differing
  kCreationFailed,       // everything looks right, creation still failed
  kNoApplicationManifest,  // no application manifest asks for Clasp.Holdfast
  kNoAssemblyManifest,     // Clasp.Holdfast.manifest missing or not ours
  kManifestMismatch,       // the two manifests name different assemblies
};

// One line of the report.
struct Finding {
  bool ok = false;
  std::string what;   // what was checked and found
  Cause cause = Cause::kNone;
  std::string advice; // the likely cause and what to do, for a failure
  // For a failure that follows from an earlier one: that one's position.
  std::optional<std::size_t> follows;
};

// Every finding about the registration, in the order an engineer would check them.
std::vector<Finding> Diagnose(const Facts& facts);

// Every finding about registration-free use in one application's folder.
std::vector<Finding> Diagnose(const RegFreeFacts& facts);

// True when no finding failed.
bool AllOk(const std::vector<Finding>& findings);

// The report as printed: one line per finding, advice indented below failures.
std::string Render(const Facts& facts, const std::vector<Finding>& findings);
std::string Render(const RegFreeFacts& facts, const std::vector<Finding>& findings);

// The findings and the facts a fleet inventory keeps, as one JSON object.
std::string RenderJson(const Facts& facts, const std::vector<Finding>& findings);
std::string RenderJson(const RegFreeFacts& facts, const std::vector<Finding>& findings);

}  // namespace clasp::check
