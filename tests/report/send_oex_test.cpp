#include "report/send_oex.h"

#include <gtest/gtest.h>

#include <functional>

#include "host/failure.h"
#include "support/expected.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using namespace clasp::testing;

// The member part of each logged access ("ControlNum", "TraceWrite", ...).
Lines Members(const AccessLog& log) {
  Lines members;
  for (const auto& line : log.Lines()) {
    const auto dot = line.find('.');
    const auto end = line.find_first_of("( ", dot);
    members.push_back(line.substr(dot + 1, end - dot - 1));
  }
  return members;
}

const Lines kUpToPack = {"ControlNum", "WriteDetailFileName", "PackMessage"};
const Lines kSendWrite = {"IsWriteOnly", "SendMessage", "SendMessageLen", "StepCommWrite"};
const Lines kRead = {"TimeOutComm", "RecieveMessage", "RecieveMessageLen", "StepCommRead"};

struct Gate {
  const char* name;
  std::function<void(RecordingHost&)> setup;
  Lines members;
  std::int32_t result;
};

TEST(SendOex, GatesDecideWhatIsCalledNext) {
  const Lines no_read_tail = {"IsUnPackOex", "TraceWrite"};
  const Gate gates[] = {
      {"all zero", [](RecordingHost&) {},
       Concat({kUpToPack, {"CommSign"}, kSendWrite, no_read_tail}), 0},
      {"pack fails", [](RecordingHost& r) { r.Returns(u"PackMessage", HostValue::I4(3)); },
       kUpToPack, kFailure},
      {"pack -1 fails", [](RecordingHost& r) { r.Returns(u"PackMessage", HostValue::I4(-1)); },
       kUpToPack, kFailure},
      {"comm sign 1", [](RecordingHost& r) { r.Returns(u"CommSign", HostValue::I2(1)); },
       Concat({kUpToPack, {"CommSign"}}), kFailure},
      {"comm sign -1", [](RecordingHost& r) { r.Returns(u"CommSign", HostValue::I2(-1)); },
       Concat({kUpToPack, {"CommSign"}}), kFailure},
      {"comm sign empty text fails",
       [](RecordingHost& r) { r.Returns(u"CommSign", HostValue::Text(u"")); },
       Concat({kUpToPack, {"CommSign"}}), kFailure},
      {"write only 1", [](RecordingHost& r) { r.Returns(u"IsWriteOnly", HostValue::I2(1)); },
       Concat({kUpToPack,
               {"CommSign", "IsWriteOnly", "SendMessage", "SendMessageLen",
                "StepCommWriteOnly"},
               no_read_tail}),
       0},
      {"write only -1", [](RecordingHost& r) { r.Returns(u"IsWriteOnly", HostValue::I2(-1)); },
       Concat({kUpToPack, {"CommSign"}, kSendWrite, no_read_tail}), 0},
      {"write only text 0.5",
       [](RecordingHost& r) { r.Returns(u"IsWriteOnly", HostValue::Text(u"0.5")); },
       Concat({kUpToPack,
               {"CommSign", "IsWriteOnly", "SendMessage", "SendMessageLen",
                "StepCommWriteOnly"},
               no_read_tail}),
       0},
      {"send fails", [](RecordingHost& r) { r.Returns(u"StepCommWrite", HostValue::I4(9)); },
       Concat({kUpToPack, {"CommSign"}, kSendWrite}), kFailure},
      {"send -9 fails", [](RecordingHost& r) { r.Returns(u"StepCommWrite", HostValue::I4(-9)); },
       Concat({kUpToPack, {"CommSign"}, kSendWrite}), kFailure},
      {"unpack wanted",
       [](RecordingHost& r) { r.Returns(u"IsUnPackOex", HostValue::I2(1)); },
       Concat({kUpToPack, {"CommSign"}, kSendWrite, {"IsUnPackOex"}, kRead,
               {"UnpackMessage", "TraceWrite"}}),
       0},
      {"unpack 2", [](RecordingHost& r) { r.Returns(u"IsUnPackOex", HostValue::I2(2)); },
       Concat({kUpToPack, {"CommSign"}, kSendWrite, no_read_tail}), 0},
      {"read fails quietly",
       [](RecordingHost& r) {
         r.Returns(u"IsUnPackOex", HostValue::Text(u"1"));
         r.Returns(u"StepCommRead", HostValue::I4(-4));
       },
       Concat({kUpToPack, {"CommSign"}, kSendWrite, {"IsUnPackOex"}, kRead, {"TraceWrite"}}),
       0},
      {"read answers 4: nothing to unpack",
       [](RecordingHost& r) {
         r.Returns(u"IsUnPackOex", HostValue::I2(1));
         r.Returns(u"StepCommRead", HostValue::I4(4));
       },
       Concat({kUpToPack, {"CommSign"}, kSendWrite, {"IsUnPackOex"}, kRead, {"TraceWrite"}}),
       0},
      {"control num abc",
       [](RecordingHost& r) { r.Returns(u"ControlNum", HostValue::Text(u"abc")); },
       {"ControlNum"}, kFailure},
      {"detail answer not a number",
       [](RecordingHost& r) { r.Returns(u"WriteDetailFileName", HostValue::Text(u"?")); },
       {"ControlNum", "WriteDetailFileName"}, kFailure},
      {"detail answer non-zero goes on",
       [](RecordingHost& r) { r.Returns(u"WriteDetailFileName", HostValue::I4(1)); },
       Concat({kUpToPack, {"CommSign"}, kSendWrite, no_read_tail}), 0},
      {"module lacks a member", [](RecordingHost& r) { r.Lacks(u"SendMessageLen"); },
       Concat({kUpToPack, {"CommSign", "IsWriteOnly", "SendMessage", "SendMessageLen"}}),
       kFailure},
  };
  for (const auto& gate : gates) {
    SCOPED_TRACE(gate.name);
    HostSet hosts;
    gate.setup(*hosts.run);
    EXPECT_EQ(SendOex(hosts.run->Object(), hosts.trac->Object(), Conversions(), u"吞卡成功"),
              gate.result);
    EXPECT_EQ(Members(*hosts.log), gate.members);
  }
}

TEST(SendOex, DetailFlagFollowsControlNum) {
  const struct {
    HostValue control_num;
    const char* flag;
  } cases[] = {{HostValue::I2(6), "2"},         {HostValue::Text(u"6"), "2"},
               {HostValue::R8(6.0), "2"},       {HostValue::I4(5), "1"},
               {HostValue::I4(7), "1"},
               {HostValue::Empty(), "1"},       {HostValue::Null(), "1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.control_num));
    HostSet hosts;
    hosts.run->Returns(u"ControlNum", c.control_num);
    SendOex(hosts.run->Object(), hosts.trac->Object(), Conversions(), u"x");
    EXPECT_EQ(hosts.log->Lines()[1],
              std::string("StepRunModul.WriteDetailFileName(Text \"CRD\", Text \"0\", "
                          "Text \"0\", &Text \"") +
                  c.flag + "\") -> Empty");
  }
}

TEST(SendOex, FullExchangeHandsTheModulesValuesOnUnchanged) {
  HostSet hosts;
  RecordingHost& run = *hosts.run;
  run.Returns(u"IsUnPackOex", HostValue::I2(1))
      .Returns(u"SendMessage", HostValue::Text(u"MSG"))
      .Returns(u"SendMessageLen", HostValue::R8(3.0))
      .Returns(u"TimeOutComm", HostValue::Integer(Kind::kCurrency, 300000))
      .Returns(u"RecieveMessage", HostValue::Null())
      .Returns(u"RecieveMessageLen", HostValue::Bool(false));
  EXPECT_EQ(SendOex(run.Object(), hosts.trac->Object(), Conversions(), u"吞卡时设备错"), 0);
  EXPECT_EQ(hosts.log->Lines(),
            (Lines{"StepRunModul.ControlNum() -> Empty",
                   "StepRunModul.WriteDetailFileName(Text \"CRD\", Text \"0\", Text \"0\", "
                   "&Text \"1\") -> Empty",
                   "StepRunModul.PackMessage(Text \"OEX\") -> Empty",
                   "StepRunModul.CommSign() -> Empty",
                   "StepRunModul.IsWriteOnly() -> Empty",
                   "StepRunModul.SendMessage() -> Text \"MSG\"",
                   "StepRunModul.SendMessageLen() -> R8 3",
                   "StepRunModul.StepCommWrite(Text \"MSG\", R8 3) -> Empty",
                   "StepRunModul.IsUnPackOex() -> I2 1",
                   "StepRunModul.TimeOutComm() -> Currency 30.0000",
                   "StepRunModul.RecieveMessage() -> Null",
                   "StepRunModul.RecieveMessageLen() -> Bool False",
                   "StepRunModul.StepCommRead(Currency 30.0000, Null, Bool False) -> Empty",
                   "StepRunModul.UnpackMessage(Text \"OEX\") -> Empty",
                   ObjectLogLine("WD 吞卡时设备错")}));
}

TEST(SendOex, ModuleRewritingTheDetailFlagChangesNothingElse) {
  HostSet hosts;
  hosts.run->Calls(u"WriteDetailFileName", [](std::span<const HostValue> args) {
    args[3].RefTarget() = u"9";
    return HostValue::I4(0);
  });
  EXPECT_EQ(SendOex(hosts.run->Object(), hosts.trac->Object(), Conversions(), u""), 0);
  EXPECT_EQ(hosts.log->Lines().back(), ObjectLogLine("WD "));
  EXPECT_EQ(hosts.log->Lines().size(), 10u);
}

TEST(SendOex, NoFailureEverLeaves) {
  HostSet hosts;
  // Unset module: ends at once, nothing reaches the trace writer.
  EXPECT_EQ(SendOex(HostObject(), hosts.trac->Object(), Conversions(), u"x"), kFailure);
  EXPECT_TRUE(hosts.log->Lines().empty());
  // Trace writer failing after the send: the message went, the result is a failure.
  hosts.trac->Raises(u"TraceWrite", Failure(5, u"disk"));
  EXPECT_EQ(SendOex(hosts.run->Object(), hosts.trac->Object(), Conversions(), u"x"), kFailure);
  EXPECT_EQ(Members(*hosts.log).back(), "TraceWrite");
  EXPECT_EQ(SendOex(hosts.run->Object(), HostObject(), Conversions(), u"x"), kFailure);
}

}  // namespace
}  // namespace clasp
