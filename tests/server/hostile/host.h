// A C++ host object that misbehaves on command: it answers each member through
// an action of the attack's choosing, may claim every interface identifier,
// and records what the component asked of it.
#pragma once

#include <windows.h>
#include <dispex.h>
#include <oleauto.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/com/owners.h"

namespace clasp::hostile {

class Host;

// Answers one member: the arguments as the caller passed them (last first),
// the result to fill and the EXCEPINFO; returns the HRESULT.
using Action = std::function<HRESULT(DISPPARAMS& params, VARIANT* result, EXCEPINFO* info)>;

// What every host of one attack shares: the trace texts the trace writer was
// given, in order.
struct Record {
  std::vector<std::wstring> traces;
};

class Host final : public IDispatchEx {
 public:
  // `extended`: offers IDispatchEx. `every_iid`: answers S_OK, with itself, for
  // every interface identifier it is asked for.
  static ComPtr<Host> Create(std::wstring name, std::shared_ptr<Record> record,
                             bool extended = true, bool every_iid = false);

  // Runs `action` in place of `member`'s default answer (VT_EMPTY).
  void On(const std::wstring& member, Action action) { actions_[member] = std::move(action); }
  // The member answers a copy of `value`.
  void Answers(const std::wstring& member, const VARIANT& value);

  ULONG Count() const { return count_; }
  // Interface identifiers asked for through QueryInterface, other than IUnknown.
  const std::vector<GUID>& Asked() const { return asked_; }

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
                                     VARIANT* result, EXCEPINFO* info, IServiceProvider*) override;
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

 private:
  Host(std::wstring name, std::shared_ptr<Record> record, bool extended, bool every_iid);
  ~Host() = default;

  DISPID IdOf(const wchar_t* name);
  HRESULT Call(DISPID id, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info);

  std::atomic<ULONG> count_{1};
  std::wstring name_;
  std::shared_ptr<Record> record_;
  bool extended_;
  bool every_iid_;
  std::vector<std::wstring> names_;  // dispatch identifier = index + 1
  std::map<std::wstring, Action> actions_;
  std::vector<GUID> asked_;
};

}  // namespace clasp::hostile
