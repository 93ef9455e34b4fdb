#include "component/holdfast.h"
#include "component/inspect.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "host/convert.h"
#include "host/failure.h"
#include "report/send_oex.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using testing::HostSet;
using testing::RecordingHost;

TEST(Holdfast, AssigningCountsAndReleasesExactly) {
  HostSet hosts;
  {
    auto holdfast = Holdfast::Create();
    holdfast->StepDisp(hosts.disp->Object());
    holdfast->StepDisp(hosts.disp->Object());  // the same object twice
    EXPECT_EQ(hosts.disp->RefCount(), 2u);
    holdfast->StepMks(hosts.mks->Object());
    holdfast->StepTrac(hosts.mks->Object());  // one object in two fields
    EXPECT_EQ(hosts.mks->RefCount(), 3u);
    holdfast->StepTrac(hosts.trac->Object());  // replaced: old one loses a count
    EXPECT_EQ(hosts.mks->RefCount(), 2u);
    EXPECT_EQ(hosts.trac->RefCount(), 2u);
    holdfast->StepTrac(HostObject());  // emptied
    EXPECT_EQ(hosts.trac->RefCount(), 1u);
    holdfast->StepJour(hosts.mks->Object());
    holdfast->StepRunModul(hosts.run->Object());
    EXPECT_EQ(hosts.mks->RefCount(), 3u);
  }
  for (const RecordingHost* host : hosts.All()) {
    EXPECT_EQ(host->RefCount(), 1u);
  }
  EXPECT_TRUE(hosts.log->Lines().empty()) << "assignment must call nothing";
}

TEST(Holdfast, DisplayValuesGoStraightToTheDisplay) {
  HostSet hosts;
  auto holdfast = Holdfast::Create();
  EXPECT_THROW(holdfast->DisapleVal01(HostValue::Text(u"x")), Failure);
  holdfast->StepDisp(hosts.disp->Object());
  holdfast->DisapleVal03(HostValue::Text(u"x"));
  holdfast->DisapleVal01(HostValue::R8(2.5));
  holdfast->DisapleVal02(HostValue::Empty());
  holdfast->DisapleVal04(HostValue::Null());
  EXPECT_EQ(hosts.log->Lines(),
            (std::vector<std::string>{"StepDisp.DisapleVal03 = Text \"x\"",
                                      "StepDisp.DisapleVal01 = R8 2.5",
                                      "StepDisp.DisapleVal02 = Empty",
                                      "StepDisp.DisapleVal04 = Null"}));
  hosts.disp->Raises(u"DisapleVal02", Failure(77, u"no"));
  try {
    holdfast->DisapleVal02(HostValue::I2(1));
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.Number(), 77);
  }
  holdfast->StepDisp(HostObject());
  EXPECT_EQ(hosts.disp->RefCount(), 1u);
  EXPECT_THROW(holdfast->DisapleVal01(HostValue::Empty()), Failure);
}

TEST(Holdfast, ScreenNoConvertsAndKeepsThePreviousNumberOnFailure) {
  auto holdfast = Holdfast::Create();
  const struct {
    const char16_t* text;
    std::int32_t expected_after;  // previous value kept on failure
    bool fails;
  } steps[] = {
      {u"12", 12, false},   {u"", 12, true},        {u"abc", 12, true},
      {u"2.5", 2, false},   {u"3.5", 4, false},     {u"2147483648", 4, true},
      {u" 7 ", 7, false},   {u"0", 0, false},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Show(HostValue::Text(s.text)));
    if (s.fails) {
      EXPECT_THROW(holdfast->ScreenNo(s.text), Failure);
    } else {
      holdfast->ScreenNo(s.text);
    }
    EXPECT_EQ(FieldsOf(*holdfast).ScreenNoValue, s.expected_after);
  }
}

TEST(Holdfast, OutlivesAHostThatDropsItDuringAMember) {
  HostSet hosts;
  Ref<Holdfast> only = Holdfast::Create();
  Holdfast* raw = only.Get();
  hosts.GiveTo(*raw);
  // The display drops the host's only reference to the component mid-call.
  hosts.disp->Calls(u"ScreenDisplay", [&only](std::span<const HostValue>) {
    only.Reset();
    return HostValue::I4(0);
  });
  EXPECT_EQ(raw->Cols(), kNotRetained);
  EXPECT_FALSE(only);
  // Cols finished on a live instance, then the instance released every host.
  for (const RecordingHost* host : hosts.All()) {
    EXPECT_EQ(host->RefCount(), 1u);
  }
}

// A value the core carries unread; only the test's platform reads the value
// it wraps.
class Wrapped final : public OpaqueValue {
 public:
  explicit Wrapped(HostValue value) : value(std::move(value)) {}
  std::u16string Describe() const override { return clasp::Describe(value); }
  const HostValue value;
};

HostValue Wrap(HostValue value) {
  return HostValue::Opaque(Kind::kUnknown, std::make_shared<Wrapped>(std::move(value)));
}

class UnwrappingPlatform final : public PlatformConversions {
 public:
  std::int32_t ToInt32(const HostValue& value) const override {
    return clasp::ToInt32(Inner(value));
  }
  std::u16string ToText(const HostValue& value) const override {
    return clasp::ToText(Inner(value));
  }
  int CompareWith(const HostValue& value, std::int32_t constant) const override {
    return clasp::CompareWith(Inner(value), constant).value();
  }

 private:
  static const HostValue& Inner(const HostValue& value) {
    return dynamic_cast<const Wrapped&>(*value.AsOpaque()).value;
  }
};

// Every answer a step reads, the report's and the trace writer's included,
// goes through the conversions the instance was made with. Here only those can
// read them: an answer read by any other rules would fail the step, or end the
// report before its trace line.
TEST(Holdfast, ReadsEveryAnswerWithTheConversionsItWasMadeWith) {
  HostSet hosts;
  hosts.disp->Returns(u"ScreenDisplay", Wrap(HostValue::I4(0)));
  hosts.disp->Returns(u"ScreenNo", Wrap(HostValue::I2(420)));
  hosts.mks->Returns(u"CardReaderRetain", Wrap(HostValue::I4(kRetained)));
  hosts.trac->Returns(u"TraceWrite", Wrap(HostValue::I4(0)));
  hosts.jour->Returns(u"JournalWriteMsg", Wrap(HostValue::I4(0)));
  hosts.run->Returns(u"TransAction1", Wrap(HostValue::Text(u"0000")));
  hosts.run->Returns(u"IsUnPackOex", Wrap(HostValue::I4(1)));
  for (const char16_t* member : {u"RecordMessage", u"ControlNum", u"WriteDetailFileName",
                                 u"PackMessage", u"CommSign", u"IsWriteOnly", u"StepCommWrite",
                                 u"StepCommRead", u"UnpackMessage"}) {
    hosts.run->Returns(member, Wrap(HostValue::I4(0)));
  }
  const UnwrappingPlatform platform;
  const auto made_with_platform = Holdfast::Create(Conversions(platform));
  const auto made_without = Holdfast::Create();
  hosts.GiveTo(*made_with_platform);
  hosts.GiveTo(*made_without);

  EXPECT_EQ(made_with_platform->Cols(), kRetained);
  ASSERT_FALSE(hosts.log->Lines().empty());
  EXPECT_NE(hosts.log->Lines().back().find("&Text \"WD 吞卡成功\""), std::string::npos);
  // The failure path writes its entry and its line through them too.
  hosts.disp->Raises(u"ScreenDisplay", Failure(77, u"no"));
  EXPECT_EQ(made_with_platform->Cols(), kFailure);
  // The core's own rules read none of these answers: the same failure path
  // cannot write its line, and the step fails itself.
  EXPECT_THROW(made_without->Cols(), Failure);
}

}  // namespace
}  // namespace clasp
