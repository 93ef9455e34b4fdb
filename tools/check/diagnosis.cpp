#include "diagnosis.h"

#include <cstdio>
#include <string>

#include "manifest_text.h"
#include "server/registration_table.h"

namespace clasp::check {
namespace {

// Shown for a failure that follows from one reported before it.
constexpr char kFollows[] = "follows from the failure above";

// Answers of WinVerifyTrust that mean it found no signature to judge.
constexpr std::uint32_t kNoSignature = 0x800B0100;         // TRUST_E_NOSIGNATURE
constexpr std::uint32_t kSubjectFormUnknown = 0x800B0003;  // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr std::uint32_t kProviderUnknown = 0x800B0001;     // TRUST_E_PROVIDER_UNKNOWN
constexpr std::uint32_t kActionUnknown = 0x800B0002;       // TRUST_E_ACTION_UNKNOWN

// The registry's identities are ASCII.
std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow += static_cast<char>(c);
  return narrow;
}

std::string ServerKey() { return "CLSID\\" + Narrow(registration::kClsid) + "\\InprocServer32"; }
std::string ProgIdClassKey() { return Narrow(registration::kProgId) + "\\CLSID"; }

std::string Bits(int bits) { return std::to_string(bits) + "-bit"; }

// Windows paths compare without regard to ASCII case.
bool SamePath(const std::string& first, const std::string& second) {
  return SameText(first, second);
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

Finding Ok(std::string what) { return {true, std::move(what), Cause::kNone, "", {}}; }
Finding Fail(std::string what, Cause cause, std::string advice) {
  return {false, std::move(what), cause, std::move(advice), {}};
}
// A failure that is only the consequence of the one at `root`: it is shown,
// but not blamed, so the engineer mends the first and checks again.
Finding FollowsFrom(std::string what, std::size_t root) {
  return {false, std::move(what), Cause::kNone, kFollows, root};
}

std::optional<std::size_t> FirstFailureAfter(const std::vector<Finding>& findings,
                                             std::size_t first) {
  for (std::size_t i = first; i < findings.size(); ++i) {
    if (!findings[i].ok) return i;
  }
  return std::nullopt;
}
std::optional<std::size_t> FirstFailure(const std::vector<Finding>& findings) {
  return FirstFailureAfter(findings, 0);
}

std::string Quoted(const std::optional<std::string>& text) {
  return text ? "\"" + *text + "\"" : std::string("missing");
}

Finding Registration(const Facts& facts) {
  const std::string here = Bits(facts.process_bits);
  if (facts.path && facts.progid_leads_to_class) {
    return Ok("registered for " + here + " programs: Clasp.Holdfast -> " + *facts.path);
  }
  if (facts.path) {
    // Hosts create it by name: a class they cannot reach by it is not registered for them.
    return Fail("registered for " + here + " programs as " + Narrow(registration::kClsid) +
                    " -> " + *facts.path +
                    ", but the name Clasp.Holdfast does not lead to it (HKCR\\" + ProgIdClassKey() +
                    ")",
                Cause::kIncomplete,
                "programs that create it by name find no class: reinstall the package or run "
                "regsvr32 on Holdfast.dll.");
  }
  if (facts.class_registered) {
    return Fail("registered for " + here + " programs without its InprocServer32: HKCR\\" +
                    ServerKey() + " is missing",
                Cause::kNoServer,
                "the class is registered, but not the DLL that serves it, so no program can "
                "create it: reinstall the package or run regsvr32 on Holdfast.dll.");
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

Finding TypeLibrary(const Facts& facts, std::optional<std::size_t> wrong_file) {
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
      if (wrong_file && facts.path && SamePath(facts.type_library_path, *facts.path)) break;
      return Fail("type library registered from " + facts.type_library_path +
                      ", which does not exist",
                  Cause::kStaleTypeLibrary, stale);
    case TypeLibState::kDiffers:
      // Compared with a file that is not the right module, a difference says nothing.
      if (wrong_file) {
        return FollowsFrom("type library registered from " + facts.type_library_path +
                               " differs from the registered file's",
                           *wrong_file);
      }
      return Fail("type library registered from " + facts.type_library_path +
                      " is not the one this DLL carries",
                  Cause::kStaleTypeLibrary, stale);
    case TypeLibState::kNotCompared:
      if (!wrong_file) {
        return Fail("type library not compared: the DLL's own cannot be read",
                    Cause::kUnreadableFile,
                    "the DLL is damaged or not this component's: reinstall the package.");
      }
      break;
  }
  return FollowsFrom("type library not compared: the registered file is not usable",
                     *wrong_file);
}

// `unnamed`: the finding that already blames the name's value, when one does.
Finding Entries(const Facts& facts, std::optional<std::size_t> wrong_file,
                std::optional<std::size_t> unnamed) {
  if (facts.mismatches.empty()) return Ok("registry values: all as this version writes them");
  const std::size_t count = facts.mismatches.size();
  std::string what = std::to_string(count) + (count == 1 ? " registry value" : " registry values") +
                     " missing or different from what this version writes:";
  bool judged = false;
  std::optional<std::size_t> root;
  for (const Mismatch& mismatch : facts.mismatches) {
    what += "\n        HKCR\\" + mismatch.key + " " +
            (mismatch.name.empty() ? std::string("(default)") : mismatch.name) + ": " +
            Quoted(mismatch.found);
    // Its expected value would be the wrong registration's own path.
    if (wrong_file && mismatch.names_module) {
      what += ", not judged while the registered file is wrong";
      root = root.value_or(*wrong_file);
      continue;
    }
    what += ", expected \"" + mismatch.expected + "\"";
    if (unnamed && mismatch.key == ProgIdClassKey()) {
      root = root.value_or(*unnamed);
      continue;
    }
    judged = true;
  }
  if (!judged) return FollowsFrom(what, *root);
  return Fail(what, Cause::kIncomplete,
              "the registration is incomplete or from another version: reinstall the "
              "package, or run regsvr32 on the DLL.");
}

Finding Creation(std::uint32_t result, std::optional<std::size_t> earlier_failure) {
  if (result == 0) return Ok("an instance was created");
  const std::string what =
      "no instance could be created: " + Hex(result) + " (" + Meaning(result) + ")";
  if (earlier_failure) return FollowsFrom(what, *earlier_failure);
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
    // Everything after is compared with the registered file: with the wrong
    // file, those comparisons follow from it. A name that leads nowhere says
    // nothing about the file.
    const std::optional<std::size_t> wrong_file = FirstFailureAfter(findings, 1);
    const std::optional<std::size_t> unnamed =
        findings.front().ok ? std::nullopt : std::optional<std::size_t>(0);
    findings.push_back(TypeLibrary(facts, wrong_file));
    findings.push_back(Entries(facts, wrong_file, unnamed));
  }
  if (facts.create_result) {
    findings.push_back(Creation(*facts.create_result, FirstFailure(findings)));
  }
  return findings;
}

namespace {

// What a manifest's processorArchitecture means in bits; 0 for anything else.
int ArchitectureBits(const std::string& architecture) {
  if (SameText(architecture, "x86")) return kBitsOf32;
  if (SameText(architecture, "amd64")) return kBitsOf64;
  return 0;
}

std::string Identity(const AssemblyIdentity& identity) {
  return identity.name + " " + identity.version + " " + identity.architecture;
}

Finding Application(const RegFreeFacts& facts) {
  if (facts.application_manifest && facts.dependency) {
    return Ok("application manifest " + *facts.application_manifest + " asks for " +
              Identity(*facts.dependency));
  }
  std::string found = "none";
  for (const std::string& name : facts.application_manifests) {
    found = (found == "none" ? "" : found + ", ") + name;
  }
  return Fail("no application manifest in " + facts.folder +
                  " depends on Clasp.Holdfast (application manifests: " + found + ")",
              Cause::kNoApplicationManifest,
              "beside the program, <program>.exe.manifest must name Clasp.Holdfast as a "
              "dependentAssembly, with the identity in Clasp.Holdfast.manifest.");
}

Finding Assembly(const RegFreeFacts& facts) {
  const std::string advice =
      "copy Clasp.Holdfast.manifest of the same release and bitness beside the program "
      "(the release's folder for registration-free use holds it with Holdfast.dll).";
  if (!facts.assembly_manifest_exists) {
    return Fail("Clasp.Holdfast.manifest missing from " + facts.folder,
                Cause::kNoAssemblyManifest, advice);
  }
  if (!facts.assembly) {
    return Fail("Clasp.Holdfast.manifest names no assembly", Cause::kNoAssemblyManifest,
                advice);
  }
  if (!facts.declares_class) {
    return Fail("Clasp.Holdfast.manifest does not declare the class Clasp.Holdfast in "
                "Holdfast.dll",
                Cause::kNoAssemblyManifest, advice);
  }
  return Ok("assembly manifest Clasp.Holdfast.manifest declares " + Identity(*facts.assembly) +
            " with the class in Holdfast.dll");
}

Finding Match(const AssemblyIdentity& asked, const AssemblyIdentity& declared) {
  struct Field {
    const char* name;
    const std::string& asked;
    const std::string& declared;
    bool same;
  };
  const Field fields[] = {
      {"name", asked.name, declared.name, asked.name == declared.name},
      {"version", asked.version, declared.version, asked.version == declared.version},
      {"architecture", asked.architecture, declared.architecture,
       SameText(asked.architecture, declared.architecture)},
  };
  std::string differences;
  for (const Field& field : fields) {
    if (field.same) continue;
    differences += std::string(differences.empty() ? "" : ", ") + field.name + " \"" +
                   field.asked + "\" asked, \"" + field.declared + "\" declared";
  }
  if (differences.empty()) return Ok("the manifests agree on name, version and architecture");
  return Fail("the manifests do not agree: " + differences, Cause::kManifestMismatch,
              "the program's manifest and Clasp.Holdfast.manifest must name the same "
              "assembly: take Clasp.Holdfast.manifest and Holdfast.dll of the release the "
              "program's manifest asks for, or change its dependency to match them.");
}

Finding Dll(const RegFreeFacts& facts) {
  if (!facts.dll_exists) {
    return Fail("Holdfast.dll missing from " + facts.folder, Cause::kFileMoved,
                "copy Holdfast.dll of the same release and bitness beside the manifests.");
  }
  const std::string version = facts.file_version.value_or("unknown");
  const int wanted = facts.assembly ? ArchitectureBits(facts.assembly->architecture) : 0;
  if (facts.dll_bits != 0 && (wanted == 0 || facts.dll_bits == wanted)) {
    return Ok("Holdfast.dll beside them: file version " + version + ", " +
              Bits(facts.dll_bits) + " module");
  }
  const std::string what = facts.dll_bits == 0
                               ? "Holdfast.dll is not a Windows module"
                               : "Holdfast.dll is a " + Bits(facts.dll_bits) +
                                     " module; the manifest declares " +
                                     facts.assembly->architecture;
  return Fail(what, Cause::kWrongBitnessFile,
              "the DLL and its manifest must be of one bitness: take both from the same "
              "folder of the release.");
}

// A 32-bit program cannot create a 64-bit class, nor the other way round.
std::optional<Finding> Bitness(const RegFreeFacts& facts) {
  if (!facts.assembly) return std::nullopt;
  const int wanted = ArchitectureBits(facts.assembly->architecture);
  if (wanted == 0 || wanted == facts.process_bits) return std::nullopt;
  return Fail("this folder is for " + Bits(wanted) + " programs; this check is " +
                  Bits(facts.process_bits),
              Cause::kOtherBitnessOnly,
              "run the " + Bits(wanted) + " clasp-check.exe on this folder.");
}

std::optional<Finding> CreationInContext(const RegFreeFacts& facts,
                                         std::optional<std::size_t> earlier_failure) {
  if (!facts.context_result) return std::nullopt;
  if (*facts.context_result != 0) {
    const std::string what = "no activation context from " +
                             facts.application_manifest.value_or("the application manifest") +
                             ": error " + std::to_string(*facts.context_result);
    if (earlier_failure) return FollowsFrom(what, *earlier_failure);
    return Fail(what, Cause::kManifestMismatch,
                "the platform refused the manifests: check them against the release's "
                "(well-formed XML, the identities above).");
  }
  if (!facts.create_result) return std::nullopt;
  Finding created = Creation(*facts.create_result, earlier_failure);
  if (!created.ok) return created;
  if (facts.served_by && SamePath(*facts.served_by, facts.dll_path)) {
    return Ok("an instance was created in the application's activation context, from " +
              facts.dll_path);
  }
  // It worked, but through the registry or another copy: the folder alone would not do.
  const std::string what = "an instance was created, but from " +
                           facts.served_by.value_or("an unknown module") +
                           ", not from this folder's Holdfast.dll";
  if (earlier_failure) return FollowsFrom(what, *earlier_failure);
  return Fail(what, Cause::kManifestMismatch,
              "the activation context did not bind the class to this folder: check the "
              "manifests against the release's.");
}

std::string Report(const std::string& heading, int process_bits,
                   const std::vector<Finding>& findings) {
  std::string text = heading;
  int failures = 0;
  int following = 0;
  for (const Finding& finding : findings) {
    text += (finding.ok ? "  ok    " : "  FAIL  ") + finding.what + "\n";
    if (finding.ok) continue;
    ++failures;
    if (finding.follows) {
      ++following;
      // The root's first line; a list's heading ends in a colon that introduces nothing here.
      std::string root = findings[*finding.follows].what;
      root = root.substr(0, root.find('\n'));
      if (!root.empty() && root.back() == ':') root.pop_back();
      text += "        follows from: " + root + "\n";
    } else {
      text += "        cause: " + finding.advice + "\n";
    }
  }
  if (failures == 0) return text + "Result: ready for " + Bits(process_bits) + " programs.\n";
  text += "Result: " + std::to_string(failures) + " problem" + (failures == 1 ? "" : "s") +
          " found";
  if (following > 0) {
    text += ", " + std::to_string(following) + " of them following from " +
            (failures - following == 1 ? "the first" : "others");
  }
  return text + ".\n";
}

// JSON text: quotes, backslashes and control characters escaped; UTF-8 kept.
std::string Json(const std::string& text) {
  constexpr unsigned char kFirstPrintable = 0x20;
  std::string json = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (c == '\n') {
      json += "\\n";
    } else if (static_cast<unsigned char>(c) < kFirstPrintable) {
      char escaped[sizeof "\\u0000"];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      json += escaped;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

std::string Json(const std::optional<std::string>& text) { return text ? Json(*text) : "null"; }
std::string Json(bool value) { return value ? "true" : "false"; }
std::string Json(std::optional<bool> value) { return value ? Json(*value) : "null"; }

const char* CauseName(Cause cause) {
  switch (cause) {
    case Cause::kNone: return "none";
    case Cause::kNotRegistered: return "not_registered";
    case Cause::kNoServer: return "no_inproc_server";
    case Cause::kOtherBitnessOnly: return "other_bitness_only";
    case Cause::kFileMoved: return "file_missing";
    case Cause::kWrongBitnessFile: return "wrong_bitness_file";
    case Cause::kUnreadableFile: return "unreadable_file";
    case Cause::kStaleTypeLibrary: return "stale_type_library";
    case Cause::kIncomplete: return "incomplete";
    case Cause::kCreationFailed: return "creation_failed";
    case Cause::kNoApplicationManifest: return "no_application_manifest";
    case Cause::kNoAssemblyManifest: return "no_assembly_manifest";
    case Cause::kManifestMismatch: return "manifest_mismatch";
  }
  return "unknown";
}

// The module's facts an inventory keeps, one bitness, one file.
struct Inventory {
  const char* mode;
  std::optional<std::string> folder;
  int process_bits;
  std::optional<std::string> path;
  bool exists;
  int bits;
  std::optional<std::string> file_version;
  std::optional<std::string> product_version;
  std::optional<std::uint32_t> trust_result;
};

std::string Json(const Inventory& inventory, const std::vector<Finding>& findings) {
  // Whether the platform found a signature, and whether it held; null when
  // it could not tell.
  std::optional<bool> present;
  std::optional<bool> valid;
  if (const auto answer = inventory.trust_result) {
    const bool cannot_tell = *answer == kSubjectFormUnknown || *answer == kProviderUnknown ||
                             *answer == kActionUnknown;
    if (!cannot_tell) {
      present = *answer != kNoSignature;
      valid = *answer == 0;
    }
  }
  std::string json = "{\n";
  json += "  \"tool\": \"clasp-check\",\n";
  json += "  \"mode\": " + Json(std::string(inventory.mode)) + ",\n";
  json += "  \"folder\": " + Json(inventory.folder) + ",\n";
  json += "  \"process_bits\": " + std::to_string(inventory.process_bits) + ",\n";
  json += "  \"module\": {\n";
  json += "    \"path\": " + Json(inventory.path) + ",\n";
  json += "    \"exists\": " + Json(inventory.exists) + ",\n";
  json += "    \"bits\": " + (inventory.bits ? std::to_string(inventory.bits) : "null") + ",\n";
  json += "    \"file_version\": " + Json(inventory.file_version) + ",\n";
  json += "    \"product_version\": " + Json(inventory.product_version) + ",\n";
  json += "    \"signature\": {\"present\": " + Json(present) + ", \"valid\": " + Json(valid) +
          ", \"answer\": " +
          (inventory.trust_result ? Json(Hex(*inventory.trust_result)) : "null") + "}\n";
  json += "  },\n";
  json += "  \"findings\": [";
  int failures = 0;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const Finding& finding = findings[i];
    if (!finding.ok) ++failures;
    json += std::string(i == 0 ? "" : ",") + "\n    {\"ok\": " + Json(finding.ok) +
            ", \"what\": " + Json(finding.what) +
            ", \"cause\": " + Json(std::string(CauseName(finding.cause))) +
            ", \"advice\": " + Json(finding.advice) + ", \"follows\": " +
            (finding.follows ? std::to_string(*finding.follows) : "null") + "}";
  }
  json += "\n  ],\n";
  json += "  \"problems\": " + std::to_string(failures) + ",\n";
  json += "  \"verdict\": " + Json(std::string(failures == 0 ? "ready" : "problems")) + "\n";
  return json + "}\n";
}

}  // namespace

std::vector<Finding> Diagnose(const RegFreeFacts& facts) {
  if (!facts.folder_exists) {
    return {Fail("no such folder: " + facts.folder, Cause::kNoApplicationManifest,
                 "give the folder of the program that creates Clasp.Holdfast, where its "
                 "manifest lies.")};
  }
  std::vector<Finding> findings = {Application(facts), Assembly(facts)};
  if (facts.dependency && facts.assembly) {
    findings.push_back(Match(*facts.dependency, *facts.assembly));
  }
  findings.push_back(Dll(facts));
  if (auto bitness = Bitness(facts)) findings.push_back(*bitness);
  if (auto created = CreationInContext(facts, FirstFailure(findings))) {
    findings.push_back(*created);
  }
  return findings;
}

std::string Render(const Facts& facts, const std::vector<Finding>& findings) {
  return Report("Clasp.Holdfast as " + Bits(facts.process_bits) + " programs see it:\n",
                facts.process_bits, findings);
}

std::string Render(const RegFreeFacts& facts, const std::vector<Finding>& findings) {
  return Report("Clasp.Holdfast without registration, in " + facts.folder + ", as " +
                    Bits(facts.process_bits) + " programs see it:\n",
                facts.process_bits, findings);
}

std::string RenderJson(const Facts& facts, const std::vector<Finding>& findings) {
  return Json(Inventory{"registry", std::nullopt, facts.process_bits, facts.path,
                        facts.file_exists, facts.file_bits, facts.file_version,
                        facts.product_version, facts.trust_result},
              findings);
}

std::string RenderJson(const RegFreeFacts& facts, const std::vector<Finding>& findings) {
  return Json(Inventory{"manifest", facts.folder, facts.process_bits, facts.dll_path,
                        facts.dll_exists, facts.dll_bits, facts.file_version,
                        facts.assembly ? std::optional<std::string>(facts.assembly->version)
                                       : std::nullopt,
                        facts.trust_result},
              findings);
}

}  // namespace clasp::check
