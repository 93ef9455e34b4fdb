// Callers of the IDispatchEx this code offers for host objects of its own
// (what the simulator and C++ hosts hand to the component).
#include <dispex.h>

#include <string>
#include <vector>

#include "attacks.h"
#include "bad_values.h"
#include "host/failure.h"
#include "host/host_value.h"
#include "server/com/offered_dispatch.h"
#include "server/com/object_bridge.h"
#include "stage.h"
#include "support/recording_host.h"

namespace clasp::hostile {
namespace {

constexpr int kNewNames = 64;
constexpr std::int32_t kBoom = 1234;

// A core host object whose every member, read, called or put, runs `source`.
HostObject MakeCoreHost(testing::AnswerSource source) {
  const Ref<testing::RecordingHost> host = testing::RecordingHost::Create("Core");
  host->AnswersFrom(std::move(source));
  return host->Object();
}

// What is offered for a core host whose every member only counts its calls.
ComPtr<IDispatchEx> OfferCounting(int& calls) {
  const HostObject host =
      MakeCoreHost([&calls](std::u16string_view, std::span<const HostValue>, bool) {
        ++calls;
        return HostValue();
      });
  return QueryAs<IDispatchEx>(DispatchOfHost(host).Get());
}

DISPID IdOf(IDispatchEx* object, const wchar_t* name) {
  Bstr text(reinterpret_cast<const char16_t*>(name));
  DISPID id = DISPID_UNKNOWN;
  object->GetDispID(text.Get(), fdexNameCaseSensitive, &id);
  return id;
}

// A short name (kept inside the string object) whose table grows under it.
std::string NamesGrowDuringCall() {
  IDispatchEx* self = nullptr;
  std::u16string seen;
  const HostObject host =
      MakeCoreHost([&](std::u16string_view member, std::span<const HostValue>, bool) {
        for (int i = 0; i < kNewNames; ++i) IdOf(self, (L"Name" + std::to_wstring(i)).c_str());
        seen = std::u16string(member);
        return HostValue::Text(std::u16string(member));
      });
  const ComPtr<IDispatchEx> offered = QueryAs<IDispatchEx>(DispatchOfHost(host).Get());
  if (!offered) return " no IDispatchEx offered";
  self = offered.Get();
  const DISPID id = IdOf(self, L"isjrn");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant result;
  const HRESULT outcome = offered->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                            result.Put(), nullptr, nullptr);
  std::string wrong;
  if (outcome != S_OK) wrong += " answered " + Hex(outcome) + ";";
  if (seen != u"isjrn") wrong += " the host saw another member name;";
  return wrong;
}

// A caller asking for ever new names: past the bound they are unknown, through
// either lookup, while the names already given keep their identifiers and work.
std::string NamesStopAtTheBound() {
  int calls = 0;
  const ComPtr<IDispatchEx> offered = OfferCounting(calls);
  if (!offered) return " no IDispatchEx offered";
  const DISPID first = IdOf(offered.Get(), L"Name0");
  for (std::size_t i = 1; i < kMostOfferedNames; ++i) {
    IdOf(offered.Get(), (L"Name" + std::to_wstring(i)).c_str());
  }
  std::string wrong;
  Bstr beyond(u"OneNameTooMany");
  DISPID id = 0;
  HRESULT outcome = offered->GetDispID(beyond.Get(), fdexNameCaseSensitive, &id);
  if (outcome != DISP_E_UNKNOWNNAME) wrong += " GetDispID answered " + Hex(outcome) + ";";
  LPOLESTR names[] = {beyond.Get()};
  id = 0;
  outcome = offered->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (outcome != DISP_E_UNKNOWNNAME || id != DISPID_UNKNOWN) {
    wrong += " GetIDsOfNames answered " + Hex(outcome) + ";";
  }
  if (IdOf(offered.Get(), L"name0") != first) wrong += " a known name lost its identifier;";
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  outcome = offered->InvokeEx(first, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                              nullptr, nullptr);
  if (outcome != S_OK || calls != 1) wrong += " a known name no longer reaches the host;";
  return wrong;
}

std::string ReferenceCopiedBackOnFailure() {
  const HostObject host =
      MakeCoreHost([](std::u16string_view, std::span<const HostValue> args,
                      bool) -> HostValue {
        args[0].RefTarget() = u"changed before failing";
        throw Failure(kBoom, u"boom");
      });
  const ComPtr<IDispatchEx> offered = QueryAs<IDispatchEx>(DispatchOfHost(host).Get());
  if (!offered) return " no IDispatchEx offered";
  Bstr text(u"original");
  VARIANT arg;
  V_VT(&arg) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&arg) = text.Put();
  *V_BSTRREF(&arg) = SysAllocString(L"original");
  DISPPARAMS params{&arg, nullptr, 1, 0};
  ExcepInfo info;
  const HRESULT outcome = offered->InvokeEx(IdOf(offered.Get(), L"Change"), LOCALE_USER_DEFAULT,
                                            DISPATCH_METHOD, &params, nullptr, info.Put(), nullptr);
  std::string wrong;
  if (outcome != DISP_E_EXCEPTION) wrong += " answered " + Hex(outcome) + ";";
  if (info.Get().scode != MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, kBoom))
    wrong += " wrong scode;";
  if (text.Text() != u"changed before failing") wrong += " the text did not come back;";
  return wrong;
}

struct MalformedRow {
  const char* name;
  HRESULT (*send)(IDispatchEx* offered, DISPID id);
  HRESULT expected;
};

HRESULT CallMember(IDispatchEx* offered, DISPID id, DISPPARAMS* params) {
  return offered->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr,
                           nullptr);
}

// Calls the member with one argument, made by `make`.
HRESULT CallWith(IDispatchEx* offered, DISPID id, void (*make)(VARIANT&, Pointee&)) {
  VARIANT arg{};
  Pointee pointee{};
  make(arg, pointee);
  DISPPARAMS params{&arg, nullptr, 1, 0};
  return CallMember(offered, id, &params);
}

const MalformedRow kMalformedRows[] = {
    {"no DISPPARAMS", [](IDispatchEx* o, DISPID id) { return CallMember(o, id, nullptr); },
     E_INVALIDARG},
    {"arguments counted, no array",
     [](IDispatchEx* o, DISPID id) {
       DISPPARAMS params{nullptr, nullptr, 2, 0};
       return CallMember(o, id, &params);
     },
     E_INVALIDARG},
    {"by-reference BSTR, null pointer",
     [](IDispatchEx* o, DISPID id) { return CallWith(o, id, NullReference<VT_BSTR>); },
     E_POINTER},
    {"by-reference VARIANT pointing at itself",
     [](IDispatchEx* o, DISPID id) { return CallWith(o, id, SelfReference); }, DISP_E_BADVARTYPE},
    {"GetIDsOfNames with a null name",
     [](IDispatchEx* o, DISPID) {
       LPOLESTR names[] = {nullptr};
       DISPID id = 0;
       return o->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
     },
     E_INVALIDARG},
};

std::string SendMalformed(const MalformedRow& row) {
  int calls = 0;
  const ComPtr<IDispatchEx> offered = OfferCounting(calls);
  if (!offered) return " no IDispatchEx offered";
  const HRESULT outcome = row.send(offered.Get(), IdOf(offered.Get(), L"Member"));
  std::string wrong;
  if (outcome != row.expected)
    wrong += " answered " + Hex(outcome) + ", not " + Hex(row.expected) + ";";
  if (calls != 0) wrong += " the host was called;";
  return wrong;
}

}  // namespace

void AddOfferedAttacks(std::vector<Attack>& attacks) {
  attacks.push_back({"offered host: names grow during a call", NamesGrowDuringCall});
  attacks.push_back({"offered host: names stop at the bound", NamesStopAtTheBound});
  attacks.push_back(
      {"offered host: text by reference comes back on failure", ReferenceCopiedBackOnFailure});
  for (const MalformedRow& row : kMalformedRows) {
    attacks.push_back(
        {std::string("offered host gets ") + row.name, [&row] { return SendMalformed(row); }});
  }
}

}  // namespace clasp::hostile
