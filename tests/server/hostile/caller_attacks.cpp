// A hostile caller: values no automation value can be, and requests that are
// malformed, handed to the component through its table and through Invoke.
#include <vector>

#include "attacks.h"
#include "bad_values.h"
#include "stage.h"

namespace clasp::hostile {
namespace {

constexpr DISPID kUnknownMember = 0x12345;
constexpr VARTYPE kGarbage = 0x0FFF;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kMethod = DISPATCH_METHOD;

// Values a caller tries beside the ones a host answers too.
const BadValue kCallerValues[] = {
    {"garbage kind by value", [](VARIANT& v, Pointee&) { V_VT(&v) = kGarbage; },
     DISP_E_BADVARTYPE, nullptr},
    {"vector of I4", [](VARIANT& v, Pointee&) { V_VT(&v) = VT_VECTOR | VT_I4; },
     DISP_E_BADVARTYPE, nullptr},
    {"by-reference VARIANT holding I4 42",
     [](VARIANT& v, Pointee& p) {
       V_VT(&p.inner) = VT_I4;
       V_I4(&p.inner) = 42;
       V_VT(&v) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(&v) = &p.inner;
     },
     S_OK, nullptr},
};

// Puts `value` into DisapleVal01 by the table or by Invoke; the display must
// receive it only when the put succeeds, and then as I4 42.
std::string PutDisplayValue(const BadValue& row, bool by_invoke) {
  Stage stage;
  if (!stage.component) return " no component";
  std::vector<std::wstring> received;
  stage.disp->Calls(L"DisapleVal01", [&](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
    const VARIANT& arg = params.rgvarg[0];
    received.push_back(V_VT(&arg) == VT_I4 ? std::to_wstring(V_I4(&arg)) : L"another kind");
    return S_OK;
  });
  stage.Assign();
  VARIANT value{};
  Pointee pointee{};
  pointee.number = 7;
  row.make(value, pointee);
  HRESULT outcome;
  if (by_invoke) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    outcome = stage.component->Invoke(kDisapleVal01Id, IID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  } else {
    outcome = stage.component->put_DisapleVal01(value);
  }
  std::string wrong;
  if (outcome != row.refused)
    wrong += " answered " + Hex(outcome) + ", not " + Hex(row.refused) + ";";
  const std::vector<std::wstring> expected_received =
      row.refused == S_OK ? std::vector<std::wstring>{L"42"} : std::vector<std::wstring>{};
  if (received != expected_received) wrong += " the display received the wrong thing;";
  return wrong + stage.Balanced();
}

// One malformed IDispatch request with the answer it must get.
struct RequestRow {
  const char* name;
  HRESULT (*send)(IDispatch* component);
  HRESULT expected;
};

HRESULT Put(IDispatch* component, DISPID id, DISPPARAMS* params) {
  return component->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, params, nullptr,
                           nullptr, nullptr);
}

// One IDispatch::Invoke; `values` in DISPPARAMS order, cleared afterwards.
struct Request {
  DISPID id;
  WORD flags;
  std::vector<VARIANT> values;
  std::vector<DISPID> named;
  bool result = false;  // a result VARIANT is passed
  const IID* iid = &IID_NULL;
};

HRESULT Send(IDispatch* component, Request request) {
  std::vector<VARIANT>& values = request.values;
  std::vector<DISPID>& named = request.named;
  DISPPARAMS params{values.empty() ? nullptr : values.data(),
                    named.empty() ? nullptr : named.data(), static_cast<UINT>(values.size()),
                    static_cast<UINT>(named.size())};
  Variant result;
  const HRESULT outcome =
      component->Invoke(request.id, *request.iid, LOCALE_USER_DEFAULT, request.flags, &params,
                        request.result ? result.Put() : nullptr, nullptr, nullptr);
  for (VARIANT& value : values) VariantClear(&value);
  return outcome;
}

VARIANT Twelve() { return MakeText(L"12").Detach(); }
VARIANT I4(LONG value) { return MakeI4(value).Detach(); }
VARIANT NullText() {
  VARIANT value{};
  V_VT(&value) = VT_BSTR;
  return value;
}

const RequestRow kRequestRows[] = {
    {"Invoke: named arguments counted, no array",
     [](IDispatch* c) {
       Variant value = MakeText(L"12");
       DISPPARAMS params{value.ArgumentsForInvoke(), nullptr, 1, 1};
       return Put(c, kScreenNoId, &params);
     },
     E_INVALIDARG},
    {"Invoke: arguments counted, no array",
     [](IDispatch* c) {
       DISPID named = DISPID_PROPERTYPUT;
       DISPPARAMS params{nullptr, &named, 1, 1};
       return Put(c, kScreenNoId, &params);
     },
     E_INVALIDARG},
    {"Invoke: no DISPPARAMS", [](IDispatch* c) { return Put(c, kScreenNoId, nullptr); },
     E_INVALIDARG},
    {"Invoke: more named arguments than arguments",
     [](IDispatch* c) {
       return Send(c, {kScreenNoId, kPut, {Twelve()}, {DISPID_PROPERTYPUT, DISPID_PROPERTYPUT}});
     },
     E_INVALIDARG},
    {"Invoke: put with an extra positional argument",
     [](IDispatch* c) {
       return Send(c, {kScreenNoId, kPut, {I4(1), I4(2)}, {DISPID_PROPERTYPUT}});
     },
     DISP_E_BADPARAMCOUNT},
    {"Invoke: put through an unknown named argument",
     [](IDispatch* c) { return Send(c, {kScreenNoId, kPut, {Twelve()}, {5}}); },
     DISP_E_PARAMNOTFOUND},
    {"Invoke: put with an unknown named argument beside the value",
     [](IDispatch* c) {
       return Send(c, {kScreenNoId, kPut, {NullText(), I4(2)}, {DISPID_PROPERTYPUT, 7}});
     },
     DISP_E_PARAMNOTFOUND},
    {"Invoke: Cols with a named argument",
     [](IDispatch* c) { return Send(c, {kColsId, kMethod, {I4(1)}, {1}, true}); },
     DISP_E_PARAMNOTFOUND},
    {"Invoke: Cols with an argument",
     [](IDispatch* c) { return Send(c, {kColsId, kMethod, {I4(1)}, {}, true}); },
     DISP_E_BADPARAMCOUNT},
    {"Invoke: interface identifier not null",
     [](IDispatch* c) { return Send(c, {kColsId, kMethod, {}, {}, false, &IID_IDispatch}); },
     DISP_E_UNKNOWNINTERFACE},
    {"Invoke: unknown member",
     [](IDispatch* c) { return Send(c, {kUnknownMember, kMethod, {}, {}}); },
     DISP_E_MEMBERNOTFOUND},
    {"GetIDsOfNames: no names array",
     [](IDispatch* c) {
       DISPID id = 0;
       return c->GetIDsOfNames(IID_NULL, nullptr, 1, LOCALE_USER_DEFAULT, &id);
     },
     E_INVALIDARG},
    {"GetIDsOfNames: a null name",
     [](IDispatch* c) {
       LPOLESTR names[] = {nullptr};
       DISPID id = 0;
       return c->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
     },
     E_INVALIDARG},
    {"GetIDsOfNames: no identifiers array",
     [](IDispatch* c) {
       wchar_t name[] = L"Cols";
       LPOLESTR names[] = {name};
       return c->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, nullptr);
     },
     E_INVALIDARG},
    {"Invoke: Cols with no result VARIANT",
     [](IDispatch* c) { return Send(c, {kColsId, kMethod, {}, {}}); },
     S_OK},
    {"Invoke: a read of a member that can only be put",
     [](IDispatch* c) { return Send(c, {kScreenNoId, DISPATCH_PROPERTYGET, {}, {}, true}); },
     DISP_E_MEMBERNOTFOUND},
    {"QueryInterface: no out pointer",
     [](IDispatch* c) { return c->QueryInterface(IID_IDispatch, nullptr); }, E_POINTER},
};

std::string SendRequest(const RequestRow& row) {
  Stage stage;
  if (!stage.component) return " no component";
  stage.Assign();
  const HRESULT outcome = row.send(stage.component.Get());
  std::string wrong;
  if (outcome != row.expected)
    wrong += " answered " + Hex(outcome) + ", not " + Hex(row.expected) + ";";
  // The component still works afterwards.
  LONG result = 0;
  if (stage.component->Cols(&result) != S_OK || result != kRetained) wrong += " Cols broke;";
  return wrong + stage.Balanced();
}

}  // namespace

void AddCallerAttacks(std::vector<Attack>& attacks) {
  std::vector<const BadValue*> values;
  for (const BadValue& row : kBadValues) values.push_back(&row);
  for (const BadValue& row : kCallerValues) values.push_back(&row);
  for (const BadValue* row : values) {
    attacks.push_back(
        {std::string("caller puts ") + row->name, [row] { return PutDisplayValue(*row, false); }});
    attacks.push_back({std::string("caller puts by Invoke ") + row->name,
                       [row] { return PutDisplayValue(*row, true); }});
  }
  for (const RequestRow& row : kRequestRows) {
    attacks.push_back(
        {std::string("caller sends ") + row.name, [&row] { return SendRequest(row); }});
  }
  attacks.push_back({"caller calls Cols with no result pointer", [] {
                       Stage stage;
                       stage.Assign();
                       const HRESULT outcome = stage.component->Cols(nullptr);
                       std::string wrong = outcome == E_POINTER ? "" : " answered " + Hex(outcome);
                       return wrong + stage.Balanced();
                     }});
  attacks.push_back({"caller puts a null BSTR into ScreenNo", [] {
                       Stage stage;
                       stage.Assign();
                       const HRESULT outcome = stage.component->put_ScreenNo(nullptr);
                       constexpr HRESULT kTypeMismatch =
                           MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 13);
                       std::string wrong =
                           outcome == kTypeMismatch ? "" : " answered " + Hex(outcome);
                       return wrong + stage.Balanced();
                     }});
  attacks.push_back(
      {"caller asks for an aggregated instance", [] {
         ComPtr<IClassFactory> factory;
         GUID clsid{};
         CLSIDFromString(const_cast<LPOLESTR>(L"{5D3B8000-FB87-4881-A317-F716839E71F7}"), &clsid);
         Module::Get().get_class_object(clsid, IID_IClassFactory, factory.PutVoid());
         if (!factory) return std::string(" no factory");
         ComPtr<IUnknown> made;
         const HRESULT outcome =
             factory->CreateInstance(factory.Get(), IID_IUnknown, made.PutVoid());
         factory.Reset();
         std::string wrong = outcome == CLASS_E_NOAGGREGATION ? "" : " answered " + Hex(outcome);
         if (Module::Get().can_unload_now() != S_OK) wrong += " the module is still in use";
         return wrong;
       }});
}

}  // namespace clasp::hostile
