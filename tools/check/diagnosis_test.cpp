// The check's diagnosis: which cause it names for each broken state, and that
// a failure which follows from another is not blamed twice.
#include "diagnosis.h"
#include "options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace clasp::check {
namespace {

constexpr char kInstalled[] = "C:\\Program Files\\Clasp\\Holdfast.dll";
constexpr char kInstalled32[] = "C:\\Program Files (x86)\\Clasp\\Holdfast.dll";
constexpr char kTypeLib32[] = "TypeLib\\{57077DE8-E73B-43A7-BF84-57D466CC9376}\\1.2\\409\\win32";
constexpr std::uint32_t kBadImage = 0x800700C1;
constexpr std::uint32_t kClassNotRegistered = 0x80040154;
constexpr std::uint32_t kInvalidClassString = 0x800401F3;
constexpr std::uint32_t kUnspecified = 0x80004005;

// A 64-bit terminal where the 64-bit component is installed and works.
Facts Ready() {
  Facts facts;
  facts.process_bits = 64;
  facts.other_view_exists = true;
  facts.other_view_bits = 32;
  facts.path = kInstalled;
  facts.progid_leads_to_class = true;
  facts.file_exists = true;
  facts.file_bits = 64;
  facts.file_version = "1.0.0.0";
  facts.type_library = TypeLibState::kMatches;
  facts.type_library_path = kInstalled;
  facts.create_result = 0;
  return facts;
}

std::vector<Cause> FailedCauses(const std::vector<Finding>& findings) {
  std::vector<Cause> causes;
  for (const Finding& finding : findings) {
    if (!finding.ok) causes.push_back(finding.cause);
  }
  return causes;
}

struct Row {
  const char* name;
  std::function<void(Facts&)> change;
  std::vector<Cause> causes;  // of the failed findings, in report order
  std::string says;           // somewhere in the printed report
  std::string never_says = "";
};

TEST(Diagnosis, NamesTheLikelyCauseOfEachBrokenState) {
  const Row rows[] = {
      {"ready", [](Facts&) {}, {}, "Result: ready for 64-bit programs."},
      {"not registered at all",
       [](Facts& f) {
         f.path.reset();
         f.create_result = kInvalidClassString;
       },
       {Cause::kNotRegistered, Cause::kNone},
       "not registered at all"},
      {"registered only for the other bitness",
       [](Facts& f) {
         f.path.reset();
         f.other_view_path = "C:\\Program Files (x86)\\Clasp\\Holdfast.dll";
         f.create_result = kInvalidClassString;
       },
       {Cause::kOtherBitnessOnly, Cause::kNone},
       "registered only for 32-bit programs (their registry points at C:\\Program Files (x86)"},
      {"file moved: its type library goes with it and is not blamed",
       [](Facts& f) {
         f.file_exists = false;
         f.file_bits = 0;
         f.type_library = TypeLibState::kFileMissing;
         f.type_library_path = "c:\\program files\\clasp\\holdfast.dll";
         f.create_result = kClassNotRegistered;
       },
       {Cause::kFileMoved, Cause::kNone, Cause::kNone},
       "moved or deleted"},
      {"type library registered from a file that is gone",
       [](Facts& f) {
         f.type_library = TypeLibState::kFileMissing;
         f.type_library_path = "C:\\Old\\Holdfast.dll";
       },
       {Cause::kStaleTypeLibrary},
       "registered from C:\\Old\\Holdfast.dll, which does not exist"},
      {"registered file of the other bitness",
       [](Facts& f) {
         f.file_bits = 32;
         f.create_result = 0x800700C1;
       },
       {Cause::kWrongBitnessFile, Cause::kNone},
       "the registered file is a 32-bit module"},
      {"not a module at all",
       [](Facts& f) { f.file_bits = 0; },
       {Cause::kWrongBitnessFile},
       "not a Windows module"},
      {"only an older type library registered",
       [](Facts& f) {
         f.type_library = TypeLibState::kOtherVersion;
         f.other_versions = {"1.0", "1.1"};
       },
       {Cause::kStaleTypeLibrary},
       "registered instead: 1.0, 1.1"},
      {"type library differs from the DLL's own",
       [](Facts& f) { f.type_library = TypeLibState::kDiffers; },
       {Cause::kStaleTypeLibrary},
       "is not the one this DLL carries"},
      {"type library not registered",
       [](Facts& f) { f.type_library = TypeLibState::kNotRegistered; },
       {Cause::kIncomplete},
       "type library Clasp 1.2 not registered"},
      {"a value missing",
       [](Facts& f) {
         f.mismatches = {{"CLSID\\{X}\\InprocServer32", "ThreadingModel", "Apartment", {}}};
       },
       {Cause::kIncomplete},
       "HKCR\\CLSID\\{X}\\InprocServer32 ThreadingModel: missing, expected \"Apartment\""},
      {"a value different",
       [](Facts& f) { f.mismatches = {{"Clasp.Holdfast\\CLSID", "", "{A}", "{B}"}}; },
       {Cause::kIncomplete},
       "Clasp.Holdfast\\CLSID (default): \"{B}\", expected \"{A}\""},
      {"everything looks right, creation fails",
       [](Facts& f) { f.create_result = kUnspecified; },
       {Cause::kCreationFailed},
       "no instance could be created: 0x80004005"},
      {"creation not tried", [](Facts& f) { f.create_result.reset(); }, {}, "Result: ready"},
      {"class registered, its InprocServer32 deleted",
       [](Facts& f) {
         f.path.reset();
         f.class_registered = true;
         f.create_result = kClassNotRegistered;
       },
       {Cause::kNoServer, Cause::kNone},
       "without its InprocServer32: HKCR\\CLSID\\{5D3B8000-FB87-4881-A317-F716839E71F7}"
       "\\InprocServer32 is missing",
       "not registered at all"},
      {"32-bit InprocServer32 pointing at the 64-bit DLL: library and path follow from it",
       [](Facts& f) {
         f.process_bits = 32;
         f.other_view_exists = false;
         f.file_bits = 64;
         f.type_library = TypeLibState::kDiffers;
         f.type_library_path = kInstalled32;
         f.mismatches = {{kTypeLib32, "", kInstalled, kInstalled32, true}};
         f.create_result = kBadImage;
       },
       {Cause::kWrongBitnessFile, Cause::kNone, Cause::kNone, Cause::kNone},
       "\"C:\\Program Files (x86)\\Clasp\\Holdfast.dll\", not judged while the registered "
       "file is wrong\n        follows from: the registered file is a 64-bit module (file version "
       "1.0.0.0)\n  FAIL  no instance could be created: 0x800700C1 (the DLL is not a module this "
       "process can load (other bitness?))\n        follows from: the registered file is a 64-bit "
       "module (file version 1.0.0.0)\nResult: 4 problems found, 3 of them following from the "
       "first.",
       "expected \"C:\\Program Files\\Clasp"},
      {"wrong bitness and a value missing of its own: that one is still blamed",
       [](Facts& f) {
         f.file_bits = 32;
         f.mismatches = {{"CLSID\\{X}\\InprocServer32", "ThreadingModel", "Apartment", {}}};
         f.create_result = kBadImage;
       },
       {Cause::kWrongBitnessFile, Cause::kIncomplete, Cause::kNone},
       "ThreadingModel: missing, expected \"Apartment\""},
      {"the right file without a readable type library",
       [](Facts& f) { f.type_library = TypeLibState::kNotCompared; },
       {Cause::kUnreadableFile},
       "the DLL's own cannot be read"},
      {"one value missing is one value, and what follows from it ends without a colon",
       [](Facts& f) {
         f.mismatches = {{"CLSID\\{X}\\InprocServer32", "ThreadingModel", "Apartment", {}}};
         f.create_result = kUnspecified;
       },
       {Cause::kIncomplete, Cause::kNone},
       "  FAIL  1 registry value missing or different from what this version writes:\n"
       "        HKCR\\CLSID\\{X}\\InprocServer32 ThreadingModel: missing, expected \"Apartment\"\n"
       "        cause: the registration is incomplete or from another version: reinstall the "
       "package, or run regsvr32 on the DLL.\n"
       "  FAIL  no instance could be created: 0x80004005 (see the platform's error text for "
       "this code)\n"
       "        follows from: 1 registry value missing or different from what this version "
       "writes\n"},
      {"class registered, its name deleted: not ok, and the name's value follows from it",
       [](Facts& f) {
         f.progid_leads_to_class = false;
         f.mismatches = {{"Clasp.Holdfast\\CLSID", "", "{5D3B8000-FB87-4881-A317-F716839E71F7}",
                          {}}};
         f.create_result = kInvalidClassString;
       },
       {Cause::kIncomplete, Cause::kNone, Cause::kNone},
       "  FAIL  registered for 64-bit programs as {5D3B8000-FB87-4881-A317-F716839E71F7} -> "
       "C:\\Program Files\\Clasp\\Holdfast.dll, but the name Clasp.Holdfast does not lead "
       "to it (HKCR\\Clasp.Holdfast\\CLSID)\n",
       "ok    registered"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Facts facts = Ready();
    row.change(facts);
    const std::vector<Finding> findings = Diagnose(facts);
    EXPECT_EQ(FailedCauses(findings), row.causes);
    EXPECT_EQ(AllOk(findings), row.causes.empty());
    const std::string report = Render(facts, findings);
    EXPECT_NE(report.find(row.says), std::string::npos) << report;
    if (!row.never_says.empty()) {
      EXPECT_EQ(report.find(row.never_says), std::string::npos) << report;
    }
    // A finding not blamed on its own names the one it follows from, which is.
    for (const Finding& finding : findings) {
      if (finding.ok || finding.cause != Cause::kNone) continue;
      ASSERT_TRUE(finding.follows.has_value()) << finding.what;
      EXPECT_NE(findings[*finding.follows].cause, Cause::kNone) << finding.what;
    }
    if (!row.causes.empty()) {
      EXPECT_NE(report.find(std::to_string(row.causes.size()) + " problem"), std::string::npos)
          << report;
    }
  }
}

TEST(Diagnosis, ReportsEveryCheckOfAWorkingInstallOnce) {
  const Facts facts = Ready();
  const std::string report = Render(facts, Diagnose(facts));
  EXPECT_EQ(report,
            "Clasp.Holdfast as 64-bit programs see it:\n"
            "  ok    registered for 64-bit programs: Clasp.Holdfast -> "
            "C:\\Program Files\\Clasp\\Holdfast.dll\n"
            "  ok    file exists: C:\\Program Files\\Clasp\\Holdfast.dll\n"
            "  ok    file version 1.0.0.0, 64-bit module\n"
            "  ok    type library Clasp 1.2 registered (C:\\Program Files\\Clasp\\Holdfast.dll) "
            "and the same as the DLL's own\n"
            "  ok    registry values: all as this version writes them\n"
            "  ok    an instance was created\n"
            "Result: ready for 64-bit programs.\n");
}

// A folder where a program uses the 32-bit component without registration.
RegFreeFacts ReadyFolder() {
  RegFreeFacts facts;
  facts.process_bits = 32;
  facts.folder = "C:\\Terminal";
  facts.folder_exists = true;
  facts.application_manifests = {"terminal.exe.manifest"};
  facts.application_manifest = "terminal.exe.manifest";
  facts.dependency = AssemblyIdentity{"Clasp.Holdfast", "1.2.0.0", "x86"};
  facts.assembly_manifest_exists = true;
  facts.assembly = facts.dependency;
  facts.declares_class = true;
  facts.dll_path = "C:\\Terminal\\Holdfast.dll";
  facts.dll_exists = true;
  facts.dll_bits = 32;
  facts.file_version = "1.0.0.0";
  facts.context_result = 0;
  facts.create_result = 0;
  facts.served_by = "c:\\terminal\\holdfast.dll";
  return facts;
}

struct FolderRow {
  const char* name;
  std::function<void(RegFreeFacts&)> change;
  std::vector<Cause> causes;
  std::string says;
};

TEST(Diagnosis, NamesWhatKeepsAFolderFromWorkingWithoutRegistration) {
  const FolderRow rows[] = {
      {"ready", [](RegFreeFacts&) {}, {},
       "created in the application's activation context, from C:\\Terminal\\Holdfast.dll"},
      {"no such folder", [](RegFreeFacts& f) { f.folder_exists = false; },
       {Cause::kNoApplicationManifest}, "no such folder: C:\\Terminal"},
      {"no application manifest",
       [](RegFreeFacts& f) {
         f.application_manifests.clear();
         f.application_manifest.reset();
         f.dependency.reset();
         f.context_result.reset();
         f.create_result.reset();
       },
       {Cause::kNoApplicationManifest},
       "(application manifests: none)"},
      {"assembly manifest missing",
       [](RegFreeFacts& f) {
         f.assembly_manifest_exists = false;
         f.assembly.reset();
         f.declares_class = false;
         f.context_result = 14001;  // ERROR_SXS_CANT_GEN_ACTCTX
       },
       {Cause::kNoAssemblyManifest, Cause::kNone},
       "Clasp.Holdfast.manifest missing from C:\\Terminal"},
      {"assembly manifest without our class",
       [](RegFreeFacts& f) { f.declares_class = false; f.create_result = kClassNotRegistered; },
       {Cause::kNoAssemblyManifest, Cause::kNone},
       "does not declare the class"},
      {"versions differ",
       [](RegFreeFacts& f) { f.dependency->version = "1.1.0.0"; f.context_result = 14001; },
       {Cause::kManifestMismatch, Cause::kNone},
       "version \"1.1.0.0\" asked, \"1.2.0.0\" declared"},
      {"name and architecture differ",
       [](RegFreeFacts& f) {
         f.dependency->name = "Clasp.Other";
         f.dependency->architecture = "amd64";
         f.context_result = 14001;
       },
       {Cause::kManifestMismatch, Cause::kNone},
       "name \"Clasp.Other\" asked, \"Clasp.Holdfast\" declared, architecture \"amd64\""},
      {"architecture differs only in case", [](RegFreeFacts& f) { f.dependency->architecture = "X86"; },
       {}, "the manifests agree"},
      {"DLL missing",
       [](RegFreeFacts& f) {
         f.dll_exists = false;
         f.dll_bits = 0;
         f.create_result = 0x8007007E;
       },
       {Cause::kFileMoved, Cause::kNone},
       "Holdfast.dll missing from C:\\Terminal"},
      {"DLL of the other bitness",
       [](RegFreeFacts& f) { f.dll_bits = 64; f.create_result = kBadImage; },
       {Cause::kWrongBitnessFile, Cause::kNone},
       "Holdfast.dll is a 64-bit module; the manifest declares x86"},
      {"folder for 64-bit programs, checked by the 32-bit check",
       [](RegFreeFacts& f) {
         f.dependency->architecture = f.assembly->architecture = "amd64";
         f.dll_bits = 64;
         f.create_result = kBadImage;
       },
       {Cause::kOtherBitnessOnly, Cause::kNone},
       "run the 64-bit clasp-check.exe on this folder"},
      {"created, but by a registered copy",
       [](RegFreeFacts& f) { f.served_by = "C:\\Program Files\\Clasp\\Holdfast.dll"; },
       {Cause::kManifestMismatch},
       "but from C:\\Program Files\\Clasp\\Holdfast.dll, not from this folder's"},
      {"everything right, creation fails",
       [](RegFreeFacts& f) { f.create_result = kUnspecified; },
       {Cause::kCreationFailed},
       "no instance could be created: 0x80004005"},
  };
  for (const FolderRow& row : rows) {
    SCOPED_TRACE(row.name);
    RegFreeFacts facts = ReadyFolder();
    row.change(facts);
    const std::vector<Finding> findings = Diagnose(facts);
    EXPECT_EQ(FailedCauses(findings), row.causes);
    const std::string report = Render(facts, findings);
    EXPECT_NE(report.find(row.says), std::string::npos) << report;
  }
}

// What an inventory reads: the verdict, which failure another follows from,
// and the signature as the platform judged it.
TEST(Diagnosis, JsonCarriesTheFindingsAndTheInventoryFacts) {
  struct JsonRow {
    const char* name;
    std::function<void(Facts&)> change;
    std::vector<std::string> says;
  };
  const JsonRow rows[] = {
      {"ready, unsigned",
       [](Facts& f) { f.trust_result = 0x800B0100; f.product_version = "1.2.0.0"; },
       {"\"verdict\": \"ready\"", "\"problems\": 0",
        "\"path\": \"C:\\\\Program Files\\\\Clasp\\\\Holdfast.dll\"",
        "\"product_version\": \"1.2.0.0\"",
        "\"signature\": {\"present\": false, \"valid\": false, \"answer\": \"0x800B0100\"}"}},
      {"signed and trusted", [](Facts& f) { f.trust_result = 0; },
       {"\"signature\": {\"present\": true, \"valid\": true, \"answer\": \"0x00000000\"}"}},
      {"signed by an untrusted root", [](Facts& f) { f.trust_result = 0x800B0109; },
       {"{\"present\": true, \"valid\": false, \"answer\": \"0x800B0109\"}"}},
      {"the platform cannot tell", [](Facts& f) { f.trust_result = 0x800B0003; },
       {"{\"present\": null, \"valid\": null, \"answer\": \"0x800B0003\"}"}},
      {"not asked", [](Facts&) {}, {"{\"present\": null, \"valid\": null, \"answer\": null}"}},
      {"a follow-on names its root",
       [](Facts& f) {
         f.file_bits = 32;
         f.create_result = kBadImage;
       },
       {"\"verdict\": \"problems\"", "\"problems\": 2",
        "\"cause\": \"wrong_bitness_file\"", "\"follows\": 2}", "\"bits\": 32"}},
  };
  for (const JsonRow& row : rows) {
    SCOPED_TRACE(row.name);
    Facts facts = Ready();
    row.change(facts);
    const std::string json = RenderJson(facts, Diagnose(facts));
    for (const std::string& text : row.says) EXPECT_NE(json.find(text), std::string::npos) << json;
  }
}

// Until it took options, anything on the command line silently ran the check.
TEST(Options, RefuseWhatTheyDoNotKnow) {
  struct OptionRow {
    std::vector<std::string> arguments;
    bool help;
    bool json;
    std::optional<std::string> folder;
    std::string error;
  };
  const OptionRow rows[] = {
      {{}, false, false, {}, ""},
      {{"--help"}, true, false, {}, ""},
      {{"/?"}, true, false, {}, ""},
      {{"--json", "--manifest", "C:\\App"}, false, true, "C:\\App", ""},
      {{"--manifest=C:\\App"}, false, false, "C:\\App", ""},
      {{"--verbose"}, false, false, {}, "unknown option: --verbose"},
      {{"C:\\App"}, false, false, {}, "unknown option: C:\\App"},
      {{"--manifest"}, false, false, {}, "--manifest needs a folder"},
      {{"--manifest", "--json"}, false, false, {}, "--manifest needs a folder"},
      {{"--manifest="}, false, false, "", "--manifest needs a folder"},
  };
  for (const OptionRow& row : rows) {
    const Options options = ParseOptions(row.arguments);
    SCOPED_TRACE(row.arguments.empty() ? "(none)" : row.arguments.front());
    EXPECT_EQ(options.help, row.help);
    EXPECT_EQ(options.json, row.json);
    EXPECT_EQ(options.manifest_folder, row.folder);
    EXPECT_EQ(options.error, row.error);
  }
}

}  // namespace
}  // namespace clasp::check
