// A host object written straight against IDispatch(Ex), for the programs that
// drive Holdfast.dll as a host does (server tests, hostile attacks, load and
// allocation-failure runs, the COM benchmark): it sees exactly the VARIANTs
// the component passes and answers from a table of members, failing in each
// of the ways automation objects do. StepHosts makes the five a component is
// given.
//
// Made with a log, it writes one line per access, remembers what was put and
// which interfaces it was asked for. Made without one it only answers, so that
// a benchmark pays for nothing but the lookup and the copy of the answer.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <dispex.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "server/com/owners.h"
#include "support/call_log.h"

namespace clasp::testing {

// Runs in place of a member: the arguments (last first, as DISPPARAMS has
// them), the result to fill (null for a put) and the EXCEPINFO to fill;
// returns the HRESULT.
using HostAction = std::function<HRESULT(DISPPARAMS& params, VARIANT* result, EXCEPINFO* info)>;

// How the host is reached by name.
enum class Binding {
  kDispatch,    // IDispatch only, names through GetIDsOfNames
  kExtended,    // IDispatchEx too, names through either
  kScriptLike,  // as a script class object: GetDispID only, GetIDsOfNames refused
};

// Test names and traces show the binding by name.
void PrintTo(Binding binding, std::ostream* out);

// What a host is made with besides its name.
struct HostOptions {
  Binding binding = Binding::kDispatch;
  // Receives a line per access; null for a host that only answers.
  std::shared_ptr<CallLog> log = nullptr;
  // QueryInterface answers S_OK, with this object, for every interface asked for.
  bool every_iid = false;
  // Answers ISupportErrorInfo, vouching for the error objects it leaves on
  // IDispatch and IDispatchEx calls.
  bool error_info = false;
};

class DispatchHost final : public IDispatchEx, public ISupportErrorInfo {
 public:
  // A new host holding the one count the result owns. `name` starts its log lines.
  static ComPtr<DispatchHost> Create(std::string name, HostOptions options = {});

  // A member call or property read answers a copy of `value`.
  DispatchHost& Returns(std::wstring_view member, const VARIANT& value);
  // Every call of the member fails with DISP_E_EXCEPTION carrying `scode` and `description`.
  DispatchHost& Raises(std::wstring_view member, SCODE scode, std::wstring_view description);
  // `action` runs in place of the member, puts included.
  DispatchHost& Calls(std::wstring_view member, HostAction action);
  // The member answers Empty and takes puts; declared so that it holds its
  // place in the table (lookups scan it in order) before it is first asked for.
  DispatchHost& Knows(std::wstring_view member);
  // Name resolution fails for `member`.
  DispatchHost& Lacks(std::wstring_view member);
  // Reads of the default member (DISPID_VALUE), as the platform's conversions
  // make them, answer a copy of `value`; anything else asked of it is refused.
  DispatchHost& Defaults(const VARIANT& value);
  // Writes into every name it is asked for once it has read it, as a careless
  // host might, though the text is not its own.
  DispatchHost& ScribblesOnNames();

  // `action` runs inside every name lookup, after the name is resolved, with
  // the name as the host was handed it: a host that writes into it, or calls
  // back in while it is being asked.
  DispatchHost& OnLookup(std::function<void(wchar_t* name)> action);
  // `action` runs inside the next AddRef, once: a host doing work where no
  // caller expects any.
  DispatchHost& OnNextAddRef(std::function<void()> action);

  // The name its log lines start with.
  const std::string& Name() const { return name_; }

  ULONG RefCount() const { return count_.load(); }
  // How many names were resolved through GetDispID and through GetIDsOfNames.
  int DispIdLookups() const { return dispid_lookups_; }
  int NameLookups() const { return name_lookups_; }
  // How many calls came through IDispatch::Invoke and through IDispatchEx::InvokeEx.
  int Invokes() const { return invokes_; }
  int ExInvokes() const { return ex_invokes_; }
  // Interfaces other than IUnknown asked for through QueryInterface (logged hosts only).
  const std::vector<GUID>& Asked() const { return asked_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
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
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == IID_IDispatch || iid == __uuidof(IDispatchEx) ? S_OK : S_FALSE;
  }

 private:
  struct Member {
    std::wstring name;
    bool missing = false;
    bool answers = false;
    bool raises = false;
    Variant answer;
    // Shared, so that a running action survives its member being replaced.
    std::shared_ptr<const HostAction> action;
    SCODE scode = S_OK;
    std::wstring description;
    Variant put;  // the last value put, kept by logged hosts
  };

  DispatchHost(std::string name, HostOptions options);
  ~DispatchHost() = default;

  // Every name resolves (a new one answers Empty) unless it was declared lacking.
  HRESULT Resolve(std::wstring_view name, DISPID* id);
  Member& Declare(std::wstring_view name);
  HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info);
  // The same for a logged host or a member with an action.
  HRESULT CallScripted(std::size_t index, bool put, DISPPARAMS& params, VARIANT* result,
                       EXCEPINFO* info);
  void Log(const Member& member, bool put, bool well_formed, const DISPPARAMS& params) const;

  std::atomic<ULONG> count_{1};
  std::string name_;
  HostOptions options_;
  std::vector<Member> members_;  // dispatch identifier = index + 1
  std::optional<Variant> default_;
  bool scribbles_on_names_ = false;
  std::function<void()> on_next_add_ref_;
  std::function<void(wchar_t*)> on_lookup_;
  int dispid_lookups_ = 0;
  int name_lookups_ = 0;
  int invokes_ = 0;
  int ex_invokes_ = 0;
  std::vector<GUID> asked_;
};

// The five step objects of one component, made alike (one binding, one log
// or none), each named after the property it is assigned to.
struct StepHosts {
  explicit StepHosts(HostOptions options = {});
  // Assigns each host by name through IDispatch, as a late-bound host does;
  // the first failure, or S_OK.
  HRESULT AssignByName(IDispatch* component) const;
  // The hosts in the order they are assigned.
  std::vector<DispatchHost*> All() const;
  // Empty when this set alone holds each host again; else the counts left.
  std::string CountsLeft() const;

  std::shared_ptr<CallLog> log;
  ComPtr<DispatchHost> disp, mks, run, trac, jour;
};

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
