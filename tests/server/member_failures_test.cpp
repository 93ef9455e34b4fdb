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

// A plain Cols call is answered without the type library's dispatcher; one that
// fails must still get exactly what the dispatcher itself answers, asked
// directly on a twin component, with and without an EXCEPINFO.
TEST(MemberFailures, AFailingColsAnswersAsTheTypeLibraryDispatcherDoes) {
  constexpr DISPID kCols = 0x60030007;
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
      EXPECT_EQ(served.info.Get().scode, dispatched.info.Get().scode);
      EXPECT_EQ(served.info.Get().wCode, dispatched.info.Get().wCode);
      EXPECT_EQ(TextOf(served.info.Get().bstrDescription),
                TextOf(dispatched.info.Get().bstrDescription));
      EXPECT_EQ(TextOf(served.info.Get().bstrSource), TextOf(dispatched.info.Get().bstrSource));
    }
  }
}

}  // namespace
}  // namespace clasp::testing
