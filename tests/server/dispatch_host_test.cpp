// The shared test host itself: the other suites read their verdicts through
// it, and the benchmark times it, so what each kind of host does and does not
// do must hold.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "server.h"

namespace clasp::testing {
namespace {

constexpr LONG kPutValue = 5;
constexpr LONG kAnswer = 7;
constexpr SCODE kRaised = static_cast<SCODE>(0x800A04D2);

struct BindingRow {
  Binding binding;
  HRESULT extended_interface;  // QueryInterface for IDispatchEx
  HRESULT by_name;             // GetIDsOfNames
};

TEST(DispatchHost, BindingDecidesHowNamesAreReached) {
  const BindingRow rows[] = {
      {Binding::kDispatch, E_NOINTERFACE, S_OK},
      {Binding::kExtended, S_OK, S_OK},
      {Binding::kScriptLike, S_OK, E_NOTIMPL},
  };
  for (const BindingRow& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.binding));
    const auto host = DispatchHost::Create("Host", {.binding = row.binding});
    ComPtr<IDispatchEx> extended;
    EXPECT_EQ(host->QueryInterface(__uuidof(IDispatchEx), extended.PutVoid()),
              row.extended_interface);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Member")};
    EXPECT_EQ(host->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), row.by_name);
  }
}

// A put then a read of the same member, and a call: a logged host writes all
// three and answers the read with what was put; a host without a log does
// neither, as the benchmark needs.
TEST(DispatchHost, OnlyALoggedHostRecordsAndRemembersPuts) {
  for (const bool logged : {true, false}) {
    SCOPED_TRACE(logged ? "logged" : "without a log");
    const auto log = std::make_shared<CallLog>();
    const auto host = DispatchHost::Create("Host", {.log = logged ? log : nullptr});
    EXPECT_EQ(PutByName(host.Get(), L"Value", MakeI4(kPutValue).Get()), S_OK);
    Variant read;
    EXPECT_EQ(CallByName(host.Get(), L"value", DISPATCH_PROPERTYGET, {}, read.Put(), nullptr),
              S_OK);
    EXPECT_EQ(CallByName(host.Get(), L"Go", DISPATCH_METHOD, {MakeI2(1).Get()}, nullptr, nullptr),
              S_OK);
    if (logged) {
      EXPECT_EQ(*log, (CallLog{"Host.Value = VT_I4 5", "Host.Value()", "Host.Go(VT_I2 1)"}));
      EXPECT_EQ(V_VT(&read.Get()), VT_I4);
      EXPECT_EQ(V_I4(&read.Get()), kPutValue);
    } else {
      EXPECT_TRUE(log->empty());
      EXPECT_EQ(V_VT(&read.Get()), VT_EMPTY);
    }
  }
}

TEST(DispatchHost, ScriptedMembersAnswerRaiseOrAreMissing) {
  for (const bool logged : {true, false}) {
    SCOPED_TRACE(logged ? "logged" : "without a log");
    const auto host = DispatchHost::Create(
        "Host", {.log = logged ? std::make_shared<CallLog>() : nullptr});
    host->Returns(L"Answer", MakeI4(kAnswer).Get())
        .Raises(L"Fails", kRaised, L"boom")
        .Lacks(L"Absent");
    // A fixed answer wins over what was put.
    EXPECT_EQ(PutByName(host.Get(), L"Answer", MakeI4(kPutValue).Get()), S_OK);
    Variant answer;
    EXPECT_EQ(CallByName(host.Get(), L"Answer", DISPATCH_METHOD, {}, answer.Put(), nullptr), S_OK);
    EXPECT_EQ(V_I4(&answer.Get()), kAnswer);

    ExcepInfo info;
    EXPECT_EQ(CallByName(host.Get(), L"Fails", DISPATCH_METHOD, {}, nullptr, info.Put()),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.Get().scode, kRaised);
    EXPECT_EQ(TextOf(info.Get().bstrDescription), u"boom");

    EXPECT_EQ(CallByName(host.Get(), L"Absent", DISPATCH_METHOD, {}, nullptr, nullptr),
              DISP_E_UNKNOWNNAME);
  }
}

// A put that does not name DISPID_PROPERTYPUT is what a broken caller sends;
// the suites that log must see it refused, not taken as a value.
TEST(DispatchHost, LoggedHostRefusesAPutWithoutItsNamedArgument) {
  const auto log = std::make_shared<CallLog>();
  const auto host = DispatchHost::Create("Host", {.log = log});
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Value")};
  ASSERT_EQ(host->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  Variant value = MakeI4(kPutValue);
  DISPPARAMS params{value.ArgumentsForInvoke(), nullptr, 1, 0};
  EXPECT_EQ(host->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                         nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(*log, CallLog{"Host.Value (malformed put)"});
}

}  // namespace
}  // namespace clasp::testing
