#include "diagnosis.h"

#include <cstdio>
#include <string>

namespace clasp::check {
namespace {

// Shown for a failure that follows from one reported before it.
constexpr char kFollows[] = "follows from the failure above";

std::string Bits(int bits) { return std::to_string(bits) + "-bit"; }

// Windows paths compare without regard to ASCII case.
bool SamePath(std::string first, std::string second) {
  for (std::string* path : {&first, &second}) {
    for (char& c : *path) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return first == second;
}

std::string Hex(std::uint32_t value) {
  char text[sizeof "0x12345678"];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// Plain words for the failures creation usually meets.
std::string Meaning(std::uint32_t result) {
  struct Known {
    std::uint32_t result;
    const char* words;
  };
  static constexpr Known kKnown[] = {
      {0x80040154, "class not registered"},
      {0x800401F3, "no class registered under that name"},
      {0x8007007E, "the DLL or one it needs was not found"},
      {0x800700C1, "the DLL is not a module this process can load (other bitness?)"},
      {0x80029C4A, "the type library could not be loaded"},
      {0x8007000E, "out of memory"},
  };
  for (const Known& known : kKnown) {
    if (known.result == result) return known.words;
  }
  return "see the platform's error text for this code";
}

Finding Ok(std::string what) { return {true, std::move(what), Cause::kNone, ""}; }
Finding Fail(std::string what, Cause cause, std::string advice) {
  return {false, std::move(what), cause, std::move(advice)};
}

Finding Registration(const Facts& facts) {
  const std::string here = Bits(facts.process_bits);
  if (facts.path) {
    return Ok("registered for " + here + " programs: Clasp.Holdfast -> " + *facts.path);
  }
  if (facts.other_view_path) {
    const std::string other = Bits(facts.other_view_bits);
    return Fail("not registered for " + here + " programs",
                Cause::kOtherBitnessOnly,
                "registered only for " + other + " programs (their registry points at " +
                    *facts.other_view_path + "). A " + here + " program needs the " + here +
                    " Holdfast.dll: install its package, or register it with the " + here +
                    " regsvr32.");
  }
  return Fail("not registered", Cause::kNotRegistered,
              "Clasp.Holdfast is not registered at all: install the package (msiexec /i "
              "Clasp-Holdfast-<version>-<x86|x64>.msi) or run regsvr32 on Holdfast.dll.");
}

Finding File(const Facts& facts) {
  if (facts.file_exists) return Ok("file exists: " + *facts.path);
  return Fail("file missing: " + *facts.path, Cause::kFileMoved,
              "the file was moved or deleted after it was registered: reinstall the package, "
              "or register the DLL again where it now lies (regsvr32 <new path>).");
}

Finding Module(const Facts& facts) {
  const std::string version = facts.file_version.value_or("unknown");
  if (facts.file_bits == facts.process_bits) {
    return Ok("file version " + version + ", " + Bits(facts.file_bits) + " module");
  }
  const std::string here = Bits(facts.process_bits);
  const std::string what = facts.file_bits == 0
                               ? "the registered file is not a Windows module"
                               : "the registered file is a " + Bits(facts.file_bits) + " module";
  return Fail(what + " (file version " + version + ")", Cause::kWrongBitnessFile,
              "a " + here + " program cannot load it: register the " + here +
                  " Holdfast.dll for " + here + " programs (its own package or regsvr32).");
}

Finding TypeLibrary(const Facts& facts) {
  const std::string stale =
      "stale type library: register this DLL again (regsvr32) or reinstall this version's "
      "package; remove an older version's package first if it is still installed.";
  switch (facts.type_library) {
    case TypeLibState::kMatches:
      return Ok("type library Clasp 1.2 registered (" + facts.type_library_path +
                ") and the same as the DLL's own");
    case TypeLibState::kNotRegistered:
      return Fail("type library Clasp 1.2 not registered", Cause::kIncomplete,
                  "the registration is incomplete: reinstall the package or run regsvr32 on "
                  "the DLL.");
    case TypeLibState::kOtherVersion: {
      std::string versions;
      for (const std::string& version : facts.other_versions) {
        versions += (versions.empty() ? "" : ", ") + version;
      }
      return Fail("type library Clasp 1.2 not registered; registered instead: " + versions,
                  Cause::kStaleTypeLibrary, stale);
    }
    case TypeLibState::kFileMissing:
      // The library lives in the DLL: a moved DLL takes it along.
      if (facts.path && SamePath(facts.type_library_path, *facts.path)) break;
      return Fail("type library registered from " + facts.type_library_path +
                      ", which does not exist",
                  Cause::kStaleTypeLibrary, stale);
    case TypeLibState::kDiffers:
      return Fail("type library registered from " + facts.type_library_path +
                      " is not the one this DLL carries",
                  Cause::kStaleTypeLibrary, stale);
    case TypeLibState::kNotCompared:
      break;
  }
  return Fail("type library not compared: the DLL cannot be read", Cause::kNone, kFollows);
}

Finding Entries(const Facts& facts) {
  if (facts.mismatches.empty()) return Ok("registry values: all as this version writes them");
  std::string what = std::to_string(facts.mismatches.size()) +
                     " registry values missing or different from what this version writes:";
  for (const Mismatch& mismatch : facts.mismatches) {
    what += "\n        HKCR\\" + mismatch.key + " " +
            (mismatch.name.empty() ? std::string("(default)") : mismatch.name) + ": " +
            (mismatch.found ? "\"" + *mismatch.found + "\"" : std::string("missing")) +
            ", expected \"" + mismatch.expected + "\"";
  }
  return Fail(what, Cause::kIncomplete,
              "the registration is incomplete or from another version: reinstall the "
              "package, or run regsvr32 on the DLL.");
}

Finding Creation(const Facts& facts, bool earlier_failure) {
  const std::uint32_t result = *facts.create_result;
  if (result == 0) return Ok("an instance was created");
  const std::string what =
      "no instance could be created: " + Hex(result) + " (" + Meaning(result) + ")";
  if (earlier_failure) return Fail(what, Cause::kNone, kFollows);
  return Fail(what, Cause::kCreationFailed,
              "the registration looks right, yet creation failed: check that the DLL is not "
              "blocked or damaged (reinstall the package).");
}

}  // namespace

bool AllOk(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    if (!finding.ok) return false;
  }
  return true;
}

std::vector<Finding> Diagnose(const Facts& facts) {
  std::vector<Finding> findings = {Registration(facts)};
  if (facts.path) {
    findings.push_back(File(facts));
    if (facts.file_exists) findings.push_back(Module(facts));
    findings.push_back(TypeLibrary(facts));
    findings.push_back(Entries(facts));
  }
  if (facts.create_result) findings.push_back(Creation(facts, !AllOk(findings)));
  return findings;
}

std::string Render(const Facts& facts, const std::vector<Finding>& findings) {
  std::string text = "Clasp.Holdfast as " + Bits(facts.process_bits) + " programs see it:\n";
  int failures = 0;
  for (const Finding& finding : findings) {
    text += (finding.ok ? "  ok    " : "  FAIL  ") + finding.what + "\n";
    if (!finding.ok) {
      ++failures;
      text += "        cause: " + finding.advice + "\n";
    }
  }
  text += failures == 0 ? "Result: ready for " + Bits(facts.process_bits) + " programs.\n"
                        : "Result: " + std::to_string(failures) + " problem" +
                              (failures == 1 ? "" : "s") + " found.\n";
  return text;
}

}  // namespace clasp::check
