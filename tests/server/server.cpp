#include "server.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string_view>

namespace clasp::testing {
namespace {

std::wstring Directory(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

template <class F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

GUID GuidOf(const wchar_t* text) {
  GUID guid{};
  if (FAILED(CLSIDFromString(const_cast<LPOLESTR>(text), &guid))) {
    throw std::invalid_argument("not a GUID");
  }
  return guid;
}

std::wstring TextOfGuid(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

const Server& Server::Get() {
  static const Server server = [] {
    Server s;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    s.path = Directory(self) + L"Holdfast.dll";
    s.module = LoadLibraryW(s.path.c_str());
    if (!s.module) throw std::runtime_error("Holdfast.dll did not load");
    s.get_class_object = Export<decltype(s.get_class_object)>(s.module, "DllGetClassObject");
    s.can_unload_now = Export<decltype(s.can_unload_now)>(s.module, "DllCanUnloadNow");
    s.register_server = Export<decltype(s.register_server)>(s.module, "DllRegisterServer");
    s.unregister_server = Export<decltype(s.unregister_server)>(s.module, "DllUnregisterServer");
    return s;
  }();
  return server;
}

ComPtr<IDispatch> CreateByProgId() {
  CLSID clsid{};
  ComPtr<IDispatch> component;
  if (SUCCEEDED(CLSIDFromProgID(kProgId, &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IDispatch),
                     component.PutVoid());
  }
  return component;
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags,
                   std::vector<VARIANT> args, VARIANT* result, EXCEPINFO* info) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(found)) return found;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  DISPID named = DISPID_PROPERTYPUT;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  UINT argument_error = 0;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, info,
                        &argument_error);
}

HRESULT PutByName(IDispatch* object, const wchar_t* name, const VARIANT& value,
                  EXCEPINFO* info) {
  // The five step objects are assigned by reference (Set), everything else by value.
  const bool step = std::wstring_view(name).substr(0, 4) == L"Step";
  const WORD flags = step ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
  return CallByName(object, name, flags, {value}, nullptr, info);
}

LONG RunCols(IDispatch* component) {
  Variant result;
  const HRESULT outcome =
      CallByName(component, L"Cols", DISPATCH_METHOD, {}, result.Put(), nullptr);
  EXPECT_EQ(outcome, S_OK);
  EXPECT_EQ(V_VT(&result.Get()), VT_I4);
  return V_I4(&result.Get());
}

void ComHostSet::AssignTo(IDispatch* component) const {
  EXPECT_EQ(AssignByName(component), S_OK);
}

}  // namespace clasp::testing
