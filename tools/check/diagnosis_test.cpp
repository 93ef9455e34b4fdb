// The check's diagnosis: which cause it names for each broken state, and that
// a failure which follows from another is not blamed twice.
#include "diagnosis.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace clasp::check {
namespace {

constexpr char kInstalled[] = "C:\\Program Files\\Clasp\\Holdfast.dll";
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

}  // namespace
}  // namespace clasp::check
