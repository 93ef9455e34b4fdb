// A hostile caller: values no automation value can be, and requests that are
// malformed, handed to the component through its table and through Invoke.
#include <vector>

#include "attacks.h"
#include "stage.h"

namespace clasp::hostile {
namespace {

constexpr DISPID kUnknownMember = 0x12345;
constexpr VARTYPE kGarbageByReference = 0x7FFF;
constexpr VARTYPE kGarbage = 0x0FFF;

// A VARIANT under attack, with room for what it points to.
struct Bad {
  VARIANT value;
  VARIANT inner;
  LONG number;
};

struct ValueRow {
  const char* name;
  void (*make)(Bad& bad);
  HRESULT expected;
};

const ValueRow kValueRows[] = {
    {"by-reference VARIANT, null pointer",
     [](Bad& b) {
       V_VT(&b.value) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(&b.value) = nullptr;
     },
     E_POINTER},
    {"by-reference BSTR, null pointer",
     [](Bad& b) {
       V_VT(&b.value) = VT_BYREF | VT_BSTR;
       V_BSTRREF(&b.value) = nullptr;
     },
     E_POINTER},
    {"by-reference I4, null pointer",
     [](Bad& b) {
       V_VT(&b.value) = VT_BYREF | VT_I4;
       V_I4REF(&b.value) = nullptr;
     },
     E_POINTER},
    {"by-reference VARIANT pointing at itself",
     [](Bad& b) {
       V_VT(&b.value) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(&b.value) = &b.value;
     },
     DISP_E_BADVARTYPE},
    {"by-reference VARIANT pointing at a by-reference I4",
     [](Bad& b) {
       V_VT(&b.inner) = VT_BYREF | VT_I4;
       V_I4REF(&b.inner) = &b.number;
       V_VT(&b.value) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(&b.value) = &b.inner;
     },
     DISP_E_BADVARTYPE},
    {"garbage kind with the by-reference bit",
     [](Bad& b) {
       V_VT(&b.value) = kGarbageByReference;
       V_BYREF(&b.value) = &b.number;
     },
     DISP_E_BADVARTYPE},
    {"garbage kind by value", [](Bad& b) { V_VT(&b.value) = kGarbage; }, DISP_E_BADVARTYPE},
    {"bare VT_VARIANT", [](Bad& b) { V_VT(&b.value) = VT_VARIANT; }, DISP_E_BADVARTYPE},
    {"vector of I4", [](Bad& b) { V_VT(&b.value) = VT_VECTOR | VT_I4; }, DISP_E_BADVARTYPE},
    {"by-reference VARIANT holding I4 42",
     [](Bad& b) {
       V_VT(&b.inner) = VT_I4;
       V_I4(&b.inner) = 42;
       V_VT(&b.value) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(&b.value) = &b.inner;
     },
     S_OK},
};

// Puts `value` into DisapleVal01 by the table or by Invoke; the display must
// receive it only when the put succeeds, and then as I4 42.
std::string PutDisplayValue(const ValueRow& row, bool by_invoke) {
  Stage stage;
  if (!stage.component) return " no component";
  std::vector<std::wstring> received;
  stage.disp->Calls(L"DisapleVal01", [&](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
    const VARIANT& arg = params.rgvarg[0];
    received.push_back(V_VT(&arg) == VT_I4 ? std::to_wstring(V_I4(&arg)) : L"another kind");
    return S_OK;
  });
  stage.Assign();
  Bad bad{};
  bad.number = 7;
  row.make(bad);
  HRESULT outcome;
  if (by_invoke) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&bad.value, &named, 1, 1};
    outcome = stage.component->Invoke(kDisapleVal01Id, IID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  } else {
    outcome = stage.component->put_DisapleVal01(bad.value);
  }
  std::string wrong;
  if (outcome != row.expected)
    wrong += " answered " + Hex(outcome) + ", not " + Hex(row.expected) + ";";
  const std::vector<std::wstring> expected_received =
      row.expected == S_OK ? std::vector<std::wstring>{L"42"} : std::vector<std::wstring>{};
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

const RequestRow kRequestRows[] = {
    {"Invoke: named arguments counted, no array",
     [](IDispatch* c) {
       Variant value = MakeText(L"12");
       DISPPARAMS params{value.Address(), nullptr, 1, 1};
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
       Variant value = MakeText(L"12");
       DISPID named[] = {DISPID_PROPERTYPUT, DISPID_PROPERTYPUT};
       DISPPARAMS params{value.Address(), named, 1, 2};
       return Put(c, kScreenNoId, &params);
     },
     E_INVALIDARG},
    {"Invoke: put with an extra positional argument",
     [](IDispatch* c) {
       VARIANT values[2];
       V_VT(&values[0]) = VT_I4;
       V_I4(&values[0]) = 1;
       V_VT(&values[1]) = VT_I4;
       V_I4(&values[1]) = 2;
       DISPID named = DISPID_PROPERTYPUT;
       DISPPARAMS params{values, &named, 2, 1};
       return Put(c, kScreenNoId, &params);
     },
     DISP_E_BADPARAMCOUNT},
    {"Invoke: put through an unknown named argument",
     [](IDispatch* c) {
       Variant value = MakeText(L"12");
       DISPID named = 5;
       DISPPARAMS params{value.Address(), &named, 1, 1};
       return Put(c, kScreenNoId, &params);
     },
     DISP_E_PARAMNOTFOUND},
    {"Invoke: put with an unknown named argument beside the value",
     [](IDispatch* c) {
       VARIANT values[2];
       V_VT(&values[0]) = VT_BSTR;
       V_BSTR(&values[0]) = nullptr;
       V_VT(&values[1]) = VT_I4;
       V_I4(&values[1]) = 2;
       DISPID named[] = {DISPID_PROPERTYPUT, 7};
       DISPPARAMS params{values, named, 2, 2};
       return Put(c, kScreenNoId, &params);
     },
     DISP_E_PARAMNOTFOUND},
    {"Invoke: Cols with a named argument",
     [](IDispatch* c) {
       Variant value = MakeI4(1);
       DISPID named = 1;
       DISPPARAMS params{value.Address(), &named, 1, 1};
       Variant result;
       return c->Invoke(kColsId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                        result.Put(), nullptr, nullptr);
     },
     DISP_E_PARAMNOTFOUND},
    {"Invoke: Cols with an argument",
     [](IDispatch* c) {
       Variant value = MakeI4(1);
       DISPPARAMS params{value.Address(), nullptr, 1, 0};
       Variant result;
       return c->Invoke(kColsId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                        result.Put(), nullptr, nullptr);
     },
     DISP_E_BADPARAMCOUNT},
    {"Invoke: interface identifier not null",
     [](IDispatch* c) {
       DISPPARAMS params{nullptr, nullptr, 0, 0};
       return c->Invoke(kColsId, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                        nullptr, nullptr, nullptr);
     },
     DISP_E_UNKNOWNINTERFACE},
    {"Invoke: unknown member",
     [](IDispatch* c) {
       DISPPARAMS params{nullptr, nullptr, 0, 0};
       return c->Invoke(kUnknownMember, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                        nullptr, nullptr, nullptr);
     },
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
     [](IDispatch* c) {
       DISPPARAMS params{nullptr, nullptr, 0, 0};
       return c->Invoke(kColsId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        nullptr, nullptr);
     },
     S_OK},
    {"Invoke: a read of a member that can only be put",
     [](IDispatch* c) {
       DISPPARAMS params{nullptr, nullptr, 0, 0};
       Variant result;
       return c->Invoke(kScreenNoId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params,
                        result.Put(), nullptr, nullptr);
     },
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
  for (const ValueRow& row : kValueRows) {
    attacks.push_back(
        {std::string("caller puts ") + row.name, [&row] { return PutDisplayValue(row, false); }});
    attacks.push_back({std::string("caller puts by Invoke ") + row.name,
                       [&row] { return PutDisplayValue(row, true); }});
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
