#include "host.h"

#include <string_view>

#include "host/text.h"

namespace clasp::hostile {

ComPtr<Host> Host::Create(std::wstring name, std::shared_ptr<Record> record, bool extended,
                          bool every_iid) {
  return ComPtr<Host>::Adopt(new Host(std::move(name), std::move(record), extended, every_iid));
}

Host::Host(std::wstring name, std::shared_ptr<Record> record, bool extended, bool every_iid)
    : name_(std::move(name)),
      record_(std::move(record)),
      extended_(extended),
      every_iid_(every_iid) {}

void Host::Answers(const std::wstring& member, const VARIANT& value) {
  auto kept = std::make_shared<Variant>();
  VariantCopy(kept->Put(), const_cast<VARIANT*>(&value));
  On(member, [kept](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
    return result ? VariantCopy(result, const_cast<VARIANT*>(&kept->Get())) : S_OK;
  });
}

HRESULT Host::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown) asked_.push_back(iid);
  const bool known =
      iid == IID_IUnknown || iid == IID_IDispatch || (extended_ && iid == __uuidof(IDispatchEx));
  if (!known && !every_iid_) return E_NOINTERFACE;
  *out = static_cast<IDispatchEx*>(this);
  AddRef();
  return S_OK;
}

ULONG Host::Release() {
  const ULONG left = --count_;
  if (left == 0) delete this;
  return left;
}

HRESULT Host::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

HRESULT Host::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

DISPID Host::IdOf(const wchar_t* name) {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (SameIgnoringCase(std::wstring_view(names_[i]), std::wstring_view(name))) return static_cast<DISPID>(i + 1);
  }
  names_.emplace_back(name);
  return static_cast<DISPID>(names_.size());
}

HRESULT Host::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count != 1) return E_INVALIDARG;
  ids[0] = IdOf(names[0]);
  return S_OK;
}

HRESULT Host::GetDispID(BSTR name, DWORD, DISPID* id) {
  if (!id) return E_POINTER;
  *id = IdOf(name);
  return S_OK;
}

HRESULT Host::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* info, UINT*) {
  return Call(id, params, result, info);
}

HRESULT Host::InvokeEx(DISPID id, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                       IServiceProvider*) {
  return Call(id, params, result, info);
}

HRESULT Host::Call(DISPID id, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info) {
  if (id < 1 || static_cast<std::size_t>(id) > names_.size()) return DISP_E_MEMBERNOTFOUND;
  // The name is copied: an action may look up new names.
  const std::wstring member = names_[id - 1];
  // TraceWrite(path, text by reference, source): the text is what a trace holds.
  constexpr UINT kTraceArguments = 3;
  if (member == L"TraceWrite" && params && params->cArgs == kTraceArguments &&
      V_VT(&params->rgvarg[1]) == (VT_BYREF | VT_BSTR)) {
    const BSTR text = *V_BSTRREF(&params->rgvarg[1]);
    record_->traces.emplace_back(text ? text : L"");
  }
  const auto action = actions_.find(member);
  if (action == actions_.end()) return S_OK;
  // A copy: the action may replace itself.
  const Action run = action->second;
  return run(*params, result, info);
}

}  // namespace clasp::hostile
