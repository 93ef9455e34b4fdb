#include "server/com/host_dispatch.h"

#include <dispex.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/failure.h"
#include "server/com/default_member.h"
#include "server/com/dispatch_host.h"
#include "server/com/error.h"
#include "server/com/value.h"

// The loader's header of the module this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace clasp {
namespace {

// Private: asked only by HostBehindDispatch to recognise our own wrappers. The
// last bytes are this module's load address, so that a wrapper made by another
// module (the server and its client both link this code) is never taken for
// ours: its host object lives in that module's world.
constexpr GUID kIidHostBehindBase = {
    0x07F561FB, 0xD946, 0x4EB4, {0x94, 0x9D, 0x79, 0x3F, 0x8C, 0x15, 0xC8, 0x85}};

GUID HostBehindIid() noexcept {
  GUID iid = kIidHostBehindBase;
  const auto base = reinterpret_cast<std::uintptr_t>(&__ImageBase);
  static_assert(sizeof(base) <= sizeof(iid.Data4));
  std::memcpy(iid.Data4 + sizeof(iid.Data4) - sizeof(base), &base, sizeof(base));
  return iid;
}
const GUID kIidHostBehind = HostBehindIid();
// Identifiers start above DISPID_VALUE (0), which would mean the default member.
constexpr DISPID kFirstDispId = 1;
constexpr std::u16string_view kErrorSource = u"Clasp";

bool SameName(std::u16string_view a, std::u16string_view b) {
  // Member names are ASCII; automation compares them without case.
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class HostDispatchObject final : public IDispatchEx {
 public:
  explicit HostDispatchObject(HostObject host) : host_(std::move(host)) {}

  const HostObject& Host() const noexcept { return host_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) ||
        iid == __uuidof(IDispatchEx) || iid == kIidHostBehind) {
      *out = static_cast<IDispatchEx*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    try {
      ids[0] = IdOf(names[0]);
    } catch (...) {
      return ToHresult();
    }
    // Named arguments are not part of the hosts' contract.
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                                   UINT*) override {
    return InvokeEx(id, locale, flags, params, result, excep_info, nullptr);
  }

  // IDispatchEx
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) override {
    if (!id) return E_POINTER;
    try {
      *id = IdOf(name);
      return S_OK;
    } catch (...) {
      return ToHresult();
    }
  }
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep_info,
                                     IServiceProvider*) override;
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* name) override {
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
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID id, DISPID* next) override {
    if (!next) return E_POINTER;
    const DISPID candidate = id == DISPID_STARTENUM ? kFirstDispId : id + 1;
    *next = Known(candidate) ? candidate : DISPID_UNKNOWN;
    return Known(candidate) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) override {
    if (parent) *parent = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~HostDispatchObject() = default;

  bool Known(DISPID id) const noexcept {
    return id >= kFirstDispId && static_cast<std::size_t>(id - kFirstDispId) < names_.size();
  }
  DISPID IdOf(const wchar_t* name) {
    // GetIDsOfNames passes plain strings, not BSTRs: read up to the terminator.
    const std::u16string text = name ? reinterpret_cast<const char16_t*>(name) : u"";
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (SameName(names_[i], text)) return static_cast<DISPID>(i) + kFirstDispId;
    }
    names_.push_back(text);
    return static_cast<DISPID>(names_.size() - 1) + kFirstDispId;
  }
  HostValue Call(const std::u16string& member, WORD flags, DISPPARAMS& params);

  std::atomic<ULONG> count_{1};
  HostObject host_;
  std::vector<std::u16string> names_;
};

HostValue HostDispatchObject::Call(const std::u16string& member, WORD flags,
                                   DISPPARAMS& params) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (params.cArgs != 1) throw WrongArgumentCountFailure();
    host_.Put(member, ToHostValue(params.rgvarg[0]));
    return {};
  }
  // DISPPARAMS lists the last argument first. By-reference text is handed on
  // by reference, and whatever the host leaves in it goes back to the caller.
  const UINT count = params.cArgs;
  std::vector<std::u16string> texts(count);
  std::vector<HostValue> args;
  args.reserve(count);
  for (UINT i = 0; i < count; ++i) {
    const VARIANT& arg = params.rgvarg[count - 1 - i];
    if (V_VT(&arg) == (VT_BYREF | VT_BSTR)) {
      texts[i] = TextOf(*V_BSTRREF(&arg));
      args.push_back(HostValue::TextRef(texts[i]));
    } else {
      args.push_back(ToHostValue(arg));
    }
  }
  HostValue answer = host_.InvokeArgs(member, args);
  for (UINT i = 0; i < count; ++i) {
    VARIANT& arg = params.rgvarg[count - 1 - i];
    if (V_VT(&arg) != (VT_BYREF | VT_BSTR) || TextOf(*V_BSTRREF(&arg)) == texts[i]) continue;
    BSTR replacement = Bstr(texts[i]).Detach();
    SysFreeString(*V_BSTRREF(&arg));
    *V_BSTRREF(&arg) = replacement;
  }
  return answer;
}

HRESULT HostDispatchObject::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep_info,
                                     IServiceProvider*) {
  if (!params) return E_INVALIDARG;
  if (!Known(id) && id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
  const ComPtr<HostDispatchObject> keep_alive(this);
  try {
    HostValue answer = id == DISPID_VALUE ? AnswerDefaultMember(host_, flags, *params)
                                          : Call(names_[id - kFirstDispId], flags, *params);
    if (result) {
      Variant converted = ToVariant(answer);
      *result = converted.Detach();
    }
    return S_OK;
  } catch (...) {
    const Failure failure = CurrentFailure();
    if (excep_info) {
      FillExcepInfo(failure, kErrorSource, excep_info);
      return DISP_E_EXCEPTION;
    }
    SetErrorObject(failure, __uuidof(IDispatch), kErrorSource);
    return HresultOf(failure);
  }
}

}  // namespace

ComPtr<IDispatch> DispatchOfHost(const HostObject& host) {
  if (!host) return {};
  if (auto* wrapped = dynamic_cast<DispatchHost*>(host.Get())) {
    return ComPtr<IDispatch>(wrapped->Dispatch());
  }
  return ComPtr<IDispatch>::Adopt(new HostDispatchObject(host));
}

HostObject HostBehindDispatch(IDispatch* dispatch) {
  if (!dispatch) return {};
  ComPtr<IUnknown> ours;
  if (FAILED(dispatch->QueryInterface(kIidHostBehind, ours.PutVoid())) || !ours) return {};
  return static_cast<HostDispatchObject*>(static_cast<IDispatchEx*>(ours.Get()))->Host();
}

}  // namespace clasp
