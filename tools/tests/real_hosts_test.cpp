// The integrator's own host objects behind the recording proxy, and the
// failures raised inside the component placed in the record of a step.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "component/holdfast.h"
#include "host/failure.h"
#include "host/text.h"
#include "sim/component.h"
#include "sim/render.h"
#include "sim/run.h"
#include "sim/scenario.h"
#include "support/recording_host.h"

namespace clasp::sim {
namespace {

// A display written by an integrator: remembers what is put, answers its
// screen number with the I2 it was given, refuses a put of "Other", lacks the
// reader's member, and rewrites a by-reference argument (to show the proxy
// records what went in).
Ref<testing::RecordingHost> OwnDisplay(std::shared_ptr<testing::AccessLog> log = nullptr) {
  Ref<testing::RecordingHost> display = testing::RecordingHost::Create("Bank.Display", log);
  display->Returns(u"ScreenDisplay", HostValue::I2(0))
      .Raises(u"Other", Failure(1234, u"refused"))
      .Lacks(u"CardReaderRetain")
      .Calls(u"Probe", [](std::span<const HostValue> args) {
        args[0].RefTarget() = u"changed";
        return HostValue::Text(u"probed");
      });
  return display;
}

struct RealHostsTest : ::testing::Test {
  RealHostsTest() {
    // One folder per test and process: ctest may run these side by side.
    folder = std::filesystem::temp_directory_path() /
             ("clasp-real-hosts-" +
              std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
              std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
  }
  ~RealHostsTest() override { std::filesystem::remove_all(folder); }

  Report RunWith(const Scenario& scenario, const RealHosts& real = {}) {
    auto component = MakeLinkedComponent();
    return sim::Run(scenario, *component, LogFiles(folder.string(), *Clock::Fixed(kTime)), real);
  }
  static std::vector<std::string> Lines(const Report& report) {
    std::vector<std::string> lines;
    std::string text = RenderText(report, false);
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
      end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  static constexpr const char* kTime = "2026-01-01 09:00:00";
  std::filesystem::path folder;
};

TEST_F(RealHostsTest, AnOwnDisplayIsCalledAndRecordedLikeASimulatedOne) {
  const auto calls = std::make_shared<testing::AccessLog>();
  const HostObject object = OwnDisplay(calls)->Object();
  Scenario scenario;
  scenario.raises.insert_or_assign(ParseMemberOption("t", "StepDisp.ScreenDisplay"),
                                   Failure(99, u"simulated only"));
  const Report report = RunWith(scenario, {{HostRole::kDisp, {object, "Bank.Display"}}});
  const auto lines = Lines(report);

  EXPECT_TRUE(Has(lines, "        Holdfast.StepDisp = Bank.Display (your own display)"));
  // Kinds as they come from the real object: I2 where a simulated one answers I4.
  EXPECT_TRUE(Has(lines, "     1  StepDisp.ScreenNo = I2 420"));
  EXPECT_TRUE(Has(lines, "     2  StepDisp.ScreenDisplay() -> I2 0"));
  EXPECT_TRUE(Has(lines, "     3  StepDisp.ScreenNo -> I2 420"));
  EXPECT_TRUE(Has(lines, "     5  StepDisp.DisapleVal01 = Text \"\""));
  // --raise applies to simulated hosts only: the real display answered.
  EXPECT_EQ(report.outcome.result, kRetained);
  EXPECT_EQ(calls->Lines().size(), 7u);
  // Its state is its own: nothing of the display in "afterwards".
  for (const StateLine& line : report.state) EXPECT_FALSE(line.name.starts_with("StepDisp"));
}

TEST_F(RealHostsTest, FailuresAndByReferenceArgumentsAreRecordedAsTheyHappened) {
  Scenario scenario;
  World world(scenario, LogFiles(folder.string(), *Clock::Fixed(kTime)));
  const HostObject proxy = MakeRecordingProxy(HostRole::kDisp, OwnDisplay()->Object(), world);

  std::u16string variable = u"before";
  EXPECT_EQ(proxy.Invoke(u"Probe", HostValue::TextRef(variable)).AsText(), u"probed");
  EXPECT_EQ(variable, u"changed");  // forwarded unchanged, by reference
  EXPECT_THROW(proxy.Put(u"Other", HostValue::I4(1)), Failure);
  EXPECT_THROW(proxy.Invoke(u"CardReaderRetain"), Failure);

  ASSERT_EQ(world.events.size(), 3u);
  const Event& probe = world.events[0];
  EXPECT_EQ(probe.number, 1);
  EXPECT_EQ(probe.access, Access::kCall);
  ASSERT_EQ(probe.args.size(), 1u);
  EXPECT_EQ(probe.args[0], HostValue::Text(u"before"));
  EXPECT_EQ(probe.by_ref, std::vector<bool>{true});
  EXPECT_EQ(probe.answer, HostValue::Text(u"probed"));
  EXPECT_EQ(world.events[1].failure->Number(), 1234);
  EXPECT_EQ(world.events[1].failure->Description(), u"refused");
  EXPECT_EQ(world.events[2].failure->Number(), kMemberMissing);
  EXPECT_FALSE(world.events[2].missing);  // the object's own answer, not the scenario's
  EXPECT_EQ(world.events[2].number, 3);
}

TEST_F(RealHostsTest, TheComponentsOwn91StandsWhereItHappened) {
  struct Row {
    const char* name;
    std::vector<const char*> unset;
    std::vector<const char*> raises;
    std::vector<std::pair<const char*, HostValue>> answers;
    // The record of the step, by object and member (inside failures as "91 Field.Member").
    std::vector<std::string> expected_around;
  };
  const Row rows[] = {
      {"reader unset: before the failure path's journal",
       {"StepMks"}, {}, {},
       {"StepDisp.DisapleVal04", "91 StepMks.CardReaderRetain", "StepTrac.TraceWrite"}},
      {"journal unset: inside the journal, and again on the failure path",
       {"StepJour"}, {}, {},
       {"StepTrac.TraceWrite", "91 StepJour.TimeSig", "StepTrac.TraceWrite",
        "91 StepJour.TimeSig"}},
      {"a reader's own failure sends the step there; only the path meets the field",
       {"StepJour"}, {"StepMks.CardReaderRetain"}, {},
       {"StepMks.CardReaderRetain", "StepTrac.TraceWrite", "91 StepJour.TimeSig"}},
      {"an answer that does not convert sends the step there: one 91, on the path",
       {"StepJour"}, {}, {{"StepMks.CardReaderRetain", HostValue::Text(u"abc")}},
       {"StepMks.CardReaderRetain", "StepTrac.TraceWrite", "91 StepJour.TimeSig"}},
      {"two fields unset: each named where it was reached",
       {"StepMks", "StepJour"}, {}, {},
       {"StepDisp.DisapleVal04", "91 StepMks.CardReaderRetain", "StepTrac.TraceWrite",
        "91 StepJour.TimeSig"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Scenario scenario;
    for (const char* role : row.unset) scenario.unset.insert(ParseRoleOption("t", role));
    for (const char* member : row.raises) {
      scenario.raises.insert_or_assign(ParseMemberOption("t", member), Failure(1234, u"jammed"));
    }
    for (const auto& [member, value] : row.answers) {
      scenario.answers.insert_or_assign(ParseMemberOption("t", member), value);
    }
    const Report report = RunWith(scenario);
    std::vector<std::string> record;
    for (std::size_t i = 1; i < report.step.size(); ++i) {
      const Event& e = report.step[i];
      record.push_back((e.raised_inside ? "91 " : "") + e.object + "." + e.member);
    }
    // The expected stretch must appear in this order, with nothing between.
    const auto at = std::search(record.begin(), record.end(), row.expected_around.begin(),
                                row.expected_around.end());
    EXPECT_NE(at, record.end()) << ::testing::PrintToString(record);
    const auto own = std::count_if(record.begin(), record.end(),
                                   [](const std::string& s) { return s.starts_with("91 "); });
    const auto wanted = std::count_if(row.expected_around.begin(), row.expected_around.end(),
                                      [](const std::string& s) { return s.starts_with("91 "); });
    EXPECT_EQ(own, wanted);
  }
}

TEST_F(RealHostsTest, InsideFailureNotesSayWhichOneFailedCols) {
  const std::string inside =
      "raised inside the component: it reached a host object the host never assigned";
  const struct {
    const char* unset;
    const char* raises;  // or null
    std::vector<std::string> notes;
  } rows[] = {
      {"StepMks", nullptr, {inside}},
      {"StepJour", nullptr, {inside, "raised again on the failure path, so Cols fails with it"}},
      {"StepJour", "StepMks.CardReaderRetain",
       {"raised on the failure path, so Cols fails with it"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.unset) + " " + (row.raises ? row.raises : ""));
    Scenario scenario;
    scenario.unset.insert(ParseRoleOption("t", row.unset));
    if (row.raises) {
      scenario.raises.insert_or_assign(ParseMemberOption("t", row.raises), Failure(1234, u"x"));
    }
    const Report report = RunWith(scenario);
    std::vector<std::string> notes;
    for (const Event& e : report.step) {
      if (e.raised_inside) notes.insert(notes.end(), e.notes.begin(), e.notes.end());
    }
    EXPECT_EQ(notes, row.notes);
  }
}

TEST_F(RealHostsTest, NoInsideFailureWhenTheUnsetFieldIsNeverReached) {
  // The display fails, so the reader is never called: nothing to show.
  Scenario scenario;
  scenario.unset.insert(HostRole::kMks);
  scenario.answers.insert_or_assign(ParseMemberOption("t", "StepDisp.ScreenDisplay"),
                                    HostValue::I4(5));
  const Report report = RunWith(scenario);
  for (const Event& e : report.step) EXPECT_FALSE(e.raised_inside);
}

}  // namespace
}  // namespace clasp::sim
