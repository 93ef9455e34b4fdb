#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "component/holdfast.h"
#include "component/inside_failures.h"
#include "component/unset_fields.h"
#include "host/encoding.h"
#include "host/failure.h"
#include "report/send_oex.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using testing::HostSet;
using testing::RecordingHost;

std::string Line(const InsideFailure& inside) {
  return "inside " + std::to_string(inside.failure.Number()) + " " + Utf8(inside.field) + "." +
         Utf8(inside.member);
}

// Writes the failures raised inside the instance into the hosts' log where they happened:
// before each access, and once the member returns (Join). The instance keeps
// only what its current member raised, so each member starts from Restart.
class InsideFailureLog {
 public:
  InsideFailureLog(const Holdfast& holdfast, testing::AccessLog& log)
      : holdfast_(holdfast), log_(log) {
    log_.before_each = [this] { Join(); };
  }
  ~InsideFailureLog() { log_.before_each = nullptr; }
  void Restart() { written_ = 0; }
  void Join() {
    const auto joining = std::exchange(log_.before_each, nullptr);
    const std::span<const InsideFailure> raised = InsideFailuresOf(holdfast_);
    for (; written_ < raised.size(); ++written_) {
      log_.Add(Line(raised[written_]));
    }
    log_.before_each = joining;
  }

 private:
  const Holdfast& holdfast_;
  testing::AccessLog& log_;
  std::size_t written_ = 0;
};

void AssignAllBut(Holdfast& holdfast, HostSet& hosts, const std::vector<std::string>& unset) {
  const auto assign = [&](const char* field, void (Holdfast::*setter)(const HostObject&),
                          RecordingHost& host) {
    if (std::find(unset.begin(), unset.end(), field) == unset.end()) {
      (holdfast.*setter)(host.Object());
    }
  };
  assign("StepDisp", &Holdfast::StepDisp, *hosts.disp);
  assign("StepMks", &Holdfast::StepMks, *hosts.mks);
  assign("StepRunModul", &Holdfast::StepRunModul, *hosts.run);
  assign("StepTrac", &Holdfast::StepTrac, *hosts.trac);
  assign("StepJour", &Holdfast::StepJour, *hosts.jour);
}

// Each inside failure, with the host access just before it ("" when none).
std::vector<std::string> InsideFailuresWithTheAccessBefore(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].starts_with("inside ")) continue;
    out.push_back((i == 0 ? std::string() : lines[i - 1]) + " | " + lines[i]);
  }
  return out;
}

const std::string kPrintLog = "StepTrac.TraceWrite(Text \"c:\\orbis\\qz\\log\\PrintJournal.log\", ";

TEST(InsideFailures, EachUnsetFieldIsNamedWhereTheStepReachesIt) {
  struct Row {
    std::vector<std::string> unset;
    std::vector<std::string> expected;  // access before | inside failure
  } rows[] = {
      {{"StepDisp"}, {" | inside 91 StepDisp.ScreenNo"}},
      {{"StepMks"}, {"StepDisp.DisapleVal04 = Text \"\" | inside 91 StepMks.CardReaderRetain"}},
      {{"StepRunModul"},
       {"StepTrac.TraceWrite(Text \"c:\\orbis\\qz\\log\\object.log\", &Text "
        "\"CardReaderRetain:10120011\", Text \"Clench\") -> Empty | inside 91 "
        "StepRunModul.TransAction1",
        "StepJour.JournalWriteMsg() -> Empty | inside 91 StepRunModul.IsJRNDevice"}},
      {{"StepTrac"},
       {"StepDisp.ScreenNo() -> I2 420 | inside 91 StepTrac.TraceWrite",
        // The failure path's first access is the trace line of its journal entry.
        "inside 91 StepTrac.TraceWrite | inside 91 StepTrac.TraceWrite"}},
      {{"StepJour"},
       {kPrintLog + "&Text \"Card  retained\", Text \"\") -> Empty | inside 91 StepJour.TimeSig",
        kPrintLog +
            "&Text \"ClaspErr:10120011\", Text \"\") -> Empty | inside 91 StepJour.TimeSig"}},
      // Two fields unset: each is named, the reader first, then the journal on
      // the failure path.
      {{"StepMks", "StepJour"},
       {"StepDisp.DisapleVal04 = Text \"\" | inside 91 StepMks.CardReaderRetain",
        kPrintLog + "&Text \"ClaspErr:0\", Text \"\") -> Empty | inside 91 StepJour.TimeSig"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.unset));
    HostSet hosts;
    hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kRetained));
    auto holdfast = Holdfast::Create();
    AssignAllBut(*holdfast, hosts, row.unset);
    InsideFailureLog inside(*holdfast, *hosts.log);
    try {
      holdfast->Cols();
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kObjectNotSet);
    }
    inside.Join();
    EXPECT_EQ(InsideFailuresWithTheAccessBefore(hosts.log->Lines()), row.expected);
  }
}

// The search for a field's stand-in is bounded: a member pointer naming no host
// field still gets one of the stand-ins, never whatever lies past the last.
TEST(InsideFailures, EveryFieldLookupEndsAmongTheStandIns) {
  const Holdfast::Fields fields;
  const detail::UnsetFields unset(fields);
  const HostObject* got = &unset.Of(nullptr);
  bool among = false;
  for (const auto& [field, name] : detail::kHostFields) among = among || got == &unset.Of(field);
  EXPECT_TRUE(among);
}

TEST(InsideFailures, DisplayValuesOnAnUnsetDisplayAreNamedToo) {
  HostSet hosts;
  auto holdfast = Holdfast::Create();
  InsideFailureLog inside(*holdfast, *hosts.log);
  EXPECT_THROW(holdfast->DisapleVal03(HostValue::Text(u"x")), Failure);
  inside.Join();
  EXPECT_EQ(hosts.log->Lines(), (std::vector<std::string>{"inside 91 StepDisp.DisapleVal03"}));
  // Each display value starts a fresh record, as each step does.
  EXPECT_THROW(holdfast->DisapleVal01(HostValue::Text(u"y")), Failure);
  ASSERT_EQ(InsideFailuresOf(*holdfast).size(), 1u);
  EXPECT_EQ(Line(InsideFailuresOf(*holdfast)[0]), "inside 91 StepDisp.DisapleVal01");
}

TEST(InsideFailures, EachStepStartsAFreshRecord) {
  HostSet hosts;
  auto holdfast = Holdfast::Create();
  AssignAllBut(*holdfast, hosts, {"StepTrac"});
  EXPECT_THROW(holdfast->Cols(), Failure);
  EXPECT_EQ(InsideFailuresOf(*holdfast).size(), 2u);
  // Assigning raises nothing and leaves the record; the next step forgets it.
  holdfast->StepTrac(hosts.trac->Object());
  EXPECT_EQ(InsideFailuresOf(*holdfast).size(), 2u);
  holdfast->Cols();
  EXPECT_TRUE(InsideFailuresOf(*holdfast).empty());
}

TEST(InsideFailures, AFieldAssignedDuringTheStepIsUsedFromThenOn) {
  HostSet hosts;
  auto holdfast = Holdfast::Create();
  AssignAllBut(*holdfast, hosts, {"StepJour"});
  // The journal entry's trace line comes before its time signature.
  hosts.trac->Calls(u"TraceWrite", [&](std::span<const HostValue> args) {
    if (args[0].AsText().ends_with(u"PrintJournal.log")) holdfast->StepJour(hosts.jour->Object());
    return HostValue::Empty();
  });
  holdfast->Cols();
  EXPECT_TRUE(InsideFailuresOf(*holdfast).empty());
  std::vector<std::string> journal;  // member names only: the entry itself is another test's
  for (const std::string& line : hosts.log->Lines()) {
    if (line.starts_with("StepJour.")) journal.push_back(line.substr(0, line.find_first_of(" (")));
  }
  EXPECT_EQ(journal, (std::vector<std::string>{"StepJour.TimeSig", "StepJour.ChnPromptString",
                                               "StepJour.EngPromptString",
                                               "StepJour.JournalWriteMsg", "StepJour.isjrn"}));
}

TEST(InsideFailures, AnotherInstanceRunInsideAHostCallIsNotOurs) {
  HostSet hosts;
  auto outer = Holdfast::Create();
  AssignAllBut(*outer, hosts, {});
  InsideFailureLog inside(*outer, *hosts.log);
  // The display runs a second step, whose fields are all unset.
  auto inner = Holdfast::Create();
  hosts.disp->Calls(u"ScreenDisplay", [&](std::span<const HostValue>) {
    EXPECT_THROW(inner->Cols(), Failure);
    return HostValue::I4(0);
  });
  hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kNotRetained));
  EXPECT_EQ(outer->Cols(), kNotRetained);
  inside.Join();
  for (const std::string& line : hosts.log->Lines()) EXPECT_FALSE(line.starts_with("inside "));

  // The inner step's failures are its own record's alone, and once it is over
  // the outer step's go to the outer record again.
  outer->StepMks(HostObject());
  hosts.log->Clear();
  inside.Restart();
  EXPECT_EQ(outer->Cols(), kFailure);
  inside.Join();
  std::vector<std::string> inner_own;
  for (const InsideFailure& failure : InsideFailuresOf(*inner)) inner_own.push_back(Line(failure));
  EXPECT_EQ(inner_own, (std::vector<std::string>{"inside 91 StepDisp.ScreenNo",
                                                 "inside 91 StepTrac.TraceWrite"}));
  std::vector<std::string> outer_own;
  for (const std::string& line : hosts.log->Lines()) {
    if (line.starts_with("inside ")) outer_own.push_back(line);
  }
  EXPECT_EQ(outer_own, std::vector<std::string>{"inside 91 StepMks.CardReaderRetain"});
}

}  // namespace
}  // namespace clasp
