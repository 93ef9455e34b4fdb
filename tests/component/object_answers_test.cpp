// Cols against hosts whose answers are objects with a default member, as hosts
// written in a script language often hand them back.
#include <gtest/gtest.h>

#include <string>

#include "component/holdfast.h"
#include "component/inspect.h"
#include "host/failure.h"
#include "report/send_oex.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using namespace clasp::testing;

struct ObjectAnswers : ::testing::Test {
  HostSet hosts;
  Ref<Holdfast> holdfast = Holdfast::Create();
  Ref<RecordingHost> answer = RecordingHost::Create("Answer", hosts.log);

  ObjectAnswers() {
    hosts.GiveTo(*holdfast);
    hosts.run->Put(u"TransAction1", HostValue::Text(u"0000"));
    hosts.disp->Returns(u"ScreenDisplay", HostValue::I4(0));
    hosts.mks->Returns(u"CardReaderRetain", HostValue::Object(answer->Object()));
  }
  std::size_t Count(const std::string& line) const {
    std::size_t n = 0;
    for (const std::string& logged : hosts.log->Lines()) n += logged == line;
    return n;
  }
};

TEST_F(ObjectAnswers, AReaderAnsweringAnObjectCapturesThroughItsDefaultMember) {
  answer->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::I4(kRetained));
  EXPECT_EQ(holdfast->Cols(), kRetained);
  EXPECT_EQ(Count("Answer.[default] -> I4 10120011"), 1u);
  EXPECT_EQ(Count("StepRunModul.TransAction1 = Text \"0010\""), 1u);
}

TEST_F(ObjectAnswers, AReaderObjectWithoutADefaultMemberTakesTheFailurePathWithATypeMismatch) {
  // The component's failure trace line: ret code, number and description.
  std::u16string last_trace;
  hosts.trac->Calls(u"TraceWrite", [&](std::span<const HostValue> args) {
    if (args.size() == 3) last_trace = args[1].AsText();
    return HostValue::I4(0);
  });
  EXPECT_EQ(holdfast->Cols(), kFailure);
  EXPECT_EQ(Count("Answer.[default] !! 438 Object doesn't support this property or method"), 1u);
  EXPECT_EQ(last_trace, u"013Type mismatch");
}

TEST_F(ObjectAnswers, ADisplayAnsweringAnObjectIsReadForTheScreenTraceLine) {
  answer->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::Text(u" 421 "));
  hosts.disp->Returns(u"ScreenNo", HostValue::Object(answer->Object()));
  hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(0));
  EXPECT_EQ(holdfast->Cols(), kNotRetained);
  EXPECT_EQ(FieldsOf(*holdfast).TraceText, u"Disp421: 0");
}

}  // namespace
}  // namespace clasp
