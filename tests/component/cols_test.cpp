// Whole-sequence tests of Cols: every host access, in order, with value kinds.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <new>
#include <stdexcept>

#include "component/holdfast.h"
#include "component/nesting.h"
#include "component/inspect.h"
#include "host/failure.h"
#include "report/send_oex.h"
#include "support/expected.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using namespace clasp::testing;

const std::string kBlankDisplay[] = {
    "StepDisp.DisapleVal01 = Text \"\"", "StepDisp.DisapleVal02 = Text \"\"",
    "StepDisp.DisapleVal03 = Text \"\"", "StepDisp.DisapleVal04 = Text \"\""};

// The display part of every call with the default screen and a display answer.
Lines DisplayLines(const std::string& answer, const std::string& ret_code) {
  Lines lines = {"StepDisp.ScreenNo = I2 420", "StepDisp.ScreenDisplay() -> " + answer,
                 "StepDisp.ScreenNo() -> I2 420", ObjectLogLine("Disp420: " + ret_code)};
  lines.insert(lines.end(), std::begin(kBlankDisplay), std::end(kBlankDisplay));
  return lines;
}

// The exchange with every gate open and no read wanted.
Lines ReportLines(const std::string& report_text) {
  return {"StepRunModul.ControlNum() -> Empty",
          "StepRunModul.WriteDetailFileName(Text \"CRD\", Text \"0\", Text \"0\", &Text \"1\") "
          "-> Empty",
          "StepRunModul.PackMessage(Text \"OEX\") -> Empty",
          "StepRunModul.CommSign() -> Empty",
          "StepRunModul.IsWriteOnly() -> Empty",
          "StepRunModul.SendMessage() -> Empty",
          "StepRunModul.SendMessageLen() -> Empty",
          "StepRunModul.StepCommWrite(Empty, Empty) -> Empty",
          "StepRunModul.IsUnPackOex() -> Empty",
          ObjectLogLine("WD " + report_text)};
}

// Two reads of the status, then the rewritten status.
Lines StatusLines(const std::string& before, const std::string& after) {
  return {"StepRunModul.TransAction1() -> Text \"" + before + "\"",
          "StepRunModul.TransAction1() -> Text \"" + before + "\"",
          "StepRunModul.TransAction1 = Text \"" + after + "\""};
}

struct Cols : ::testing::Test {
  HostSet hosts;
  Ref<Holdfast> holdfast = Holdfast::Create();

  Cols() {
    hosts.GiveTo(*holdfast);
  }
  void Status(const std::u16string& status) {
    hosts.run->Put(u"TransAction1", HostValue::Text(status));
    hosts.log->Clear();
  }
  void Reader(HostValue answer) { hosts.mks->Returns(u"CardReaderRetain", std::move(answer)); }
  const Lines& Log() const { return hosts.log->Lines(); }
};

TEST_F(Cols, CardNotRetained) {
  Status(u"0000");
  hosts.disp->Returns(u"ScreenDisplay", HostValue::I4(0));
  Reader(HostValue::I4(0));
  EXPECT_EQ(holdfast->Cols(), kNotRetained);
  EXPECT_EQ(Log(), Concat({DisplayLines("I4 0", "0"),
                           {"StepMks.CardReaderRetain() -> I4 0",
                            ObjectLogLine("CardReaderRetain:0")},
                           JournalLines("未吞卡", "Take  Card"),
                           StatusLines("0000", "0000")}));
  EXPECT_EQ(FieldsOf(*holdfast).TraceText, u"Disp420: 0");
}

TEST_F(Cols, CardRetained) {
  Status(u"0000");
  Reader(HostValue::I4(kRetained));
  hosts.run->Returns(u"IsJRNDevice", HostValue::I2(1));
  EXPECT_EQ(holdfast->Cols(), kRetained);
  EXPECT_EQ(Log(), Concat({DisplayLines("Empty", "0"),
                           {"StepMks.CardReaderRetain() -> I4 10120011",
                            ObjectLogLine("CardReaderRetain:10120011")},
                           StatusLines("0000", "0010"),
                           {"StepRunModul.RecordMessage(Text \"CIN\", I2 5) -> Empty"},
                           JournalLines("吞卡成功", "Card  retained", "I2 1"),
                           {"StepRunModul.ExcepCode = Text \"1004\""},
                           ReportLines("吞卡成功")}));
}

TEST_F(Cols, DeviceFaultKeepsAnEarlierFaultCode) {
  Status(u"0020");
  Reader(HostValue::I4(7));
  EXPECT_EQ(holdfast->Cols(), 7);
  EXPECT_EQ(Log(), Concat({DisplayLines("Empty", "0"),
                           {"StepMks.CardReaderRetain() -> I4 7",
                            ObjectLogLine("CardReaderRetain:7"),
                            "StepRunModul.TransAction1() -> Text \"0020\""},
                           StatusLines("0020", "0020"),
                           JournalLines("吞卡时设备错", "RetractCard Dev Err"),
                           {"StepRunModul.ExcepCode = Text \"1002\""},
                           ReportLines("吞卡时设备错")}));
}

TEST_F(Cols, DeviceFaultOtherwiseSetsThree) {
  Status(u"00X0");
  Reader(HostValue::Text(u"-5"));
  EXPECT_EQ(holdfast->Cols(), -5);
  EXPECT_EQ(Log(), Concat({DisplayLines("Empty", "0"),
                           {"StepMks.CardReaderRetain() -> Text \"-5\"",
                            ObjectLogLine("CardReaderRetain:-5"),
                            "StepRunModul.TransAction1() -> Text \"00X0\""},
                           StatusLines("00X0", "0030"),
                           JournalLines("吞卡时设备错", "RetractCard Dev Err"),
                           {"StepRunModul.ExcepCode = Text \"1002\""},
                           ReportLines("吞卡时设备错")}));
}

TEST_F(Cols, DisplayFailureBlanksTheValuesAndStops) {
  // Any answer but 0 is a display failure, a negative one too.
  for (const std::int32_t answer : {5, -1, std::numeric_limits<std::int32_t>::min()}) {
    const std::string text = std::to_string(answer);
    SCOPED_TRACE(text);
    hosts.log->Clear();
    hosts.disp->Returns(u"ScreenDisplay", HostValue::I4(answer));
    EXPECT_EQ(holdfast->Cols(), kDisplayFailure);
    EXPECT_EQ(Log(), Concat({DisplayLines("I4 " + text, text),
                             JournalLines("回收卡出错,出错代码为:" + text, "ClaspErr:" + text)}));
    EXPECT_EQ(FieldsOf(*holdfast).RetCode, answer);
  }
}

TEST_F(Cols, ReaderAnswerDecidesTheOutcome) {
  // The capture code and 0 are the only answers that are not faults: the
  // answers right beside them and the negative ones are device faults.
  const struct {
    std::int32_t answer;
    const char16_t* status;
    const char16_t* eng_prompt;
    const char16_t* excep_code;  // null: not set (so the row comes first)
  } cases[] = {
      {0, u"0000", u"Take  Card", nullptr},
      {kRetained, u"0010", u"Card  retained", u"1004"},
      {kRetained + 1, u"0030", u"RetractCard Dev Err", u"1002"},
      {kRetained - 1, u"0030", u"RetractCard Dev Err", u"1002"},
      {1, u"0030", u"RetractCard Dev Err", u"1002"},
      {-1, u"0030", u"RetractCard Dev Err", u"1002"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    Status(u"0000");
    Reader(HostValue::I4(c.answer));
    EXPECT_EQ(holdfast->Cols(), c.answer);
    EXPECT_EQ(hosts.run->Property(u"TransAction1"), HostValue::Text(c.status));
    EXPECT_EQ(hosts.jour->Property(u"EngPromptString"), HostValue::Text(c.eng_prompt));
    if (c.excep_code) {
      EXPECT_EQ(hosts.run->Property(u"ExcepCode"), HostValue::Text(c.excep_code));
    } else {
      EXPECT_FALSE(hosts.run->Property(u"ExcepCode").has_value());
    }
  }
}

TEST_F(Cols, FailurePathTracesRetCodeNumberAndDescription) {
  hosts.disp->Returns(u"ScreenDisplay", HostValue::I4(0));
  hosts.mks->Raises(u"CardReaderRetain", Failure(1234, u"boom"));
  EXPECT_EQ(holdfast->Cols(), kFailure);
  EXPECT_EQ(Log(), Concat({DisplayLines("I4 0", "0"),
                           {"StepMks.CardReaderRetain() !! 1234 boom"},
                           JournalLines("回收卡出错,出错代码为:0", "ClaspErr:0"),
                           {ObjectLogLine("01234boom")}}));
}

TEST_F(Cols, FailuresOfOtherKindsStillReachTheFailurePath) {
  // A host double or an allocation may throw something that is no Failure;
  // the step still ends in its failure result with a number and a text.
  const struct {
    const char* name;
    std::function<void()> raise;
    const char* trace;
  } cases[] = {
      {"standard exception", [] { throw std::runtime_error("disk gone"); }, "051disk gone"},
      {"out of memory", [] { throw std::bad_alloc(); }, "07Out of memory"},
      {"anything else", [] { throw 5; }, "051Internal error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    hosts.mks->Calls(u"CardReaderRetain", [&c](std::span<const HostValue>) -> HostValue {
      c.raise();
      return {};
    });
    EXPECT_EQ(holdfast->Cols(), kFailure);
    EXPECT_EQ(Log().back(), ObjectLogLine(c.trace));
  }
}

TEST_F(Cols, ScreenNumberKinds) {
  const struct {
    const char16_t* screen;
    const char* put;
    const char* line;
  } cases[] = {{u"0", "StepDisp.ScreenNo = I2 420", "Disp420: 0"},
               {u"12", "StepDisp.ScreenNo = I4 12", "Disp12: 0"},
               {u"-3", "StepDisp.ScreenNo = I4 -3", "Disp-3: 0"},
               {u"12345678", "StepDisp.ScreenNo = I4 12345678", "Disp12345678: 0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.put);
    hosts.log->Clear();
    holdfast->ScreenNo(c.screen);
    holdfast->Cols();
    EXPECT_EQ(Log()[0], c.put);
    EXPECT_EQ(Log()[3], ObjectLogLine(c.line));
  }
}

TEST_F(Cols, ScreenReadBackIsTrimmedText) {
  hosts.disp->Returns(u"ScreenNo", HostValue::Text(u"  0420 "));
  holdfast->Cols();
  EXPECT_EQ(FieldsOf(*holdfast).TraceText, u"Disp0420: 0");
}

TEST_F(Cols, ReaderAnswerThatIsNotANumberKeepsTheDisplayResult) {
  Reader(HostValue::Text(u"jammed"));
  EXPECT_EQ(holdfast->Cols(), kFailure);
  EXPECT_EQ(Log().back(), ObjectLogLine("013Type mismatch"));
}

TEST_F(Cols, StatusRewriteKeepsOtherStepsCharacters) {
  const struct {
    const char16_t* before;
    const char16_t* after;
  } cases[] = {{u"ABCDEF", u"AB1DEF"}, {u"", u"1"}, {u"A", u"A1"},
               {u"AB", u"AB1"},        {u"ABC", u"AB1"}, {u"ABCD", u"AB1D"},
               {u"ABCDEFG", u"AB1DEFG"}};
  Reader(HostValue::I4(kRetained));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Show(HostValue::Text(c.before)));
    Status(c.before);
    holdfast->Cols();
    EXPECT_EQ(hosts.run->Property(u"TransAction1"), HostValue::Text(c.after));
  }
}

TEST_F(Cols, NullStatus) {
  hosts.run->Put(u"TransAction1", HostValue::Null());
  Reader(HostValue::I4(kRetained));
  EXPECT_EQ(holdfast->Cols(), kRetained);
  EXPECT_EQ(hosts.run->Property(u"TransAction1"), HostValue::Null());
  // A device fault must test the status character: null takes the failure path.
  Reader(HostValue::I4(7));
  EXPECT_EQ(holdfast->Cols(), kFailure);
  EXPECT_EQ(Log().back(), ObjectLogLine("794Invalid use of Null"));
  // Null at the first reading only: joined with null, the status goes back null.
  Status(u"0000");
  hosts.run->ReturnsInOrder(u"TransAction1", {HostValue::Null(), HostValue::Text(u"0000")});
  Reader(HostValue::I4(kRetained));
  EXPECT_EQ(holdfast->Cols(), kRetained);
  EXPECT_EQ(hosts.run->Property(u"TransAction1"), HostValue::Null());
}

TEST_F(Cols, EveryCallStartsWithAFreshDeviceResult) {
  hosts.disp->Returns(u"ScreenDisplay", HostValue::I4(5));
  EXPECT_EQ(holdfast->Cols(), kDisplayFailure);
  // The next call fails before the display answers: its audit record must not
  // carry the 5 of the call before.
  hosts.disp->Raises(u"ScreenNo", Failure(77, u"offline"));
  hosts.log->Clear();
  EXPECT_EQ(holdfast->Cols(), kFailure);
  EXPECT_EQ(Log(), Concat({{"StepDisp.ScreenNo = I2 420 !! 77 offline"},
                           JournalLines("回收卡出错,出错代码为:0", "ClaspErr:0"),
                           {ObjectLogLine("077offline")}}));
}

TEST_F(Cols, TraceWriterRewritingItsTextLeavesTraceTextAlone) {
  hosts.trac->Calls(u"TraceWrite", [](std::span<const HostValue> args) {
    args[1].RefTarget() = u"scribbled";
    return HostValue();
  });
  holdfast->Cols();
  EXPECT_EQ(FieldsOf(*holdfast).TraceText, u"Disp420: 0");
}

TEST_F(Cols, ATraceWriterCallingColsBackStillReadsItsOwnLine) {
  bool nested = false;
  std::u16string line_after;
  hosts.trac->Calls(u"TraceWrite", [&](std::span<const HostValue> args) {
    if (!nested) {
      nested = true;
      holdfast->Cols();
      line_after = args[1].AsText();
    }
    return HostValue();
  });
  holdfast->Cols();
  EXPECT_EQ(line_after, u"Disp420: 0");
}

// The journal writer of a failure calling Cols back while the outer failure's
// prompts and line are lent: the inner failure writes its whole entry from
// copies of its own, and the outer entry goes on unchanged.
TEST_F(Cols, AJournalWriterCallingColsBackOnTheFailureRoadGetsBothEntries) {
  hosts.disp->Returns(u"ScreenDisplay", HostValue::I4(5));
  bool nested = false;
  hosts.trac->Calls(u"TraceWrite", [&](std::span<const HostValue> args) {
    if (!nested && args[0].AsText().ends_with(u"PrintJournal.log")) {
      nested = true;
      EXPECT_EQ(holdfast->Cols(), kDisplayFailure);
    }
    return HostValue();
  });
  EXPECT_EQ(holdfast->Cols(), kDisplayFailure);
  // The outer entry's trace line comes first; the inner call runs inside it.
  const Lines journal = JournalLines("回收卡出错,出错代码为:5", "ClaspErr:5");
  EXPECT_EQ(Log(), Concat({DisplayLines("I4 5", "5"), {journal.front()}, DisplayLines("I4 5", "5"),
                           journal, Lines(journal.begin() + 1, journal.end())}));
}

// A reader calling Cols again from every Cols, and a display put that comes
// back as a display put: each level below the bound runs, the one past it
// fails with 28 and runs nothing.
TEST_F(Cols, NestingPastTheBoundFailsWithOutOfStackSpace) {
  int depth = 0;
  std::vector<int> refused;
  hosts.mks->Calls(u"CardReaderRetain", [&](std::span<const HostValue>) {
    ++depth;
    try {
      holdfast->Cols();
    } catch (const Failure& failure) {
      refused.push_back(failure.Number());
    }
    return HostValue::I4(kRetained);
  });
  EXPECT_EQ(holdfast->Cols(), kRetained);
  EXPECT_EQ(depth, kNestingLimit);
  EXPECT_EQ(refused, std::vector<int>{kOutOfStackSpace});

  depth = 0;
  hosts.disp->AnswersFrom([&](std::u16string_view, std::span<const HostValue> args, bool) {
    ++depth;
    holdfast->DisapleVal01(args[0]);
    return HostValue();
  });
  try {
    holdfast->DisapleVal01(HostValue::Text(u"x"));
    ADD_FAILURE() << "the put loop ended without a failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), kOutOfStackSpace);
  }
  EXPECT_EQ(depth, kNestingLimit);
}

TEST_F(Cols, RetainedAnswersThatDoNotConvertTakeTheFailurePath) {
  Reader(HostValue::I4(kRetained));
  hosts.run->Returns(u"RecordMessage", HostValue::Text(u"x"));
  EXPECT_EQ(holdfast->Cols(), kFailure);
  EXPECT_EQ(Log().back(), ObjectLogLine("1012001113Type mismatch"));
  EXPECT_FALSE(hosts.run->Property(u"ExcepCode").has_value());
}

TEST_F(Cols, ReportFailureDoesNotChangeTheResult) {
  Reader(HostValue::I4(kRetained));
  hosts.run->Returns(u"PackMessage", HostValue::I4(3));
  EXPECT_EQ(holdfast->Cols(), kRetained);
}

TEST(ColsUnset, DisplayOrReaderMissingEndsInTheFailureResult) {
  for (const char* unset : {"StepDisp", "StepMks"}) {
    SCOPED_TRACE(unset);
    HostSet hosts;
    auto holdfast = Holdfast::Create();
    if (std::string(unset) != "StepDisp") holdfast->StepDisp(hosts.disp->Object());
    if (std::string(unset) != "StepMks") holdfast->StepMks(hosts.mks->Object());
    holdfast->StepRunModul(hosts.run->Object());
    holdfast->StepTrac(hosts.trac->Object());
    holdfast->StepJour(hosts.jour->Object());
    EXPECT_EQ(holdfast->Cols(), kFailure);
    EXPECT_EQ(hosts.jour->Property(u"EngPromptString"), HostValue::Text(u"ClaspErr:0"));
    EXPECT_EQ(hosts.log->Lines().back(),
              ObjectLogLine("091Object variable or With block variable not set"));
  }
}

TEST(ColsUnset, TraceJournalOrModuleMissingFailsColsItself) {
  for (const char* unset : {"StepRunModul", "StepTrac", "StepJour"}) {
    SCOPED_TRACE(unset);
    HostSet hosts;
    auto holdfast = Holdfast::Create();
    holdfast->StepDisp(hosts.disp->Object());
    holdfast->StepMks(hosts.mks->Object());
    if (std::string(unset) != "StepRunModul") holdfast->StepRunModul(hosts.run->Object());
    if (std::string(unset) != "StepTrac") holdfast->StepTrac(hosts.trac->Object());
    if (std::string(unset) != "StepJour") holdfast->StepJour(hosts.jour->Object());
    try {
      holdfast->Cols();
      ADD_FAILURE() << "Cols succeeded";
    } catch (const Failure& f) {
      EXPECT_EQ(f.Number(), kObjectNotSet);
    }
    if (std::string(unset) == "StepRunModul") {
      // The failure entry still reached the journal before isjrn could not be read.
      EXPECT_EQ(hosts.log->Lines().back(), "StepJour.JournalWriteMsg() -> Empty");
      EXPECT_EQ(hosts.jour->Property(u"ChnPromptString"),
                HostValue::Text(u"回收卡出错,出错代码为:0"));
    }
  }
}

}  // namespace
}  // namespace clasp
