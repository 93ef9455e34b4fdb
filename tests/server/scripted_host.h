// A host object for the Windows tests, written straight against IDispatch(Ex)
// so that it sees exactly the VARIANTs the component passes, and fails in each
// of the ways real automation objects do.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <dispex.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "server/com/owners.h"

namespace clasp::testing {

// One ordered log shared by the hosts of a test, one line per access:
//   StepDisp.ScreenNo = VT_I2 420
//   StepTrac.TraceWrite(VT_BSTR "c:\...", VT_BYREF|VT_BSTR "Disp420: 0", VT_BSTR "Clench")
using CallLog = std::vector<std::string>;

// Readable form of a VARIANT with its exact type, e.g. `VT_I4 12`, `VT_ARRAY|VT_UI1 {1,2}`.
std::string ShowVariant(const VARIANT& value);

// Runs in place of a member: the arguments (last first, as DISPPARAMS has
// them), the result to fill and the EXCEPINFO to fill; returns the HRESULT.
using HostAction = std::function<HRESULT(DISPPARAMS& params, VARIANT* result, EXCEPINFO* info)>;

class ScriptedHost final : public IDispatchEx {
 public:
  // kDispatch: names through GetIDsOfNames, no IDispatchEx. kScriptLike: like
  // a script class object, GetDispID only and GetIDsOfNames refused.
  enum class Binding { kDispatch, kScriptLike };

  static ComPtr<ScriptedHost> Create(std::string name, std::shared_ptr<CallLog> log,
                                     Binding binding = Binding::kDispatch);

  // A member call or property read answers a copy of `value`.
  ScriptedHost& Returns(const std::wstring& member, const VARIANT& value);
  ScriptedHost& Calls(const std::wstring& member, HostAction action);
  // Name resolution fails for `member`.
  ScriptedHost& Lacks(const std::wstring& member);

  ULONG RefCount() const { return count_; }
  // How many names were resolved through GetDispID and through GetIDsOfNames.
  int DispIdLookups() const { return dispid_lookups_; }
  int NameLookups() const { return name_lookups_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT*) override;
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) override;
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info,
                                     IServiceProvider*) override;
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

 private:
  ScriptedHost(std::string name, std::shared_ptr<CallLog> log, Binding binding);
  ~ScriptedHost() = default;

  HRESULT Resolve(const wchar_t* name, DISPID* id);
  HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info);

  struct Member {
    std::wstring name;
    std::shared_ptr<Variant> answer;  // fixed answer, if any
    HostAction action;
    bool missing = false;
    std::shared_ptr<Variant> property;  // last value put
  };

  std::atomic<ULONG> count_{1};
  std::string name_;
  std::shared_ptr<CallLog> log_;
  Binding binding_;
  std::vector<Member> members_;  // dispatch identifier = index + 1
  int dispid_lookups_ = 0;
  int name_lookups_ = 0;
};

// Test names and traces show the binding by name.
inline void PrintTo(ScriptedHost::Binding binding, std::ostream* out) {
  *out << (binding == ScriptedHost::Binding::kDispatch ? "Dispatch" : "ScriptLike");
}

// VARIANT makers for answers and expectations.
Variant MakeI2(SHORT value);
Variant MakeI4(LONG value);
Variant MakeText(const std::wstring& text);
Variant MakeDate(DATE value);
Variant MakeCurrency(LONGLONG scaled);
Variant MakeDecimal(BYTE scale, bool negative, ULONG high, ULONGLONG low);
Variant MakeBytes(const std::vector<BYTE>& bytes);
Variant MakeDispatch(IDispatch* object);

// Failure styles of automation members, as HostActions.
// DISP_E_EXCEPTION with scode (or wCode when `scode` is 0) and a description.
HostAction RaiseExcepInfo(SCODE scode, WORD code, const std::wstring& description);
// The same, filled in only when the caller runs the deferred fill-in.
HostAction RaiseDeferred(SCODE scode, const std::wstring& description);
// A plain failing HRESULT with an error object describing it.
HostAction RaiseErrorObject(HRESULT result, const std::wstring& description);
// A plain failing HRESULT and nothing else.
HostAction RaiseHresult(HRESULT result);

}  // namespace clasp::testing
