// The component's own failures as its caller sees them: a failing HRESULT,
// EXCEPINFO with scode and description, and an error object.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "holdfast_idl.h"
#include "server.h"

namespace clasp::testing {
namespace {

constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x800A000D);
constexpr HRESULT kOverflow = static_cast<HRESULT>(0x800A0006);
constexpr HRESULT kObjectNotSet = static_cast<HRESULT>(0x800A005B);
constexpr HRESULT kRaised1234 = static_cast<HRESULT>(0x800A04D2);

struct FailureRow {
  const char* what;
  const wchar_t* member;
  std::wstring text;  // put as VT_BSTR
  bool with_display;  // a display that raises 1234 "boom" on every put
  HRESULT scode;
  std::wstring description;
};

const FailureRow kRows[] = {
    {"ScreenNo abc", L"ScreenNo", L"abc", false, kTypeMismatch, L"Type mismatch"},
    {"ScreenNo empty", L"ScreenNo", L"", false, kTypeMismatch, L"Type mismatch"},
    {"ScreenNo too big", L"ScreenNo", L"99999999999", false, kOverflow, L"Overflow"},
    {"display value, no display", L"DisapleVal01", L"x", false, kObjectNotSet,
     L"Object variable or With block variable not set"},
    {"display value, display raises", L"DisapleVal02", L"x", true, kRaised1234, L"boom"},
};

// Runs `check` for each row on a new component, with the row's display.
void ForEachRow(const std::function<void(const FailureRow&, IDispatch*)>& check) {
  for (const FailureRow& row : kRows) {
    SCOPED_TRACE(row.what);
    ComHostSet hosts;
    const ComPtr<IDispatch> component = CreateByProgId();
    ASSERT_TRUE(component);
    if (row.with_display) {
      hosts.disp->Calls(row.member, RaiseExcepInfo(kRaised1234, 0, L"boom"));
      PutByName(component.Get(), L"StepDisp", MakeDispatch(hosts.disp.Get()).Get());
    }
    check(row, component.Get());
  }
}

TEST(MemberFailures, LateBoundCallerGetsScodeDescriptionAndSource) {
  ForEachRow([](const FailureRow& row, IDispatch* component) {
    ExcepInfo info;
    EXPECT_EQ(PutByName(component, row.member, MakeText(row.text).Get(), info.Put()),
              DISP_E_EXCEPTION);
    // Script hosts take the number from scode; wCode must stay 0 beside it.
    EXPECT_EQ(info.Get().scode, row.scode);
    EXPECT_EQ(info.Get().wCode, 0);
    EXPECT_EQ(TextOf(info.Get().bstrDescription), std::u16string(row.description.begin(),
                                                                 row.description.end()));
    EXPECT_EQ(TextOf(info.Get().bstrSource), u"Clasp.Holdfast");
  });
}

TEST(MemberFailures, EarlyBoundCallerGetsHresultAndErrorObject) {
  ForEachRow([](const FailureRow& row, IDispatch* component) {
    ComPtr<_Holdfast> holdfast;
    ASSERT_EQ(component->QueryInterface(IID__Holdfast, holdfast.PutVoid()), S_OK);
    const Bstr text(std::u16string(row.text.begin(), row.text.end()));
    Variant value = MakeText(row.text);
    const HRESULT result = std::wstring(row.member) == L"ScreenNo"
                               ? holdfast->put_ScreenNo(text.Get())
                               : row.member == std::wstring(L"DisapleVal01")
                                     ? holdfast->put_DisapleVal01(value.Get())
                                     : holdfast->put_DisapleVal02(value.Get());
    EXPECT_EQ(result, row.scode);
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.Put()), S_OK);
    ASSERT_TRUE(error);
    Bstr description;
    error->GetDescription(description.Put());
    EXPECT_EQ(std::wstring(description.Get() ? description.Get() : L""), row.description);
    GUID guid{};
    error->GetGUID(&guid);
    EXPECT_EQ(TextOfGuid(guid), kIidText);
  });
}

TEST(MemberFailures, ColsAnswersThroughItsRetval) {
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComHostSet hosts;
  hosts.mks->Returns(L"CardReaderRetain", MakeI4(10120011).Get());
  hosts.AssignTo(component.Get());
  ComPtr<_Holdfast> holdfast;
  ASSERT_EQ(component->QueryInterface(IID__Holdfast, holdfast.PutVoid()), S_OK);
  LONG result = 0;
  EXPECT_EQ(holdfast->Cols(&result), S_OK);
  EXPECT_EQ(result, 10120011);
  EXPECT_EQ(holdfast->Cols(nullptr), E_POINTER);
}

TEST(MemberFailures, ColsFailsItselfOnlyWhenItsFailurePathFails) {
  // No trace writer: the failure path cannot write its line, so Cols fails
  // with the failure it met there (91) instead of answering 10010003.
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  Variant result;
  ExcepInfo info;
  EXPECT_EQ(CallByName(component.Get(), L"Cols", DISPATCH_METHOD, {}, result.Put(), info.Put()),
            DISP_E_EXCEPTION);
  EXPECT_EQ(info.Get().scode, kObjectNotSet);
}

void ExpectSameExcepInfo(const EXCEPINFO& served, const EXCEPINFO& dispatched) {
  EXPECT_EQ(served.scode, dispatched.scode);
  EXPECT_EQ(served.wCode, dispatched.wCode);
  EXPECT_EQ(TextOf(served.bstrDescription), TextOf(dispatched.bstrDescription));
  EXPECT_EQ(TextOf(served.bstrSource), TextOf(dispatched.bstrSource));
}

// A plain Cols call is answered without the type library's dispatcher; one that
// fails must still get exactly what the dispatcher itself answers, asked
// directly on a twin component, with and without an EXCEPINFO.
TEST(MemberFailures, AFailingColsAnswersAsTheTypeLibraryDispatcherDoes) {
  constexpr DISPID kCols = kDispidCols;
  for (const WORD flags : {WORD{DISPATCH_METHOD}, WORD{DISPATCH_METHOD | DISPATCH_PROPERTYGET}}) {
    for (const bool with_info : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "flags " << flags << (with_info ? "" : ", no EXCEPINFO"));
      struct Answer {
        HRESULT outcome;
        ExcepInfo info;
      } served, dispatched;
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      {
        const ComPtr<IDispatch> component = CreateByProgId();
        ASSERT_TRUE(component);
        Variant result;
        served.outcome = component->Invoke(kCols, IID_NULL, LOCALE_USER_DEFAULT, flags, &none,
                                           result.Put(), with_info ? served.info.Put() : nullptr,
                                           nullptr);
      }
      {
        const ComPtr<IDispatch> twin = CreateByProgId();
        ASSERT_TRUE(twin);
        ComPtr<_Holdfast> holdfast;
        ASSERT_EQ(twin->QueryInterface(IID__Holdfast, holdfast.PutVoid()), S_OK);
        ComPtr<ITypeInfo> type_info;
        ASSERT_EQ(twin->GetTypeInfo(0, LOCALE_USER_DEFAULT, type_info.Put()), S_OK);
        Variant result;
        UINT argument_error = 0;
        SetErrorInfo(0, nullptr);
        dispatched.outcome = type_info->Invoke(holdfast.Get(), kCols, flags, &none, result.Put(),
                                               with_info ? dispatched.info.Put() : nullptr,
                                               &argument_error);
      }
      EXPECT_EQ(served.outcome, dispatched.outcome);
      ExpectSameExcepInfo(served.info.Get(), dispatched.info.Get());
    }
  }
}

// Puts made as hosts make them are answered without the dispatcher too. Each
// must leave what the dispatcher leaves, asked directly on a twin component:
// the outcome, the result, the EXCEPINFO and what the hosts were given.
TEST(MemberFailures, PlainPutsAnswerAsTheTypeLibraryDispatcherDoes) {
  struct PutRow {
    const char* what;
    DISPID id;
    WORD flags;
    std::function<Variant(ComHostSet&)> value;
    bool display_raises = false;
  };
  constexpr DISPID kStepDisp = kDispidStepDisp;
  constexpr DISPID kStepTrac = kDispidStepTrac;
  constexpr DISPID kDisapleVal01 = kDispidDisapleVal01;
  constexpr DISPID kDisapleVal04 = kDispidDisapleVal04;
  constexpr DISPID kScreenNo = kDispidScreenNo;
  constexpr WORD kPut = DISPATCH_PROPERTYPUT;
  constexpr WORD kPutRef = DISPATCH_PROPERTYPUTREF;
  const auto text = [](const wchar_t* t) { return [t](ComHostSet&) { return MakeText(t); }; };
  const auto kind = [](VARTYPE type) {
    return [type](ComHostSet&) {
      Variant v;
      VARIANT* raw = v.Put();
      V_I8(raw) = 0;  // every byte of the value: 0 reads the same in every kind here
      V_VT(raw) = type;
      return v;
    };
  };
  const PutRow rows[] = {
      {"display text", kDisapleVal01, kPut, text(L"x")},
      {"display I2", kDisapleVal04, kPut, [](ComHostSet&) { return MakeI2(7); }},
      {"display I4", kDisapleVal01, kPut, [](ComHostSet&) { return MakeI4(-3); }},
      {"display date", kDisapleVal01, kPut, [](ComHostSet&) { return MakeDate(45000.5); }},
      {"display currency", kDisapleVal01, kPut, [](ComHostSet&) { return MakeCurrency(12345); }},
      {"display Empty", kDisapleVal01, kPut, kind(VT_EMPTY)},
      {"display Null", kDisapleVal01, kPut, kind(VT_NULL)},
      {"display R4", kDisapleVal01, kPut, kind(VT_R4)},
      {"display R8", kDisapleVal01, kPut, kind(VT_R8)},
      {"display Boolean", kDisapleVal01, kPut, kind(VT_BOOL)},
      {"display object", kDisapleVal01, kPut,
       [](ComHostSet& h) { return MakeDispatch(h.jour.Get()); }},
      {"display raises", kDisapleVal01, kPut, text(L"x"), true},
      {"screen number", kScreenNo, kPut, text(L"421")},
      {"screen number not a number", kScreenNo, kPut, text(L"abc")},
      {"step object", kStepDisp, kPutRef, [](ComHostSet& h) { return MakeDispatch(h.mks.Get()); }},
      {"step object Nothing", kStepTrac, kPutRef,
       [](ComHostSet&) { return MakeDispatch(nullptr); }},
  };
  struct Answer {
    HRESULT outcome = S_OK;
    std::string result;
    ExcepInfo info;
    CallLog log;
  };
  const auto ask = [](const PutRow& row, bool served, bool with_info, Answer& answer) {
    const ComPtr<IDispatch> component = CreateByProgId();
    ASSERT_TRUE(component);
    ComHostSet hosts;
    if (row.display_raises) {
      hosts.disp->Calls(L"DisapleVal01", RaiseExcepInfo(kRaised1234, 0, L"boom"));
    }
    hosts.AssignTo(component.Get());
    hosts.log->clear();
    Variant value = row.value(hosts);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{value.ArgumentsForInvoke(), &named, 1, 1};
    Variant result = MakeI4(7);  // whether the answer leaves it, empties it or fills it
    EXCEPINFO* info = with_info ? answer.info.Put() : nullptr;
    if (served) {
      answer.outcome = component->Invoke(row.id, IID_NULL, LOCALE_USER_DEFAULT, row.flags, &params,
                                         result.Put(), info, nullptr);
    } else {
      ComPtr<_Holdfast> holdfast;
      ASSERT_EQ(component->QueryInterface(IID__Holdfast, holdfast.PutVoid()), S_OK);
      ComPtr<ITypeInfo> type_info;
      ASSERT_EQ(component->GetTypeInfo(0, LOCALE_USER_DEFAULT, type_info.Put()), S_OK);
      UINT argument_error = 0;
      SetErrorInfo(0, nullptr);
      answer.outcome = type_info->Invoke(holdfast.Get(), row.id, row.flags, &params,
                                         result.Put(), info, &argument_error);
    }
    answer.result = ShowVariant(result.Get());
    answer.log = *hosts.log;
  };
  for (const PutRow& row : rows) {
    for (const bool with_info : {true, false}) {
      SCOPED_TRACE(::testing::Message() << row.what << (with_info ? "" : ", no EXCEPINFO"));
      Answer served;
      Answer dispatched;
      ask(row, true, with_info, served);
      ask(row, false, with_info, dispatched);
      EXPECT_EQ(served.outcome, dispatched.outcome);
      EXPECT_EQ(served.result, dispatched.result);
      ExpectSameExcepInfo(served.info.Get(), dispatched.info.Get());
      EXPECT_EQ(served.log, dispatched.log);
    }
  }
}

}  // namespace
}  // namespace clasp::testing
