// Whole simulated runs with the component linked in: the result meaning the
// transcript prints, the JSON state afterwards, and the member catalogue that
// the host documentation is checked against.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "component/holdfast.h"
#include "report/send_oex.h"
#include "host/text.h"
#include "certify/certify.h"
#include "sim/component.h"
#include "sim/contract_check.h"
#include "sim/render.h"
#include "sim/run.h"
#include "sim/scenario.h"

namespace clasp::sim {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("clasp-run-test-" + std::string(::testing::UnitTest::GetInstance()
                                                   ->current_test_info()
                                                   ->name()));
    std::filesystem::remove_all(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  Report RunScenario(const Scenario& scenario) {
    const std::unique_ptr<Component> component = MakeLinkedComponent();
    return sim::Run(scenario, *component, LogFiles(folder_.string(), *Clock::Fixed(kTime)));
  }
  // The same with a component that tells nothing of the failures raised inside it, as
  // through COM.
  Report RunSilently(const Scenario& scenario) {
    class Silent final : public Component {
     public:
      void Assign(HostRole role, const HostObject& host) override { linked_->Assign(role, host); }
      void ScreenNo(const std::u16string& text) override { linked_->ScreenNo(text); }
      void DisplayValue(int slot, const HostValue& value) override {
        linked_->DisplayValue(slot, value);
      }
      std::int32_t Cols() override { return linked_->Cols(); }
      bool TakeInsideFailures(std::vector<InsideFailure>&) override { return false; }

     private:
      std::unique_ptr<Component> linked_ = MakeLinkedComponent();
    } component;
    return sim::Run(scenario, component, LogFiles(folder_.string(), *Clock::Fixed(kTime)));
  }

  static constexpr const char* kTime = "2026-01-01 09:00:00";
  std::filesystem::path folder_;
};

// The reader may answer any number, the step's own codes included; the meaning
// must follow the road the step took, not the number.
TEST_F(RunTest, ResultMeaningFollowsWhatHappened) {
  struct Row {
    const char* name;
    const char* reader;      // command-line value syntax
    const char* raise;       // Object.Member=NUMBER:DESCRIPTION, or empty
    const char* display;     // the display's answer, or empty for 0
    std::int32_t code;
    const char* meaning;     // how the meaning starts
  };
  const Row rows[] = {
      {"not retained", "0", "", "", kNotRetained, "card not retained"},
      {"retained", "10120011", "", "", kRetained, "card retained"},
      {"device fault", "7", "", "", 7, "device fault (the reader's own code)"},
      {"negative fault", "-1", "", "", -1, "device fault"},
      {"fault as text", "text:7", "", "", 7, "device fault"},
      {"rounded to retained+1", "10120011.5", "", "", 10120012, "device fault"},
      {"reader says display failure", "10140003", "", "", kDisplayFailure,
       "device fault (the reader's own code, the same number as a display failure)"},
      {"reader says failure", "10010003", "", "", kFailure,
       "device fault (the reader's own code, the same number as a failure inside the step)"},
      {"display failed", "10120011", "", "5", kDisplayFailure, "display failure"},
      {"display failed, reader would say failure", "10010003", "", "5", kDisplayFailure,
       "display failure"},
      {"reader raises", "10120011", "StepMks.CardReaderRetain=1234:jammed", "", kFailure,
       "failure inside the step"},
      {"reader not a number", "text:abc", "", "", kFailure, "failure inside the step"},
      {"failure after a capture", "10120011", "StepRunModul.ExcepCode=5:bad", "", kFailure,
       "failure inside the step"},
      // The same number as the reader's answer, but the failure path ran.
      {"failure after the reader said 10010003", "10010003", "StepRunModul.ExcepCode=5:bad", "",
       kFailure, "failure inside the step"},
      {"failure after the reader said 10140003", "10140003", "StepRunModul.ExcepCode=5:bad", "",
       kFailure, "failure inside the step"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Scenario scenario;
    ApplyShortcut(scenario, "reader", ParseValueOption("--reader", row.reader));
    if (*row.display) ApplyShortcut(scenario, "display", ParseValueOption("--display", row.display));
    if (*row.raise) {
      const std::string raise = row.raise;
      const std::size_t equals = raise.find('=');
      scenario.raises.insert_or_assign(ParseMemberOption("test", raise.substr(0, equals)),
                                       ParseFailureOption("test", raise.substr(equals + 1)));
    }
    const Report report = RunScenario(scenario);
    ASSERT_TRUE(report.outcome.result);
    EXPECT_EQ(*report.outcome.result, row.code);
    EXPECT_THAT(ResultMeaning(report), StartsWith(row.meaning));
    EXPECT_THAT(RenderText(report, false),
                HasSubstr("Result " + std::to_string(row.code) + ": " + row.meaning));
  }
}

TEST_F(RunTest, JsonStateAfterwardsHoldsValuesWithTheirKinds) {
  Scenario scenario;
  SetStatus(scenario, u"0000");
  const auto json = nlohmann::json::parse(RenderJson(RunScenario(scenario)));
  const auto& after = json.at("afterwards");
  EXPECT_EQ(after.at("StepDisp.ScreenNo"), (nlohmann::json{{"kind", "I2"}, {"value", 420}}));
  EXPECT_EQ(after.at("StepDisp.DisapleVal04"), (nlohmann::json{{"kind", "Text"}, {"value", ""}}));
  EXPECT_EQ(after.at("StepRunModul.TransAction1"),
            (nlohmann::json{{"kind", "Text"}, {"value", "0010"}}));
  EXPECT_EQ(after.at("StepJour.isjrn"), (nlohmann::json{{"kind", "I2"}, {"value", 1}}));
  EXPECT_EQ(after.at("RecordMessage calls"),
            nlohmann::json::parse(R"([[{"kind": "Text", "value": "CIN"}, {"kind": "I2", "value": 5}]])"));
  const auto& oex = after.at("OEX message");
  EXPECT_EQ(oex.at("packed").at("value"), "OEX|EXCEP=1004|STATUS=0010");
  EXPECT_EQ(oex.at("sent"), "StepCommWrite");
  EXPECT_EQ(oex.at("answer").at("value"), "OEX|00|ACCEPTED");
  EXPECT_EQ(oex.at("unpacked"), true);
}

TEST_F(RunTest, JsonStateAfterwardsSaysNullForWhatWasNeverSet) {
  Scenario scenario;
  ApplyShortcut(scenario, "reader", HostValue::I4(kNotRetained));
  const auto after = nlohmann::json::parse(RenderJson(RunScenario(scenario))).at("afterwards");
  EXPECT_TRUE(after.at("StepRunModul.ExcepCode").is_null());
  EXPECT_TRUE(after.at("OEX message").is_null());
  EXPECT_EQ(after.at("RecordMessage calls"), nlohmann::json::array());
}

// The catalogue is what `--members` prints and what the host documentation is
// checked against, so it must say how the component really uses each member:
// every access in every scenario fits it, and every use it lists happens.
TEST_F(RunTest, CatalogueDescribesEveryAccessTheComponentMakes) {
  // Every scenario, and every road the certification bench runs.
  std::vector<std::pair<std::string, Scenario>> runs;
  for (const auto& entry : std::filesystem::directory_iterator(CLASP_SCENARIO_DIR)) {
    if (entry.path().extension() != ".json") continue;
    runs.emplace_back(entry.path().filename().string(), LoadScenario(entry.path().string()));
  }
  for (const Road& road : CertificationRoads()) runs.emplace_back(road.name, road.scenario);
  std::set<std::string> seen;
  for (const auto& [name, scenario] : runs) {
    SCOPED_TRACE(name);
    const Report report = RunScenario(scenario);
    for (const Event& event : report.step) {
      if (event.object == "Holdfast" || event.missing || event.raised_inside) continue;
      EXPECT_EQ(ContractDeparture(event), std::nullopt);
      const std::string_view use = event.access == Access::kGet   ? " get"
                                   : event.access == Access::kPut ? " put"
                                                                  : " call";
      seen.insert(event.object + "." + event.member + std::string(use));
    }
  }
  for (int r = 0; r < kHostRoleCount; ++r) {
    const auto role = static_cast<HostRole>(r);
    for (const MemberInfo& info : Members(role)) {
      const std::string name = std::string(RoleProperty(role)) + "." + std::string(info.name);
      if (info.kind == MemberKind::kMethod) {
        EXPECT_TRUE(seen.contains(name + " call")) << name;
        continue;
      }
      if (info.use != PropertyUse::kPut) {
        EXPECT_TRUE(seen.contains(name + " get")) << name;
      }
      if (info.use != PropertyUse::kGet) {
        EXPECT_TRUE(seen.contains(name + " put")) << name;
      }
    }
  }
}

// The check itself, on accesses the contract does not allow: each row one
// way an access can depart, beside one that keeps to it.
TEST(ContractDeparture, NamesEachAccessOutsideTheContract) {
  const auto event = [](std::string object, std::string member, Access access,
                        std::vector<HostValue> args, std::vector<bool> by_ref = {}) {
    Event e;
    e.object = std::move(object);
    e.member = std::move(member);
    e.access = access;
    e.args = std::move(args);
    e.by_ref = by_ref.empty() ? std::vector<bool>(e.args.size(), false) : std::move(by_ref);
    return e;
  };
  const HostValue text = HostValue::Text(u"x");
  const struct {
    const char* what;
    Event event;
    const char* departure;  // nullptr: keeps to the contract
  } kRows[] = {
      {"a trace line as the component writes it",
       event("StepTrac", "TraceWrite", Access::kCall, {text, text, text}, {false, true, false}),
       nullptr},
      {"a member outside the contract", event("StepMks", "CardReaderEject", Access::kCall, {}),
       "StepMks.CardReaderEject: no such member in the contract"},
      {"a field outside the contract", event("StepPrinter", "Print", Access::kCall, {}),
       "StepPrinter.Print: no host field of that name in the contract"},
      {"a read of a property only assigned", event("StepRunModul", "ExcepCode", Access::kGet, {}),
       "StepRunModul.ExcepCode: read; the contract does not read it"},
      {"an assignment of a property only read",
       event("StepRunModul", "ControlNum", Access::kPut, {HostValue::I2(6)}),
       "StepRunModul.ControlNum: assigned; the contract does not assign it"},
      {"a call of a property", event("StepRunModul", "CommSign", Access::kCall, {}),
       "StepRunModul.CommSign: called; the contract has a property"},
      {"one argument too many",
       event("StepRunModul", "PackMessage", Access::kCall, {text, text}),
       "StepRunModul.PackMessage: passes 2 arguments; the contract has 1"},
      {"the by-reference argument passed by value",
       event("StepTrac", "TraceWrite", Access::kCall, {text, text, text}),
       "StepTrac.TraceWrite: argument 2 is Text; the contract has &Text"},
      {"a 32-bit integer where the contract has a 16-bit one",
       event("StepRunModul", "RecordMessage", Access::kCall, {text, HostValue::I4(5)}),
       "StepRunModul.RecordMessage: argument 2 is I4; the contract has I2"},
      {"an assigned value of another kind",
       event("StepJour", "TimeSig", Access::kPut, {text}),
       "StepJour.TimeSig: argument 1 is Text; the contract has I2"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.what);
    const auto departure = ContractDeparture(row.event);
    if (row.departure) {
      EXPECT_EQ(departure, std::optional<std::string>(row.departure));
    } else {
      EXPECT_EQ(departure, std::nullopt);
    }
  }
}

// Told nothing, the record places the failures raised inside the component from what it
// did in public: where the component itself tells them, on the fields it names.
TEST_F(RunTest, PlacedInsideFailuresStandWhereTheComponentTellsThem) {
  std::vector<std::pair<std::string, Scenario>> cases;
  for (const auto& entry : std::filesystem::directory_iterator(CLASP_SCENARIO_DIR)) {
    if (entry.path().extension() != ".json") continue;
    cases.emplace_back(entry.path().filename().string(), LoadScenario(entry.path().string()));
  }
  Scenario two_unset;
  two_unset.unset = {HostRole::kMks, HostRole::kJour};
  cases.emplace_back("StepMks and StepJour unset", two_unset);
  // Each access by name, each inside failure by its number.
  const auto places = [](const std::vector<Event>& events) {
    std::vector<std::string> shown;
    for (const Event& event : events) {
      shown.push_back(event.raised_inside ? "own " + std::to_string(event.failure->Number())
                                          : event.object + "." + event.member);
    }
    return shown;
  };
  for (const auto& [name, scenario] : cases) {
    SCOPED_TRACE(name);
    const Report told = RunScenario(scenario);
    const Report placed = RunSilently(scenario);
    EXPECT_EQ(places(placed.setup), places(told.setup));
    ASSERT_EQ(places(placed.step), places(told.step));
    for (std::size_t i = 0; i < told.step.size(); ++i) {
      if (!told.step[i].raised_inside) continue;
      EXPECT_THAT(placed.step[i].object, HasSubstr(told.step[i].object));
      EXPECT_EQ(placed.step[i].notes.front(), told.step[i].notes.front());
    }
  }
}

TEST(DescribeMember, SaysKindUseArgumentsAndTheByReferenceOne) {
  struct Row {
    MemberInfo info;
    const char* line;
  };
  const Row rows[] = {
      {{"ScreenNo", MemberKind::kProperty, 0, PropertyUse::kGetPut}, "ScreenNo  property  get, put"},
      {{"ExcepCode", MemberKind::kProperty, 0, PropertyUse::kPut}, "ExcepCode  property  put"},
      {{"CommSign", MemberKind::kProperty, 0, PropertyUse::kGet}, "CommSign  property  get"},
      {{"ScreenDisplay", MemberKind::kMethod}, "ScreenDisplay  method  0 arguments"},
      {{"PackMessage", MemberKind::kMethod, 1}, "PackMessage  method  1 argument"},
      {{"TraceWrite", MemberKind::kMethod, 3, PropertyUse::kGet, 2},
       "TraceWrite  method  3 arguments, the 2nd by reference"},
      {{"WriteDetailFileName", MemberKind::kMethod, 4, PropertyUse::kGet, 4},
       "WriteDetailFileName  method  4 arguments, the 4th by reference"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(DescribeMember(row.info), row.line);
  }
}

}  // namespace
}  // namespace clasp::sim
