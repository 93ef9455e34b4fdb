#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "component/holdfast.h"
#include "host/encoding.h"
#include "host/failure.h"
#include "report/send_oex.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using testing::HostSet;
using testing::RecordingHost;

// Writes each own failure into the hosts' log, so that a test sees it among
// the host accesses, where it happened.
class LogWatch final : public OwnFailureWatch {
 public:
  explicit LogWatch(testing::AccessLog& log) : log_(log) {}
  void Raised(std::u16string_view field, std::u16string_view member,
              const Failure& failure) noexcept override {
    log_.Add("own " + std::to_string(failure.Number()) + " " + Utf8(field) + "." +
             Utf8(member));
    if (then) then();
  }
  std::function<void()> then;

 private:
  testing::AccessLog& log_;
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

// Each own failure, with the host access just before it ("" when none).
std::vector<std::string> OwnFailuresWithTheAccessBefore(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].starts_with("own ")) continue;
    out.push_back((i == 0 ? std::string() : lines[i - 1]) + " | " + lines[i]);
  }
  return out;
}

const std::string kPrintLog = "StepTrac.TraceWrite(Text \"c:\\orbis\\qz\\log\\PrintJournal.log\", ";

TEST(OwnFailures, EachUnsetFieldIsNamedWhereTheStepReachesIt) {
  struct Row {
    std::vector<std::string> unset;
    std::vector<std::string> expected;  // access before | own failure
  } rows[] = {
      {{"StepDisp"}, {" | own 91 StepDisp.ScreenNo"}},
      {{"StepMks"}, {"StepDisp.DisapleVal04 = Text \"\" | own 91 StepMks.CardReaderRetain"}},
      {{"StepRunModul"},
       {"StepTrac.TraceWrite(Text \"c:\\orbis\\qz\\log\\object.log\", &Text "
        "\"CardReaderRetain:10120011\", Text \"Clench\") -> Empty | own 91 "
        "StepRunModul.TransAction1",
        "StepJour.JournalWriteMsg() -> Empty | own 91 StepRunModul.IsJRNDevice"}},
      {{"StepTrac"},
       {"StepDisp.ScreenNo() -> I2 420 | own 91 StepTrac.TraceWrite",
        // The failure path's first access is the trace line of its journal entry.
        "own 91 StepTrac.TraceWrite | own 91 StepTrac.TraceWrite"}},
      {{"StepJour"},
       {kPrintLog + "&Text \"Card  retained\", Text \"\") -> Empty | own 91 StepJour.TimeSig",
        kPrintLog + "&Text \"ClaspErr:10120011\", Text \"\") -> Empty | own 91 StepJour.TimeSig"}},
      // Two fields unset: each is named, the reader first, then the journal on
      // the failure path.
      {{"StepMks", "StepJour"},
       {"StepDisp.DisapleVal04 = Text \"\" | own 91 StepMks.CardReaderRetain",
        kPrintLog + "&Text \"ClaspErr:0\", Text \"\") -> Empty | own 91 StepJour.TimeSig"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.unset));
    HostSet hosts;
    hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kRetained));
    auto holdfast = Holdfast::Create();
    AssignAllBut(*holdfast, hosts, row.unset);
    LogWatch watch(*hosts.log);
    holdfast->Watch(&watch);
    try {
      holdfast->Cols();
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kObjectNotSet);
    }
    EXPECT_EQ(OwnFailuresWithTheAccessBefore(hosts.log->Lines()), row.expected);
  }
}

TEST(OwnFailures, DisplayValuesOnAnUnsetDisplayAreNamedToo) {
  HostSet hosts;
  auto holdfast = Holdfast::Create();
  LogWatch watch(*hosts.log);
  holdfast->Watch(&watch);
  EXPECT_THROW(holdfast->DisapleVal03(HostValue::Text(u"x")), Failure);
  EXPECT_EQ(hosts.log->Lines(), (std::vector<std::string>{"own 91 StepDisp.DisapleVal03"}));
}

TEST(OwnFailures, NothingIsToldWithoutAWatchOrAfterItIsTakenBack) {
  HostSet hosts;
  auto holdfast = Holdfast::Create();
  AssignAllBut(*holdfast, hosts, {"StepTrac"});
  LogWatch watch(*hosts.log);
  // Taken back from inside the first report: the failure path's raise goes unseen.
  watch.then = [&] { holdfast->Watch(nullptr); };
  holdfast->Watch(&watch);
  EXPECT_THROW(holdfast->Cols(), Failure);
  holdfast->Watch(&watch);
  holdfast->Watch(nullptr);
  EXPECT_THROW(holdfast->Cols(), Failure);
  const auto& lines = hosts.log->Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.starts_with("own "); }),
            1);
}

TEST(OwnFailures, AnotherInstanceRunInsideAHostCallIsNotOurs) {
  HostSet hosts;
  auto outer = Holdfast::Create();
  AssignAllBut(*outer, hosts, {});
  LogWatch watch(*hosts.log);
  outer->Watch(&watch);
  // The display runs a second step, whose fields are all unset, with no watch.
  auto inner = Holdfast::Create();
  hosts.disp->Calls(u"ScreenDisplay", [&](std::span<const HostValue>) {
    EXPECT_THROW(inner->Cols(), Failure);
    return HostValue::I4(0);
  });
  hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kNotRetained));
  EXPECT_EQ(outer->Cols(), kNotRetained);
  for (const std::string& line : hosts.log->Lines()) EXPECT_FALSE(line.starts_with("own "));

  // With a watch of its own, the inner step's failures go to that watch alone,
  // and once it is over the outer step's go to the outer watch again.
  testing::AccessLog inner_log;
  LogWatch inner_watch(inner_log);
  inner->Watch(&inner_watch);
  outer->StepMks(HostObject());
  hosts.log->Clear();
  EXPECT_EQ(outer->Cols(), kFailure);
  EXPECT_EQ(inner_log.Lines(), (std::vector<std::string>{"own 91 StepDisp.ScreenNo",
                                                          "own 91 StepTrac.TraceWrite"}));
  std::vector<std::string> outer_own;
  for (const std::string& line : hosts.log->Lines()) {
    if (line.starts_with("own ")) outer_own.push_back(line);
  }
  EXPECT_EQ(outer_own, std::vector<std::string>{"own 91 StepMks.CardReaderRetain"});
}

}  // namespace
}  // namespace clasp
