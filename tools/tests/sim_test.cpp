// The simulator's own parts: where JSON errors are reported, the command-line
// value syntax, and what the simulated hosts do beyond answering.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/failure.h"
#include "host/text.h"
#include "sim/json_positions.h"
#include "sim/scenario.h"
#include "sim/sim_host.h"

namespace clasp::sim {
namespace {

using ::testing::HasSubstr;

TEST(JsonPositions, NamesTheLineAndColumnOfValuesAndKeys) {
  const std::string text =
      "{\n"
      "  \"reader\": 7,\n"
      "  \"answer\": {\"StepMks.CardReaderRetain\": \"a\\\"b\"},\n"
      "  \"lack\": [\"x\", \"y\"],\n"
      "  \"description\": \"\xe5\x90\x9e\xe5\x8d\xa1\", \"unset\": [ true ]\n"
      "}\n";
  // Made from a temporary that is gone before the first lookup (the address
  // sanitizer build sees a read of it if the positions do not keep a copy).
  const JsonPositions positions = JsonPositions::Of(std::string(text));
  struct Row {
    const char* pointer;
    bool key;
    std::size_t line, column;
  };
  const Row rows[] = {
      {"/reader", false, 2, 13},
      {"/reader", true, 2, 3},
      {"/answer", false, 3, 13},
      {"/answer/StepMks.CardReaderRetain", true, 3, 14},
      {"/answer/StepMks.CardReaderRetain", false, 3, 42},  // the string holds an escaped quote
      {"/lack/0", false, 4, 12},
      {"/lack/1", false, 4, 17},
      // Columns count characters: the two Chinese characters are one column each.
      {"/unset", true, 5, 24},
      {"/unset/0", false, 5, 35},
      {"/lack/7", false, 4, 11},  // unknown element: the enclosing list
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.pointer) + (row.key ? " key" : ""));
    const TextPosition at = positions.Find(row.pointer, row.key);
    EXPECT_EQ(at.line, row.line);
    EXPECT_EQ(at.column, row.column);
  }
}

TEST(ValueOption, ReadsEveryKindOrSaysWhatIsWrong) {
  struct Row {
    const char* text;
    const char* shown;   // Describe() of the value, or empty for an error
    const char* error;   // part of the error message
  };
  const Row rows[] = {
      {"42", "I4 42", ""},
      {"-7", "I4 -7", ""},
      {"2147483648", "", "not a 32-bit integer"},
      {"2.5", "R8 2.5", ""},
      {"i2:5", "I2 5", ""},
      {"i2:40000", "", "not a 16-bit integer"},
      {"i4:abc", "", "not a 32-bit integer"},
      {"r8:x", "", "not a number"},
      {"text:abc", "Text \"abc\"", ""},
      {"text:", "Text \"\"", ""},
      {"text:a:b", "Text \"a:b\"", ""},
      {"empty", "Empty", ""},
      {"null", "Null", ""},
      {"true", "Bool True", ""},
      {"abc", "", "write a number, text:abc"},
      {"bool:1", "", "unknown kind 'bool'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    if (*row.shown) {
      EXPECT_EQ(Utf8(Describe(ParseValueOption("--reader", row.text))), row.shown);
    } else {
      try {
        ParseValueOption("--reader", row.text);
        ADD_FAILURE() << "accepted";
      } catch (const InputError& error) {
        EXPECT_THAT(error.what(), HasSubstr("--reader: "));
        EXPECT_THAT(error.what(), HasSubstr(row.error));
      }
    }
  }
}

TEST(FailureOption, KeepsNumberAndDescriptionWithinTheCodeRange) {
  const Failure failure = ParseFailureOption("--raise", "1234:Card jammed: twice");
  EXPECT_EQ(failure.Number(), 1234);
  EXPECT_EQ(failure.Description(), u"Card jammed: twice");
  EXPECT_EQ(ParseFailureOption("--raise", "7").Description(), u"");
  for (const char* bad : {"0:x", "65536:x", "x:1", ":x"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseFailureOption("--raise", bad), InputError);
  }
}

// One simulated host on its own, with its files in a fresh folder.
class SimHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("clasp-sim-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  HostObject Make(HostRole role) {
    world_ = std::make_unique<World>(scenario_, LogFiles(folder_.string(), *Clock::Fixed(kTime)));
    host_ = SimHost::Create(role, *world_);
    return HostObject(host_.Get());
  }
  std::string File(const char* name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  const Event& Last() const { return world_->events.back(); }
  MemberRef Ref(const char* name) const { return ParseMemberOption("test", name); }

  static constexpr const char* kTime = "2026-01-01 09:00:00";
  std::filesystem::path folder_;
  Scenario scenario_;
  std::unique_ptr<World> world_;
  clasp::Ref<SimHost> host_;
};

TEST_F(SimHostTest, FindsMembersIgnoringCaseAndRecordsTheirOwnSpelling) {
  const HostObject reader = Make(HostRole::kMks);
  EXPECT_EQ(reader.Invoke(u"cardreaderRETAIN"), HostValue::I4(10120011));
  EXPECT_EQ(Last().member, "CardReaderRetain");
  EXPECT_EQ(Last().number, 1);
}

TEST_F(SimHostTest, MissingAndLeftOutMembersFailAsMissing) {
  scenario_.lacking.insert(Ref("StepRunModul.PackMessage"));
  const HostObject run = Make(HostRole::kRunModul);
  for (const char16_t* member : {u"PackMesage", u"PackMessage"}) {
    SCOPED_TRACE(Utf8(member));
    try {
      run.Invoke(member, HostValue::Text(u"OEX"));
      ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kMemberMissing);
    }
    EXPECT_TRUE(Last().missing);
  }
  // The other members are still there.
  EXPECT_EQ(run.Invoke(u"CommSign"), HostValue::I2(0));
}

TEST_F(SimHostTest, WrongArgumentsAndAssigningAMethodFailWith450) {
  const HostObject run = Make(HostRole::kRunModul);
  EXPECT_THROW(run.Invoke(u"PackMessage"), Failure);
  EXPECT_EQ(Last().failure->Number(), kWrongArgumentCount);
  EXPECT_THROW(run.Invoke(u"CommSign", HostValue::I2(1)), Failure);
  EXPECT_EQ(Last().failure->Number(), kWrongArgumentCount);
  EXPECT_THROW(run.Put(u"PackMessage", HostValue::I2(1)), Failure);
  EXPECT_EQ(Last().failure->Number(), kWrongArgumentCount);
}

TEST_F(SimHostTest, RaisesWhatTheScenarioSaysOnReadsPutsAndCalls) {
  scenario_.raises.insert_or_assign(Ref("StepRunModul.ExcepCode"), Failure(1234, u"boom"));
  scenario_.raises.insert_or_assign(Ref("StepRunModul.StepCommRead"), Failure(5, u"no line"));
  const HostObject run = Make(HostRole::kRunModul);
  try {
    run.Put(u"ExcepCode", HostValue::Text(u"1004"));
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), 1234);
    EXPECT_EQ(failure.Description(), u"boom");
  }
  EXPECT_THROW(run.Invoke(u"ExcepCode"), Failure);
  EXPECT_THROW(run.Invoke(u"StepCommRead", HostValue::I4(30), HostValue::Text(u""), HostValue::I4(1)),
               Failure);
  EXPECT_EQ(Last().failure->Description(), u"no line");
}

TEST_F(SimHostTest, PropertiesStartFromTheScenarioAndKeepWhatIsPut) {
  scenario_.answers[Ref("StepRunModul.TransAction1")] = HostValue::Text(u"0020");
  const HostObject run = Make(HostRole::kRunModul);
  EXPECT_EQ(run.Invoke(u"TransAction1"), HostValue::Text(u"0020"));
  run.Put(u"TransAction1", HostValue::Null());
  EXPECT_EQ(run.Invoke(u"TransAction1"), HostValue::Null());
  EXPECT_EQ(run.Invoke(u"ExcepCode"), HostValue::Empty());  // never set
}

TEST_F(SimHostTest, TraceWriterMapsTheTwoLogPathsToFilesWithTimeStamps) {
  const HostObject trac = Make(HostRole::kTrac);
  std::u16string line = u"Disp420: 0";
  trac.Invoke(u"TraceWrite", HostValue::Text(u"C:\\ORBIS\\qz\\log\\object.log"),
              HostValue::TextRef(line), HostValue::Text(u"Clench"));
  EXPECT_TRUE(Last().by_ref.at(1));
  std::u16string prompt = u"Card  retained";
  trac.Invoke(u"TraceWrite", HostValue::Text(u"c:\\orbis\\qz\\log\\PrintJournal.log"),
              HostValue::TextRef(prompt), HostValue::Text(u""));
  EXPECT_EQ(File("object.log"), "2026-01-01 09:00:00  [Clench] Disp420: 0\n");
  EXPECT_EQ(File("PrintJournal.log"), "2026-01-01 09:00:00  Card  retained\n");

  try {
    trac.Invoke(u"TraceWrite", HostValue::Text(u"d:\\other.log"), HostValue::TextRef(line),
                HostValue::Text(u""));
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), 76);
  }
  EXPECT_EQ(world_->files.Written().size(), 2u);
}

TEST_F(SimHostTest, JournalEntryHoldsThePropertiesPutBeforeIt) {
  scenario_.answers[Ref("StepJour.JournalWriteMsg")] = HostValue::I4(3);
  const HostObject jour = Make(HostRole::kJour);
  jour.Put(u"TimeSig", HostValue::I2(1));
  jour.Put(u"ChnPromptString", HostValue::Text(u"吞卡成功"));
  jour.Put(u"EngPromptString", HostValue::Text(u"Card  retained"));
  EXPECT_EQ(jour.Invoke(u"JournalWriteMsg"), HostValue::I4(3));
  EXPECT_EQ(File("journal.txt"),
            "2026-01-01 09:00:00  TimeSig 1  isjrn 1  吞卡成功 | Card  retained\n");
}

TEST_F(SimHostTest, PackedMessageIsWhatTheModuleSendsUnlessPackingFails) {
  const HostObject run = Make(HostRole::kRunModul);
  run.Put(u"ExcepCode", HostValue::Text(u"1004"));
  run.Put(u"TransAction1", HostValue::Text(u"0010"));
  EXPECT_EQ(run.Invoke(u"PackMessage", HostValue::Text(u"OEX")), HostValue::I4(0));
  const HostValue message = run.Invoke(u"SendMessage");
  EXPECT_EQ(message, HostValue::Text(u"OEX|EXCEP=1004|STATUS=0010"));
  EXPECT_EQ(run.Invoke(u"SendMessageLen"),
            HostValue::I4(static_cast<std::int32_t>(message.AsText().size())));
  EXPECT_EQ(run.Invoke(u"StepCommRead", HostValue::I4(30), HostValue::Text(u""), HostValue::I4(256)),
            HostValue::I4(0));
  EXPECT_EQ(run.Invoke(u"RecieveMessage"), HostValue::Text(u"OEX|00|ACCEPTED"));
}

TEST_F(SimHostTest, RefusedPackingLeavesNothingToSend) {
  scenario_.answers[Ref("StepRunModul.PackMessage")] = HostValue::I4(3);
  const HostObject run = Make(HostRole::kRunModul);
  EXPECT_EQ(run.Invoke(u"PackMessage", HostValue::Text(u"OEX")), HostValue::I4(3));
  EXPECT_EQ(run.Invoke(u"SendMessage"), HostValue::Text(u""));
}

TEST_F(SimHostTest, DetailRecordGoesToItsFileWithTheFlagPassed) {
  const HostObject run = Make(HostRole::kRunModul);
  std::u16string flag = u"2";
  run.Invoke(u"WriteDetailFileName", HostValue::Text(u"CRD"), HostValue::Text(u"0"),
             HostValue::Text(u"0"), HostValue::TextRef(flag));
  EXPECT_EQ(File("detail.txt"),
            "2026-01-01 09:00:00  CRD 0 0 flag 2  status \"0000\"  exception not set\n");
}

}  // namespace
}  // namespace clasp::sim
