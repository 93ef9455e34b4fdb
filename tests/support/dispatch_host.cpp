#include "support/dispatch_host.h"

#include <utility>

#include "host/encoding.h"
#include "host/text.h"

namespace clasp::testing {
namespace {

// The source every failure raised by a test host names.
constexpr wchar_t kSource[] = L"DispatchHost";

std::string Narrow(std::wstring_view text) {
  return Utf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// DISP_E_EXCEPTION with the EXCEPINFO filled as an automation member fills it;
// a caller that passes no EXCEPINFO gets the failure's own code instead.
HRESULT RaiseWith(EXCEPINFO* info, SCODE scode, WORD code, std::wstring_view description) {
  if (!info) return scode ? scode : DISP_E_EXCEPTION;
  *info = EXCEPINFO{};
  info->scode = scode;
  info->wCode = code;
  info->bstrDescription =
      SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
  info->bstrSource = SysAllocString(kSource);
  return DISP_E_EXCEPTION;
}

}  // namespace

void PrintTo(Binding binding, std::ostream* out) {
  switch (binding) {
    case Binding::kDispatch: *out << "Dispatch"; return;
    case Binding::kExtended: *out << "Extended"; return;
    case Binding::kScriptLike: *out << "ScriptLike"; return;
  }
}

ComPtr<DispatchHost> DispatchHost::Create(std::string name, HostOptions options) {
  return ComPtr<DispatchHost>::Adopt(new DispatchHost(std::move(name), std::move(options)));
}

DispatchHost::DispatchHost(std::string name, HostOptions options)
    : name_(std::move(name)), options_(std::move(options)) {}

DispatchHost::Member& DispatchHost::Declare(std::wstring_view name) {
  for (Member& member : members_) {
    if (SameIgnoringCase(std::wstring_view(member.name), name)) return member;
  }
  Member& added = members_.emplace_back();
  added.name = name;
  return added;
}

DispatchHost& DispatchHost::Returns(std::wstring_view member, const VARIANT& value) {
  Member& declared = Declare(member);
  declared.answers = true;
  // VariantCopy only reads its source; its signature predates const.
  VariantCopy(declared.answer.Put(), const_cast<VARIANT*>(&value));
  return *this;
}

DispatchHost& DispatchHost::Raises(std::wstring_view member, SCODE scode,
                                   std::wstring_view description) {
  Member& declared = Declare(member);
  declared.raises = true;
  declared.scode = scode;
  declared.description = description;
  return *this;
}

DispatchHost& DispatchHost::Calls(std::wstring_view member, HostAction action) {
  Declare(member).action = std::make_shared<const HostAction>(std::move(action));
  return *this;
}

DispatchHost& DispatchHost::Knows(std::wstring_view member) {
  Declare(member);
  return *this;
}

DispatchHost& DispatchHost::ScribblesOnNames() {
  scribbles_on_names_ = true;
  return *this;
}

DispatchHost& DispatchHost::Lacks(std::wstring_view member) {
  Declare(member).missing = true;
  return *this;
}

DispatchHost& DispatchHost::Defaults(const VARIANT& value) {
  default_.emplace();
  VariantCopy(default_->Put(), const_cast<VARIANT*>(&value));
  return *this;
}

HRESULT DispatchHost::Resolve(std::wstring_view name, DISPID* id) {
  // Found by scanning: host tables are short, and a benchmark host must cost
  // what a plain automation object costs.
  std::size_t index = 0;
  while (index < members_.size() &&
         !SameIgnoringCase(std::wstring_view(members_[index].name), name)) {
    ++index;
  }
  if (index == members_.size()) members_.emplace_back().name = name;
  if (members_[index].missing) return DISP_E_UNKNOWNNAME;
  *id = static_cast<DISPID>(index + 1);
  return S_OK;
}

HRESULT DispatchHost::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (options_.log && iid != IID_IUnknown) asked_.push_back(iid);
  const bool known = iid == IID_IUnknown || iid == IID_IDispatch ||
                     (options_.binding != Binding::kDispatch && iid == __uuidof(IDispatchEx));
  if (options_.error_info && iid == IID_ISupportErrorInfo) {
    *out = static_cast<ISupportErrorInfo*>(this);
    AddRef();
    return S_OK;
  }
  if (!known && !options_.every_iid) return E_NOINTERFACE;
  *out = static_cast<IDispatchEx*>(this);
  AddRef();
  return S_OK;
}

ULONG DispatchHost::AddRef() {
  const ULONG held = ++count_;
  if (on_next_add_ref_) std::exchange(on_next_add_ref_, nullptr)();
  return held;
}

DispatchHost& DispatchHost::OnLookup(std::function<void(wchar_t* name)> action) {
  on_lookup_ = std::move(action);
  return *this;
}

DispatchHost& DispatchHost::OnNextAddRef(std::function<void()> action) {
  on_next_add_ref_ = std::move(action);
  return *this;
}

ULONG DispatchHost::Release() {
  const ULONG left = --count_;
  if (left == 0) delete this;
  return left;
}

HRESULT DispatchHost::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DispatchHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT DispatchHost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  // Script class objects answer names only through GetDispID.
  if (options_.binding == Binding::kScriptLike) return E_NOTIMPL;
  if (!names || !names[0] || !ids) return E_POINTER;
  if (count != 1) return DISP_E_UNKNOWNNAME;
  ++name_lookups_;
  const HRESULT found = Resolve(names[0], ids);
  if (scribbles_on_names_ && names[0][0] != 0) names[0][0] = L'?';
  if (on_lookup_) on_lookup_(names[0]);
  return found;
}

HRESULT DispatchHost::GetDispID(BSTR name, DWORD, DISPID* id) {
  if (!name || !id) return E_POINTER;
  ++dispid_lookups_;
  const HRESULT found = Resolve(std::wstring_view(name, SysStringLen(name)), id);
  if (scribbles_on_names_ && SysStringLen(name) != 0) name[0] = L'?';
  if (on_lookup_) on_lookup_(name);
  return found;
}

HRESULT DispatchHost::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* info, UINT*) {
  ++invokes_;
  return Call(id, flags, params, result, info);
}

HRESULT DispatchHost::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* info, IServiceProvider*) {
  ++ex_invokes_;
  return Call(id, flags, params, result, info);
}

void DispatchHost::Log(const Member& member, bool put, bool well_formed,
                       const DISPPARAMS& params) const {
  std::string line = name_ + "." + Narrow(member.name);
  if (put) {
    line += well_formed ? " = " + ShowVariant(params.rgvarg[0]) : " (malformed put)";
  } else {
    line += "(";
    for (UINT i = 0; i < params.cArgs; ++i) {
      if (i) line += ", ";
      // DISPPARAMS holds the last argument first.
      line += ShowVariant(params.rgvarg[params.cArgs - 1 - i]);
    }
    line += ")";
  }
  options_.log->push_back(std::move(line));
}

HRESULT DispatchHost::Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* info) {
  if (id < 1 || static_cast<std::size_t>(id) > members_.size()) {
    if (id != DISPID_VALUE || !default_ || !(flags & DISPATCH_PROPERTYGET)) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    return result ? VariantCopyOf(result, *default_) : S_OK;
  }
  if (!params) return E_POINTER;
  const std::size_t index = static_cast<std::size_t>(id - 1);
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (options_.log || members_[index].action) {
    return CallScripted(index, put, *params, result, info);
  }
  // The benchmark's path: no more work than any automation object does.
  const Member& member = members_[index];
  if (member.raises) return RaiseWith(info, member.scode, 0, member.description);
  if (put || !result) return S_OK;
  VariantInit(result);
  if (!member.answers) return S_OK;
  return VariantCopyOf(result, member.answer);
}

HRESULT DispatchHost::CallScripted(std::size_t index, bool put, DISPPARAMS& params,
                                   VARIANT* result, EXCEPINFO* info) {
  const bool well_formed = !put || (params.cArgs == 1 && params.cNamedArgs == 1 &&
                                    params.rgdispidNamedArgs &&
                                    params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT);
  if (options_.log) Log(members_[index], put, well_formed, params);
  if (!well_formed) return DISP_E_BADPARAMCOUNT;

  if (members_[index].action) {
    // Both kept: the action may drop the caller's last count on this host,
    // replace itself or declare members (which moves the table).
    const ComPtr<DispatchHost> keep_alive(this);
    const std::shared_ptr<const HostAction> action = members_[index].action;
    return (*action)(params, put ? nullptr : result, info);
  }
  Member& member = members_[index];
  if (member.raises) return RaiseWith(info, member.scode, 0, member.description);
  if (put) {
    VariantCopyInd(member.put.Put(), &params.rgvarg[0]);
    return S_OK;
  }
  if (!result) return S_OK;
  VariantInit(result);
  // A property read answers the last value put when nothing else is scripted.
  if (member.answers) return VariantCopyOf(result, member.answer);
  if (params.cArgs == 0) return VariantCopyOf(result, member.put);
  return S_OK;
}

StepHosts::StepHosts(HostOptions options)
    : log(options.log),
      disp(DispatchHost::Create("StepDisp", options)),
      mks(DispatchHost::Create("StepMks", options)),
      run(DispatchHost::Create("StepRunModul", options)),
      trac(DispatchHost::Create("StepTrac", options)),
      jour(DispatchHost::Create("StepJour", options)) {}

HRESULT StepHosts::AssignByName(IDispatch* component) const {
  for (DispatchHost* host : All()) {
    const std::wstring property(host->Name().begin(), host->Name().end());
    LPOLESTR names[] = {const_cast<LPOLESTR>(property.c_str())};
    DISPID id = DISPID_UNKNOWN;
    HRESULT result = component->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    VARIANT object;
    V_VT(&object) = VT_DISPATCH;
    V_DISPATCH(&object) = host;  // borrowed for the call
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&object, &named, 1, 1};
    if (SUCCEEDED(result)) {
      result = component->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF,
                                 &params, nullptr, nullptr, nullptr);
    }
    if (FAILED(result)) return result;
  }
  return S_OK;
}

std::vector<DispatchHost*> StepHosts::All() const {
  return {disp.Get(), mks.Get(), run.Get(), trac.Get(), jour.Get()};
}

std::string StepHosts::CountsLeft() const {
  std::string left;
  for (const DispatchHost* host : All()) {
    if (host->RefCount() != 1) {
      left += " " + host->Name() + " holds " + std::to_string(host->RefCount()) + " counts;";
    }
  }
  return left;
}

HostAction RaiseExcepInfo(SCODE scode, WORD code, const std::wstring& description) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
    return RaiseWith(info, scode, code, description);
  };
}

namespace {
// The deferred fill-in reads what to fill from these; one failure at a time.
SCODE g_deferred_scode = 0;
std::wstring g_deferred_description;

HRESULT __stdcall FillDeferred(EXCEPINFO* info) {
  info->scode = g_deferred_scode;
  info->bstrDescription = SysAllocString(g_deferred_description.c_str());
  return S_OK;
}
}  // namespace

HostAction RaiseDeferred(SCODE scode, const std::wstring& description) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
    if (!info) return scode;
    g_deferred_scode = scode;
    g_deferred_description = description;
    *info = EXCEPINFO{};
    info->pfnDeferredFillIn = FillDeferred;
    return DISP_E_EXCEPTION;
  };
}

HostAction RaiseErrorObject(HRESULT result, const std::wstring& description) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    ComPtr<ICreateErrorInfo> create;
    CreateErrorInfo(create.Put());
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    SetErrorInfo(0, QueryAs<IErrorInfo>(create.Get()).Get());
    return result;
  };
}

HostAction RaiseHresult(HRESULT result) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO*) { return result; };
}

}  // namespace clasp::testing
