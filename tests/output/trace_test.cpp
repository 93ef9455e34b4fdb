#include "output/trace.h"

#include <gtest/gtest.h>

#include "host/failure.h"
#include "support/expected.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using namespace clasp::testing;

TEST(Trace, BothLogsPassPathTextByReferenceAndSource) {
  HostSet hosts;
  TextBuffer buffer;
  const HostObject trac = hosts.trac->Object();
  WriteObjectLog(trac, Conversions(), buffer, {u"Disp420: 0"});
  WritePrintLog(trac, Conversions(), buffer, {u"Card  retained"});
  WriteObjectLog(trac, Conversions(), buffer, {u""});
  WriteObjectLog(trac, Conversions(), buffer, {u""});  // repeated lines are not merged
  EXPECT_EQ(hosts.log->Lines(), (Lines{ObjectLogLine("Disp420: 0"),
                                       PrintLogLine("Card  retained"), ObjectLogLine(""),
                                       ObjectLogLine("")}));
}

TEST(Trace, AnswerIsConvertedAfterTheLineWasHandedOver) {
  const struct {
    const char* name;
    HostValue answer;
    std::int32_t expected;
    bool fails;
  } cases[] = {
      {"empty", HostValue::Empty(), 0, false},
      {"five", HostValue::I4(5), 5, false},
      {"numeric text", HostValue::Text(u"7"), 7, false},
      {"not a number", HostValue::Text(u"x"), 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HostSet hosts;
    TextBuffer buffer;
    hosts.trac->Returns(u"TraceWrite", c.answer);
    if (c.fails) {
      EXPECT_THROW(WritePrintLog(hosts.trac->Object(), Conversions(), buffer, {u"line"}), Failure);
    } else {
      EXPECT_EQ(WritePrintLog(hosts.trac->Object(), Conversions(), buffer, {u"line"}), c.expected);
    }
    EXPECT_EQ(hosts.log->Lines().size(), 1u) << "the line is written either way";
  }
}

TEST(Trace, WriterChangingTheTextLeavesTheCallersTextAlone) {
  HostSet hosts;
  hosts.trac->Calls(u"TraceWrite", [](std::span<const HostValue> args) {
    args[1].RefTarget() = u"rewritten";
    return HostValue();
  });
  const std::u16string line = u"mine";
  TextBuffer buffer;
  WriteObjectLog(hosts.trac->Object(), Conversions(), buffer, {line});
  EXPECT_EQ(line, u"mine");
}

TEST(Trace, UnsetWriterFailsBeforeAnythingIsWritten) {
  TextBuffer buffer;
  try {
    WriteObjectLog(HostObject(), Conversions(), buffer, {u"x"});
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.Number(), kObjectNotSet);
  }
}

}  // namespace
}  // namespace clasp
