// The component driving C++ host objects over IDispatch: the exact VARIANTs
// they receive, their failures, reference counts and lifetime.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "server.h"

namespace clasp::testing {
namespace {

using ::testing::ElementsAreArray;

constexpr LONG kFailure = 10010003;

// What every host sees in one capture when all of them answer Empty except
// the reader, hand-written from the host's point of view.
const std::vector<std::string> kRetainedRun = {
    "StepDisp.ScreenNo = VT_I2 420",
    "StepDisp.ScreenDisplay()",
    "StepDisp.ScreenNo()",
    R"(StepTrac.TraceWrite(VT_BSTR "c:\orbis\qz\log\object.log", VT_BYREF|VT_BSTR "Disp420: 0", VT_BSTR "Clench"))",
    R"(StepDisp.DisapleVal01 = VT_BSTR "")",
    R"(StepDisp.DisapleVal02 = VT_BSTR "")",
    R"(StepDisp.DisapleVal03 = VT_BSTR "")",
    R"(StepDisp.DisapleVal04 = VT_BSTR "")",
    "StepMks.CardReaderRetain()",
    R"(StepTrac.TraceWrite(VT_BSTR "c:\orbis\qz\log\object.log", VT_BYREF|VT_BSTR "CardReaderRetain:10120011", VT_BSTR "Clench"))",
    "StepRunModul.TransAction1()",
    "StepRunModul.TransAction1()",
    R"(StepRunModul.TransAction1 = VT_BSTR "1")",
    R"(StepRunModul.RecordMessage(VT_BSTR "CIN", VT_I2 5))",
    R"(StepTrac.TraceWrite(VT_BSTR "c:\orbis\qz\log\PrintJournal.log", VT_BYREF|VT_BSTR "Card  retained", VT_BSTR ""))",
    "StepJour.TimeSig = VT_I2 1",
    R"(StepJour.ChnPromptString = VT_BSTR "吞卡成功")",
    R"(StepJour.EngPromptString = VT_BSTR "Card  retained")",
    "StepJour.JournalWriteMsg()",
    "StepRunModul.IsJRNDevice()",
    "StepJour.isjrn = VT_EMPTY",
    R"(StepRunModul.ExcepCode = VT_BSTR "1004")",
    "StepRunModul.ControlNum()",
    R"(StepRunModul.WriteDetailFileName(VT_BSTR "CRD", VT_BSTR "0", VT_BSTR "0", VT_BYREF|VT_BSTR "1"))",
    R"(StepRunModul.PackMessage(VT_BSTR "OEX"))",
    "StepRunModul.CommSign()",
    "StepRunModul.IsWriteOnly()",
    "StepRunModul.SendMessage()",
    "StepRunModul.SendMessageLen()",
    "StepRunModul.StepCommWrite(VT_EMPTY, VT_EMPTY)",
    "StepRunModul.IsUnPackOex()",
    R"(StepTrac.TraceWrite(VT_BSTR "c:\orbis\qz\log\object.log", VT_BYREF|VT_BSTR "WD 吞卡成功", VT_BSTR "Clench"))",
};

class HostCalls : public ::testing::TestWithParam<Binding> {
 protected:
  void SetUp() override {
    component = CreateByProgId();
    ASSERT_TRUE(component);
    hosts.mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get());
  }
  ComHostSet hosts{GetParam()};
  ComPtr<IDispatch> component;
};

TEST_P(HostCalls, CaptureSendsExactlyTheseVariants) {
  hosts.AssignTo(component.Get());
  EXPECT_EQ(RunCols(component.Get()), kRetained);
  EXPECT_THAT(*hosts.log, ElementsAreArray(kRetainedRun));
  // Names went the way the object offers them.
  for (DispatchHost* host : hosts.All()) {
    if (GetParam() == Binding::kScriptLike) {
      EXPECT_GT(host->DispIdLookups(), 0);
      EXPECT_EQ(host->NameLookups(), 0);
    } else {
      EXPECT_GT(host->NameLookups(), 0);
    }
  }
}

// Names are lent to the lookups; a host that writes into one spoils no later
// lookup of the same name, wherever the component spells it.
TEST_P(HostCalls, HostsWritingIntoTheNamesTheyAreAskedStillGetEveryName) {
  for (DispatchHost* host : hosts.All()) host->ScribblesOnNames();
  hosts.AssignTo(component.Get());
  EXPECT_EQ(RunCols(component.Get()), kRetained);
  EXPECT_THAT(*hosts.log, ElementsAreArray(kRetainedRun));
}

TEST_P(HostCalls, ScreenNumberGoesAsLongAndSurvivesAFailedSet) {
  hosts.AssignTo(component.Get());
  ASSERT_EQ(PutByName(component.Get(), L"ScreenNo", MakeText(L"12").Get()), S_OK);
  EXPECT_EQ(PutByName(component.Get(), L"ScreenNo", MakeText(L"abc").Get()), DISP_E_EXCEPTION);
  EXPECT_EQ(RunCols(component.Get()), kRetained);
  ASSERT_FALSE(hosts.log->empty());
  EXPECT_EQ(hosts.log->front(), "StepDisp.ScreenNo = VT_I4 12");
  EXPECT_EQ(TraceLines(*hosts.log).front(), "Disp12: 0");
}

INSTANTIATE_TEST_SUITE_P(Bindings, HostCalls,
                         ::testing::Values(Binding::kDispatch,
                                           Binding::kScriptLike));

TEST(HostValues, DisplayValuesArriveAsTheHostGaveThem) {
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts;
  hosts.AssignTo(component.Get());
  const auto other = DispatchHost::Create("Other", {.log = hosts.log});
  std::vector<Variant> values;
  values.push_back(MakeText(L"x"));
  values.push_back(MakeText(L""));
  values.push_back(MakeI2(-7));
  values.push_back(MakeI4(2147483647));
  values.emplace_back();  // VT_EMPTY
  V_VT(values.emplace_back().Put()) = VT_NULL;
  Variant& truth = values.emplace_back();
  VARIANT* raw_truth = truth.Put();
  V_VT(raw_truth) = VT_BOOL;
  V_BOOL(raw_truth) = VARIANT_TRUE;
  values.push_back(MakeDate(45000.75));
  values.push_back(MakeCurrency(-123456789));
  values.push_back(MakeDecimal(3, true, 7, 18446744073709551615ull));
  values.push_back(MakeBytes({0, 1, 255}));
  values.push_back(MakeDispatch(other.Get()));
  for (const Variant& value : values) {
    const std::string expected = "StepDisp.DisapleVal03 = " + ShowVariant(value.Get());
    SCOPED_TRACE(expected);
    ASSERT_EQ(PutByName(component.Get(), L"DisapleVal03", value.Get()), S_OK);
    EXPECT_EQ(hosts.log->back(), expected);
  }
}

TEST(HostValues, AnswersHandedOnKeepTheirKindValueAndIdentity) {
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts;
  const auto length_object = DispatchHost::Create("Length", {.log = hosts.log});
  hosts.mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get());
  hosts.run->Returns(L"SendMessage", MakeBytes({0x4F, 0x45, 0x58, 0x00, 0xFF}).Get())
      .Returns(L"SendMessageLen", MakeCurrency(50000).Get())
      .Returns(L"IsUnPackOex", MakeI2(1).Get())
      .Returns(L"TimeOutComm", MakeDate(45000.25).Get())
      .Returns(L"RecieveMessage", MakeDecimal(2, true, 1, 12345).Get())
      .Returns(L"RecieveMessageLen", MakeDispatch(length_object.Get()).Get())
      .Returns(L"IsJRNDevice", MakeI2(3).Get());
  IDispatch* received = nullptr;
  hosts.run->Calls(L"StepCommRead", [&](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
    // The length is the first argument from the end.
    if (params.cArgs == 3 && V_VT(&params.rgvarg[0]) == VT_DISPATCH) {
      received = V_DISPATCH(&params.rgvarg[0]);
    }
    return S_OK;
  });
  hosts.AssignTo(component.Get());
  EXPECT_EQ(RunCols(component.Get()), kRetained);
  EXPECT_THAT(*hosts.log, ::testing::IsSupersetOf({
      "StepRunModul.StepCommWrite(VT_ARRAY|VT_UI1 {79,69,88,0,255}, VT_CY 50000)",
      "StepRunModul.StepCommRead(VT_DATE 45000.250000, VT_DECIMAL -1:12345e-2, VT_DISPATCH object)",
      "StepJour.isjrn = VT_I2 3",
  }));
  EXPECT_EQ(received, static_cast<IDispatch*>(length_object.Get()));
}

// A host's text answer goes on to the next call in the BSTR it came in. A
// callee that takes that BSTR out of its argument (against the rules) keeps
// it: the component must not free it as well, which would hand the block out
// again while the callee still holds it.
TEST(HostValues, AHostTakingTheTextItWasPassedKeepsIt) {
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts;
  constexpr std::wstring_view kMessage = L"OEX0123456789";
  hosts.mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get());
  hosts.run->Returns(L"SendMessage", MakeText(kMessage).Get());
  BSTR taken = nullptr;
  hosts.run->Calls(L"StepCommWrite", [&](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
    VARIANTARG& message = params.rgvarg[params.cArgs - 1];
    if (V_VT(&message) == VT_BSTR) {
      taken = V_BSTR(&message);
      V_VT(&message) = VT_EMPTY;
    }
    return S_OK;
  });
  hosts.AssignTo(component.Get());
  EXPECT_EQ(RunCols(component.Get()), kRetained);
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(std::wstring_view(taken, SysStringLen(taken)), kMessage);
  // Enough texts of its length to empty the platform's cache of freed ones.
  constexpr int kFreshTexts = 16;
  std::vector<Bstr> fresh;
  for (int i = 0; i < kFreshTexts; ++i) {
    fresh.push_back(Bstr::Adopt(SysAllocStringLen(kMessage.data(), kMessage.size())));
    EXPECT_NE(fresh.back().Get(), taken);
  }
  SysFreeString(taken);
}

// How a host member fails, and the failure trace line the component writes:
// its device result (0 here), the number, the description.
struct HostFailureRow {
  const char* style;
  HostAction action;
  const char* trace_line;
  // The reader says through ISupportErrorInfo that its error objects are its own.
  bool vouches = false;
  // The display leaves an error object on the thread and succeeds, before the reader's call.
  bool display_leaves_one = false;
};

TEST(HostFailures, ReachTheFailureTraceLineWithNumberAndDescription) {
  const HostFailureRow rows[] = {
      {"EXCEPINFO scode", RaiseExcepInfo(0x800A04D2, 0, L"boom"), "01234boom"},
      {"EXCEPINFO wCode", RaiseExcepInfo(0, 1001, L"by code"), "01001by code"},
      {"EXCEPINFO deferred", RaiseDeferred(0x800A0005, L"late"), "05late"},
      {"error object", RaiseErrorObject(0x800A0007, L"from object"), "07from object", true},
      // Left on the thread by a call the reader made itself, then its own bare failure.
      {"error object not vouched for", RaiseErrorObject(0x800A0007, L"stale"), "07"},
      {"error object not vouched for, described number",
       RaiseErrorObject(DISP_E_TYPEMISMATCH, L"stale"), "013Type mismatch"},
      {"vouched for, but the error object is the display's", RaiseHresult(0x800A0007), "07",
       true, true},
      {"type mismatch", RaiseHresult(DISP_E_TYPEMISMATCH), "013Type mismatch"},
      {"overflow", RaiseHresult(DISP_E_OVERFLOW), "06Overflow"},
      {"argument count", RaiseHresult(DISP_E_BADPARAMCOUNT),
       "0450Wrong number of arguments or invalid property assignment"},
      {"member not found", RaiseHresult(DISP_E_MEMBERNOTFOUND),
       "0438Object doesn't support this property or method"},
      {"other HRESULT", RaiseHresult(E_FAIL), "0-2147467259"},
      {"control code only", RaiseHresult(0x800A04D2), "01234"},
  };
  for (const HostFailureRow& row : rows) {
    SCOPED_TRACE(row.style);
    const ComPtr<IDispatch> component = CreateByProgId();
    ASSERT_TRUE(component);
    ComHostSet hosts;
    hosts.mks = DispatchHost::Create("StepMks", {.log = hosts.log, .error_info = row.vouches});
    hosts.mks->Calls(L"CardReaderRetain", row.action);
    if (row.display_leaves_one) {
      hosts.disp->Calls(L"ScreenDisplay", RaiseErrorObject(S_OK, L"stale"));
    }
    hosts.AssignTo(component.Get());
    EXPECT_EQ(RunCols(component.Get()), kFailure);
    const std::vector<std::string> lines = TraceLines(*hosts.log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), row.trace_line);
  }
}

TEST(HostFailures, MissingMemberIs438) {
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts(Binding::kScriptLike);
  hosts.mks->Lacks(L"CardReaderRetain");
  hosts.AssignTo(component.Get());
  EXPECT_EQ(RunCols(component.Get()), kFailure);
  EXPECT_EQ(TraceLines(*hosts.log).back(), "0438Object doesn't support this property or method");
}

TEST(HostLifetime, CountsOnHostsBalanceAfterRelease) {
  ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts;
  hosts.mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get());
  for (DispatchHost* host : hosts.All()) ASSERT_EQ(host->RefCount(), 1u);

  hosts.AssignTo(component.Get());
  for (DispatchHost* host : hosts.All()) EXPECT_EQ(host->RefCount(), 2u);
  // The same display twice: still one count from the component.
  ASSERT_EQ(PutByName(component.Get(), L"StepDisp", MakeDispatch(hosts.disp.Get()).Get()), S_OK);
  EXPECT_EQ(hosts.disp->RefCount(), 2u);
  // One object in two fields holds two counts; the one it replaced loses its count.
  ASSERT_EQ(PutByName(component.Get(), L"StepTrac", MakeDispatch(hosts.jour.Get()).Get()), S_OK);
  EXPECT_EQ(hosts.jour->RefCount(), 3u);
  EXPECT_EQ(hosts.trac->RefCount(), 1u);

  EXPECT_EQ(RunCols(component.Get()), kRetained);
  EXPECT_EQ(hosts.jour->RefCount(), 3u);
  EXPECT_EQ(hosts.disp->RefCount(), 2u);

  // Nothing assigned: the field empties and its object loses the count.
  Variant nothing;
  VARIANT* raw_nothing = nothing.Put();
  V_DISPATCH(raw_nothing) = nullptr;  // the owner leaves the value's bytes as they were
  V_VT(raw_nothing) = VT_DISPATCH;
  ASSERT_EQ(PutByName(component.Get(), L"StepDisp", nothing.Get()), S_OK);
  EXPECT_EQ(hosts.disp->RefCount(), 1u);

  component.Reset();
  for (DispatchHost* host : hosts.All()) EXPECT_EQ(host->RefCount(), 1u);
}

TEST(HostLifetime, AHostEmptyingItsOwnFieldIsHeldUntilItsCallReturns) {
  ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts;
  hosts.AssignTo(component.Get());
  ULONG count_inside = 0;
  hosts.disp->Calls(L"ScreenDisplay", [&](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    PutByName(component.Get(), L"StepDisp", MakeDispatch(nullptr).Get());
    // Ours, the double's own for its action, and the adapter's, still alive.
    count_inside = hosts.disp->RefCount();
    return S_OK;
  });
  EXPECT_EQ(RunCols(component.Get()), kFailure);
  EXPECT_EQ(count_inside, 3u);
  EXPECT_EQ(hosts.disp->RefCount(), 1u);
}

TEST(HostLifetime, HostMayReleaseTheComponentInsideCols) {
  ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts;
  hosts.mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get());
  hosts.AssignTo(component.Get());
  IDispatch* const raw = component.Get();
  hosts.disp->Calls(L"ScreenDisplay", [&](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    component.Reset();  // the host's last reference, in the middle of the call
    return S_OK;
  });
  EXPECT_EQ(RunCols(raw), kRetained);
  EXPECT_EQ(hosts.log->back().rfind("StepTrac.TraceWrite", 0), 0u) << "Cols ran to its end";
  // Gone only now: nothing holds the hosts or the module any more.
  for (DispatchHost* host : hosts.All()) EXPECT_EQ(host->RefCount(), 1u);
  EXPECT_EQ(Server::Get().can_unload_now(), S_OK);
}

}  // namespace
}  // namespace clasp::testing
