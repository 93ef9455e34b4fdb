// The COM adapters end to end: C++ host objects of the core's own kind
// offered over IDispatchEx (DispatchOfHost), driven by the real component
// through Holdfast.dll, must see exactly what they see when the core calls
// them directly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "component/holdfast.h"
#include "host/convert.h"
#include "server.h"
#include "server/com/object_bridge.h"
#include "support/recording_host.h"

namespace clasp::testing {
namespace {

using Configure = std::function<void(HostSet&)>;

std::vector<std::string> DirectRun(const Configure& configure, std::int32_t& result) {
  HostSet hosts;
  configure(hosts);
  const Ref<Holdfast> component = Holdfast::Create();
  hosts.GiveTo(*component);
  result = component->Cols();
  return hosts.log->Lines();
}

std::vector<std::string> ComRun(const Configure& configure, std::int32_t& result) {
  HostSet hosts;
  configure(hosts);
  {
    const ComPtr<IDispatch> component = CreateByProgId();
    EXPECT_TRUE(component);
    if (!component) return {};
    const std::pair<const wchar_t*, RecordingHost*> steps[] = {
        {L"StepDisp", hosts.disp.Get()}, {L"StepMks", hosts.mks.Get()},
        {L"StepRunModul", hosts.run.Get()}, {L"StepTrac", hosts.trac.Get()},
        {L"StepJour", hosts.jour.Get()}};
    for (const auto& [name, host] : steps) {
      const ComPtr<IDispatch> offered = DispatchOfHost(host->Object());
      EXPECT_EQ(PutByName(component.Get(), name, MakeDispatch(offered.Get()).Get()), S_OK);
    }
    result = RunCols(component.Get());
  }
  // Everything the component and the adapters held is given back.
  for (const RecordingHost* host : hosts.All()) {
    EXPECT_EQ(host->RefCount(), 1u);
  }
  return hosts.log->Lines();
}

struct Scenario {
  const char* name;
  Configure configure;
};

TEST(ComAdapters, HostsSeeTheSameCallsOverComAsInProcess) {
  const Scenario scenarios[] = {
      {"retained",
       [](HostSet& h) { h.mks->Returns(u"CardReaderRetain", HostValue::I4(kRetained)); }},
      {"not retained, screen number as text answer",
       [](HostSet& h) {
         h.mks->Returns(u"CardReaderRetain", HostValue::I4(0));
         h.disp->Returns(u"ScreenNo", HostValue::Text(u" 420 "));
       }},
      {"device fault, values of every kind handed on",
       [](HostSet& h) {
         h.mks->Returns(u"CardReaderRetain", HostValue::I4(10120099));
         h.run->Returns(u"TransAction1", HostValue::Text(u"0020000000"))
             .Returns(u"SendMessage", HostValue::Integer(Kind::kCurrency, 1234567))
             .Returns(u"SendMessageLen", HostValue::Integer(Kind::kI8, -5))
             .Returns(u"IsUnPackOex", HostValue::I2(1))
             .Returns(u"TimeOutComm", HostValue::Real(Kind::kDate, 45000.5))
             .Returns(u"RecieveMessage", HostValue::Dec({4, true, 1, 99}))
             .Returns(u"RecieveMessageLen", HostValue::Integer(Kind::kUI1, 200))
             .Returns(u"IsJRNDevice", HostValue::Bool(true));
       }},
      {"reader raises", [](HostSet& h) {
         h.mks->Raises(u"CardReaderRetain", Failure(1234, u"boom"));
       }},
      {"module lacks a member of the report", [](HostSet& h) {
         h.mks->Returns(u"CardReaderRetain", HostValue::I4(kRetained));
         h.run->Lacks(u"PackMessage");
       }},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    std::int32_t direct_result = 0;
    std::int32_t com_result = 0;
    const std::vector<std::string> direct = DirectRun(scenario.configure, direct_result);
    const std::vector<std::string> over_com = ComRun(scenario.configure, com_result);
    EXPECT_THAT(over_com, ::testing::ElementsAreArray(direct));
    EXPECT_EQ(com_result, direct_result);
  }
}

TEST(ComAdapters, OfferedHostComesBackAsItself) {
  HostSet hosts;
  const ComPtr<IDispatch> offered = DispatchOfHost(hosts.disp->Object());
  EXPECT_EQ(HostOfDispatch(offered.Get()).Get(), hosts.disp.Get());
  EXPECT_FALSE(HostOfDispatch(nullptr));
}

// A failure raised through an offered object names the same source as one
// raised by the component itself.
TEST(ComAdapters, OfferedHostFailureNamesTheComponentAsSource) {
  HostSet hosts;
  hosts.disp->Raises(u"DisapleVal01", Failure(kTypeMismatch, u"no"));
  const ComPtr<IDispatch> offered = DispatchOfHost(hosts.disp->Object());
  ExcepInfo info;
  EXPECT_EQ(CallByName(offered.Get(), L"DisapleVal01", DISPATCH_METHOD, {}, nullptr,
                       info.Put()),
            DISP_E_EXCEPTION);
  EXPECT_EQ(TextOf(info.Get().bstrSource), u"Clasp.Holdfast");
}

// More names than an adapter keeps, each round spelling them in texts of its
// own, at addresses no earlier round used: the index of names fills and is
// filed again, and every name still reaches its own member.
TEST(ComAdapters, NamesSpelledAnywhereReachTheirMembers) {
  constexpr int kNames = 80;
  constexpr int kRounds = 3;
  const auto host = DispatchHost::Create("Many", {.binding = Binding::kScriptLike});
  std::vector<std::u16string> spellings;
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kNames; ++i) {
      const std::wstring name = L"Member" + std::to_wstring(i);
      if (round == 0) host->Returns(name, MakeI4(i).Get());
      spellings.emplace_back(name.begin(), name.end());
    }
  }
  const HostObject object = HostOfDispatch(host.Get());
  for (std::size_t at = 0; at < spellings.size(); ++at) {
    EXPECT_EQ(ToInt32(object.Invoke(spellings[at])), static_cast<int>(at % kNames)) << at;
  }
}

}  // namespace
}  // namespace clasp::testing
