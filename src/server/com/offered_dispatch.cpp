#include "server/com/offered_dispatch.h"

#include <dispex.h>

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "host/failure.h"
#include "host/text.h"
#include "server/com/com_object.h"
#include "server/com/default_member.h"
#include "server/com/error.h"
#include "server/com/value.h"

namespace clasp {
namespace {

// Identifiers start above DISPID_VALUE (0), which would mean the default member.
constexpr DISPID kFirstDispId = 1;

// The table of our own objects' IDispatchEx: an interface pointer whose table
// is this one was made here. Set by the first object made.
std::atomic<const void*> g_offered_table{nullptr};

const void* TableOf(const void* interface_pointer) noexcept {
  // Every COM interface pointer points at the address of its table.
  return *static_cast<const void* const*>(interface_pointer);
}

class OfferedDispatch final : public ComObject<OfferedDispatch, IDispatchEx> {
 public:
  const HostObject& Host() const noexcept { return host_; }

  void* Interface(REFIID iid) noexcept {
    if (iid == __uuidof(IDispatch) || iid == __uuidof(IDispatchEx)) {
      return static_cast<IDispatchEx*>(this);
    }
    return nullptr;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) noexcept override {
    if (!names || !ids || count == 0 || !names[0]) return E_INVALIDARG;
    try {
      ids[0] = IdOf(names[0]);
    } catch (...) {
      return ToHresult();
    }
    // Named arguments are not part of the hosts' contract.
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return count == 1 && ids[0] != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                                   UINT*) noexcept override {
    return InvokeEx(id, locale, flags, params, result, excep_info, nullptr);
  }

  // IDispatchEx
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) noexcept override {
    if (!id) return E_POINTER;
    try {
      *id = IdOf(name);
      return *id != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
    } catch (...) {
      return ToHresult();
    }
  }
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep_info,
                                     IServiceProvider*) noexcept override;
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* name) noexcept override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!Known(id)) return DISP_E_MEMBERNOTFOUND;
    try {
      *name = Bstr(names_[id - kFirstDispId]).Detach();
      return S_OK;
    } catch (...) {
      return ToHresult();
    }
  }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID id, DISPID* next) noexcept override {
    if (!next) return E_POINTER;
    const DISPID candidate = id == DISPID_STARTENUM ? kFirstDispId : id + 1;
    *next = Known(candidate) ? candidate : DISPID_UNKNOWN;
    return Known(candidate) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) noexcept override {
    if (parent) *parent = nullptr;
    return E_NOTIMPL;
  }

 private:
  friend class ComObject<OfferedDispatch, IDispatchEx>;
  explicit OfferedDispatch(HostObject host) : host_(std::move(host)) {
    g_offered_table.store(TableOf(static_cast<IDispatchEx*>(this)), std::memory_order_relaxed);
  }
  ~OfferedDispatch() = default;

  bool Known(DISPID id) const noexcept {
    return id >= kFirstDispId && static_cast<std::size_t>(id - kFirstDispId) < names_.size();
  }
  // The name's identifier, a new one for a new name; DISPID_UNKNOWN once the
  // table is full.
  DISPID IdOf(const wchar_t* name) {
    // GetIDsOfNames passes plain strings, not BSTRs: read up to the terminator.
    const std::u16string text = name ? reinterpret_cast<const char16_t*>(name) : u"";
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (SameIgnoringCase(std::u16string_view(names_[i]), std::u16string_view(text))) return static_cast<DISPID>(i) + kFirstDispId;
    }
    if (names_.size() >= kMostOfferedNames) return DISPID_UNKNOWN;
    names_.push_back(text);
    return static_cast<DISPID>(names_.size() - 1) + kFirstDispId;
  }
  HostValue Call(const std::u16string& member, WORD flags, DISPPARAMS& params);

  HostObject host_;
  // A deque, so that a name stays where it is while a host call made under it
  // asks for new names.
  std::deque<std::u16string> names_;
};

// The caller's malformed request, before anything is read through it.
HRESULT CheckParams(const DISPPARAMS* params) noexcept {
  if (!params) return E_INVALIDARG;
  if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
  if (params->cNamedArgs > 0 && !params->rgdispidNamedArgs) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  for (UINT i = 0; i < params->cArgs; ++i) {
    if (const HRESULT bad = CheckValue(params->rgvarg[i]); FAILED(bad)) return bad;
  }
  return S_OK;
}

bool IsTextReference(const VARIANT& arg) noexcept { return V_VT(&arg) == (VT_BYREF | VT_BSTR); }

HostValue OfferedDispatch::Call(const std::u16string& member, WORD flags, DISPPARAMS& params) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (params.cArgs != 1) throw WrongArgumentCountFailure();
    host_.Put(member, ToHostValue(params.rgvarg[0]));
    return {};
  }
  // DISPPARAMS lists the last argument first. By-reference text is handed on
  // by reference, and whatever the host leaves in it goes back to the caller,
  // whether the host succeeded or failed.
  const UINT count = params.cArgs;
  std::vector<std::u16string> texts(count);
  std::vector<HostValue> args;
  args.reserve(count);
  for (UINT i = 0; i < count; ++i) {
    const VARIANT& arg = params.rgvarg[count - 1 - i];
    if (IsTextReference(arg)) {
      texts[i] = TextOf(*V_BSTRREF(&arg));
      args.emplace_back(TextRef(texts[i]));
    } else {
      args.push_back(ToHostValue(arg));
    }
  }
  auto copy_back = [&] {
    for (UINT i = 0; i < count; ++i) {
      VARIANT& arg = params.rgvarg[count - 1 - i];
      if (!IsTextReference(arg) || TextOf(*V_BSTRREF(&arg)) == texts[i]) continue;
      BSTR replacement = Bstr(texts[i]).Detach();
      SysFreeString(*V_BSTRREF(&arg));
      *V_BSTRREF(&arg) = replacement;
    }
  };
  HostValue answer;
  try {
    answer = host_.InvokeArgs(member, args);
  } catch (...) {
    copy_back();
    throw;
  }
  copy_back();
  return answer;
}

HRESULT OfferedDispatch::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* excep_info, IServiceProvider*) noexcept {
  if (const HRESULT bad = CheckParams(params); FAILED(bad)) return bad;
  if (!Known(id) && id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
  const ComPtr<OfferedDispatch> keep_alive(this);
  try {
    HostValue answer = id == DISPID_VALUE ? AnswerDefaultMember(host_, flags, *params)
                                          : Call(names_[id - kFirstDispId], flags, *params);
    if (result) {
      Variant converted = ToVariant(answer);
      *result = converted.Detach();
    }
    return S_OK;
  } catch (...) {
    return ToCaller(excep_info, __uuidof(IDispatch), kErrorSource);
  }
}

}  // namespace

ComPtr<IDispatch> OfferHost(const HostObject& host) {
  return ComPtr<IDispatch>(OfferedDispatch::Make(host).Get());
}

HostObject OfferedHost(IDispatch* dispatch) noexcept {
  const void* ours = g_offered_table.load(std::memory_order_relaxed);
  if (!dispatch || !ours || TableOf(dispatch) != ours) return {};
  return static_cast<OfferedDispatch*>(static_cast<IDispatchEx*>(dispatch))->Host();
}

}  // namespace clasp
