#include "sim/com_host.h"

#include <new>
#include <vector>

#include "host/failure.h"
#include "sim/com_value.h"

namespace clasp::sim {
namespace {

// Dispatch ids are member indexes plus this, so that 0 (DISPID_VALUE) is never one.
constexpr DISPID kFirstDispId = 1;
constexpr std::int32_t kControlFacilityBase = static_cast<std::int32_t>(0x800A0000u);
constexpr std::int32_t kCodeMask = 0xFFFF;
constexpr wchar_t kSource[] = L"clasp-sim";

HRESULT ScodeOf(const Failure& failure) {
  return static_cast<HRESULT>(kControlFacilityBase | (failure.Number() & kCodeMask));
}

class ComHost final : public IDispatch {
 public:
  explicit ComHost(SimHost& host) : host_(&host) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;  // late binding only, like the host objects of a script
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!names || !ids || count == 0) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    try {
      const auto index = host_->Resolve(reinterpret_cast<const char16_t*>(names[0]));
      if (!index) return DISP_E_UNKNOWNNAME;
      ids[0] = static_cast<DISPID>(*index) + kFirstDispId;
      // The members take no named arguments.
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep_info, UINT*) override {
    if (!params) return E_POINTER;
    const auto members = Members(host_->Role());
    if (id < kFirstDispId || static_cast<std::size_t>(id - kFirstDispId) >= members.size()) {
      return DISP_E_MEMBERNOTFOUND;
    }
    const auto index = static_cast<std::size_t>(id - kFirstDispId);
    if (result) VariantInit(result);
    try {
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (params->cArgs != 1 || params->cNamedArgs != 1 ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
          return DISP_E_BADPARAMCOUNT;
        }
        host_->PutMember(index, FromVariant(params->rgvarg[0]));
        return S_OK;
      }
      if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
      return Call(index, *params, result);
    } catch (const Failure& failure) {
      if (!excep_info) return ScodeOf(failure);
      *excep_info = EXCEPINFO{};
      excep_info->scode = ScodeOf(failure);
      excep_info->bstrSource = SysAllocString(kSource);
      excep_info->bstrDescription = Bstr(failure.Description()).Detach();
      return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  ~ComHost() = default;

  // Arguments come last first; text by reference is handed to the host as a
  // reference to a copy, and whatever the host made of it goes back.
  HRESULT Call(std::size_t index, const DISPPARAMS& params, VARIANT* result) {
    const UINT count = params.cArgs;
    std::vector<std::u16string> texts(count);  // sized once: references into it stay valid
    std::vector<HostValue> args;
    args.reserve(count);
    for (UINT i = 0; i < count; ++i) {
      const VARIANT& arg = params.rgvarg[count - 1 - i];
      if (V_VT(&arg) == (VT_BYREF | VT_BSTR)) {
        texts[i] = TextOf(*V_BSTRREF(&arg));
        args.push_back(HostValue::TextRef(texts[i]));
      } else {
        args.push_back(FromVariant(arg));
      }
    }
    const HostValue answer = host_->InvokeMember(index, args);
    for (UINT i = 0; i < count; ++i) {
      VARIANT& arg = params.rgvarg[count - 1 - i];
      if (V_VT(&arg) == (VT_BYREF | VT_BSTR) && TextOf(*V_BSTRREF(&arg)) != texts[i]) {
        Bstr changed(texts[i]);
        SysFreeString(*V_BSTRREF(&arg));
        *V_BSTRREF(&arg) = changed.Detach();
      }
    }
    if (result) ToVariant(answer, result);
    return S_OK;
  }

  ULONG count_ = 1;
  Ref<SimHost> host_;
};

}  // namespace

IDispatch* NewComHost(SimHost& host) { return new ComHost(host); }

}  // namespace clasp::sim
