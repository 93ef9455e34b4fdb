// Reaching Holdfast.dll from the tests: loaded directly, created by ProgID,
// and called by name the way a late-binding host calls it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

#include "server/com/owners.h"
#include "support/com_values.h"
#include "support/dispatch_host.h"

namespace clasp::testing {

// The identities, written out here on purpose: a change in the IDL must fail.
inline constexpr wchar_t kClsidText[] = L"{5D3B8000-FB87-4881-A317-F716839E71F7}";
inline constexpr wchar_t kLibidText[] = L"{57077DE8-E73B-43A7-BF84-57D466CC9376}";
inline constexpr wchar_t kIidText[] = L"{9973A428-EA4E-45BA-9393-22DEADA18D8E}";
inline constexpr wchar_t kIidV0Text[] = L"{44965D7D-2220-4EAA-8C31-9F194DF3F3C8}";
inline constexpr wchar_t kIidV1Text[] = L"{7ED3A0C2-565A-4A1A-A832-84156A9CC18F}";
inline constexpr wchar_t kProgId[] = L"Clasp.Holdfast";
// What Cols answers when the card was captured.
inline constexpr LONG kRetained = 10120011;

GUID GuidOf(const wchar_t* text);
std::wstring TextOfGuid(REFGUID guid);

// Holdfast.dll beside the test program, loaded once with its four exports.
struct Server {
  static const Server& Get();
  HMODULE module = nullptr;
  std::wstring path;
  HRESULT(__stdcall* get_class_object)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(__stdcall* can_unload_now)() = nullptr;
  HRESULT(__stdcall* register_server)() = nullptr;
  HRESULT(__stdcall* unregister_server)() = nullptr;
};

// A new component through the registry, as hosts create it.
ComPtr<IDispatch> CreateByProgId();

// Calls `name` through IDispatch::Invoke; `args` in positional order.
HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags,
                   std::vector<VARIANT> args, VARIANT* result, EXCEPINFO* info);
// Property put (or put by reference for objects) through IDispatch::Invoke.
HRESULT PutByName(IDispatch* object, const wchar_t* name, const VARIANT& value,
                  EXCEPINFO* info = nullptr);
// Cols through IDispatch; fails the test when the call fails.
LONG RunCols(IDispatch* component);

// The five hosts of a server test, logging to one log.
struct ComHostSet : StepHosts {
  explicit ComHostSet(Binding binding = Binding::kDispatch)
      : StepHosts({binding, std::make_shared<CallLog>()}) {}
  // Assigns them by name; a refusal fails the test.
  void AssignTo(IDispatch* component) const;
};

}  // namespace clasp::testing
