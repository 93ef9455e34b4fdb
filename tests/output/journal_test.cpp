#include "output/journal.h"

#include <gtest/gtest.h>

#include "host/failure.h"
#include "support/expected.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using namespace clasp::testing;

struct Journal : ::testing::Test {
  HostSet hosts;
  HostObject trac = hosts.trac->Object();
  HostObject jour = hosts.jour->Object();
  HostObject run = hosts.run->Object();
  TextBuffer buffer;
  std::int32_t Write(std::int16_t& time_sig, const std::u16string& chn = u"中",
                     const std::u16string& eng = u"E") {
    return WriteJournal({trac, jour, run}, Conversions(), buffer, chn, eng, time_sig);
  }
};

TEST_F(Journal, StandardEntryLogsTheEnglishPromptAndResetsIsjrn) {
  hosts.run->Returns(u"IsJRNDevice", HostValue::I2(1));
  std::int16_t time_sig = 1;
  Write(time_sig, u"吞卡成功", u"Card  retained");
  EXPECT_EQ(time_sig, 1);
  EXPECT_EQ(hosts.log->Lines(), JournalLines("吞卡成功", "Card  retained", "I2 1"));
}

TEST_F(Journal, ElevenSkipsThePrintLogAndIsWrittenAsOneWithIsjrnZero) {
  std::int16_t time_sig = kTimeSigWithoutPrintLog;
  Write(time_sig);
  EXPECT_EQ(time_sig, 1);
  EXPECT_EQ(hosts.log->Lines(),
            (Lines{"StepJour.isjrn = I2 0", "StepJour.TimeSig = I2 1",
                   "StepJour.ChnPromptString = Text \"中\"",
                   "StepJour.EngPromptString = Text \"E\"", "StepJour.JournalWriteMsg() -> Empty",
                   "StepRunModul.IsJRNDevice() -> Empty", "StepJour.isjrn = Empty"}));
}

TEST_F(Journal, OtherTimeSigValuesPassUnchanged) {
  for (const std::int16_t value : {0, 2, 12, -1}) {
    SCOPED_TRACE(value);
    hosts.log->Clear();
    std::int16_t time_sig = value;
    Write(time_sig);
    EXPECT_EQ(time_sig, value);
    ASSERT_GE(hosts.log->Lines().size(), 2u);
    EXPECT_EQ(hosts.log->Lines()[0], PrintLogLine("E"));
    EXPECT_EQ(hosts.log->Lines()[1], "StepJour.TimeSig = I2 " + std::to_string(value));
  }
}

TEST_F(Journal, IsjrnReceivesTheDeviceAnswerOfAnyKindUnchanged) {
  for (const HostValue& answer : {HostValue::Bool(true), HostValue::Text(u"yes"),
                                  HostValue::R8(1.5), HostValue::Null()}) {
    SCOPED_TRACE(Show(answer));
    hosts.run->Returns(u"IsJRNDevice", answer);
    std::int16_t time_sig = 1;
    Write(time_sig);
    EXPECT_EQ(hosts.jour->Property(u"isjrn"), answer);
  }
}

TEST_F(Journal, ResultIsTheConvertedEntryAnswer) {
  std::int16_t time_sig = 1;
  EXPECT_EQ(Write(time_sig), 0);
  hosts.jour->Returns(u"JournalWriteMsg", HostValue::I4(3));
  EXPECT_EQ(Write(time_sig), 3);
}

TEST_F(Journal, FailuresPassUpWithEarlierEffectsKept) {
  // An entry answer that is not a number fails after the entry was requested
  // and before isjrn is set again.
  hosts.jour->Returns(u"JournalWriteMsg", HostValue::Text(u"x"));
  std::int16_t time_sig = kTimeSigWithoutPrintLog;
  EXPECT_THROW(Write(time_sig), Failure);
  EXPECT_EQ(time_sig, 1);
  EXPECT_EQ(hosts.log->Lines().back(), "StepJour.JournalWriteMsg() -> Text \"x\"");
  EXPECT_EQ(hosts.jour->Property(u"isjrn"), HostValue::I2(0));
}

TEST(JournalUnset, EachMissingHostFailsAtItsFirstUse) {
  HostSet hosts;
  const HostObject none;
  TextBuffer buffer;
  std::int16_t time_sig = 1;
  // No trace writer: fails before the journal is touched.
  EXPECT_THROW(WriteJournal({none, hosts.jour->Object(), hosts.run->Object()}, Conversions(),
                            buffer, u"c", u"e", time_sig),
               Failure);
  EXPECT_TRUE(hosts.log->Lines().empty());
  // No journal: the print-journal line is already written.
  EXPECT_THROW(WriteJournal({hosts.trac->Object(), none, hosts.run->Object()}, Conversions(),
                            buffer, u"c", u"e", time_sig),
               Failure);
  EXPECT_EQ(hosts.log->Lines(), (Lines{PrintLogLine("e")}));
  // No run-time module: the entry is requested, then isjrn cannot be read.
  hosts.log->Clear();
  EXPECT_THROW(WriteJournal({hosts.trac->Object(), hosts.jour->Object(), none}, Conversions(),
                            buffer, u"c", u"e", time_sig),
               Failure);
  EXPECT_EQ(hosts.log->Lines().back(), "StepJour.JournalWriteMsg() -> Empty");
}

}  // namespace
}  // namespace clasp
