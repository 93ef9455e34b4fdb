#include "server/holdfast_object.h"

#include <oleauto.h>

#include <atomic>

#include "component/holdfast.h"
#include "server/com/dispatch_host.h"
#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/com/value.h"
#include "server/identity.h"
#include "server/module.h"

namespace clasp {
namespace {

class HoldfastObject final : public _Holdfast, public ISupportErrorInfo {
 public:
  HoldfastObject() : core_(Holdfast::Create()) { LockModule(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == IID__Holdfast ||
        iid == kIidHoldfastV0 || iid == kIidHoldfastV1) {
      *out = static_cast<_Holdfast*>(this);
    } else if (iid == __uuidof(ISupportErrorInfo)) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == IID__Holdfast || iid == kIidHoldfastV0 || iid == kIidHoldfastV1 ? S_OK
                                                                                  : S_FALSE;
  }

  // IDispatch, served from our own type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    try {
      *info = HoldfastTypeInfo().Detach();
      return S_OK;
    } catch (...) {
      return ToHresult();
    }
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    try {
      return HoldfastTypeInfo()->GetIDsOfNames(names, count, ids);
    } catch (...) {
      return ToHresult();
    }
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep_info,
                                   UINT* argument_error) override;

  // _Holdfast
  HRESULT STDMETHODCALLTYPE putref_StepDisp(IDispatch* object) override {
    return Member([&] { core_->StepDisp(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepMks(IDispatch* object) override {
    return Member([&] { core_->StepMks(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepRunModul(IDispatch* object) override {
    return Member([&] { core_->StepRunModul(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepTrac(IDispatch* object) override {
    return Member([&] { core_->StepTrac(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepJour(IDispatch* object) override {
    return Member([&] { core_->StepJour(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE Cols(LONG* result) override {
    if (!result) return E_POINTER;
    return Member([&] { *result = core_->Cols(); });
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal01(VARIANT value) override {
    return Member([&] { core_->DisapleVal01(ToHostValue(value)); });
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal02(VARIANT value) override {
    return Member([&] { core_->DisapleVal02(ToHostValue(value)); });
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal03(VARIANT value) override {
    return Member([&] { core_->DisapleVal03(ToHostValue(value)); });
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal04(VARIANT value) override {
    return Member([&] { core_->DisapleVal04(ToHostValue(value)); });
  }
  HRESULT STDMETHODCALLTYPE put_ScreenNo(BSTR text) override {
    return Member([&] { core_->ScreenNo(TextOf(text)); });
  }

 private:
  ~HoldfastObject() { UnlockModule(); }

  // Runs one member: a counted reference to ourselves for the whole call (the
  // host may drop its last one inside it), and failures turned into an
  // HRESULT with an error object for the caller.
  template <class Body>
  HRESULT Member(Body&& body) noexcept {
    const ComPtr<HoldfastObject> keep_alive(this);
    try {
      body();
      return S_OK;
    } catch (...) {
      last_failure_ = ToHresult(IID__Holdfast, kErrorSource);
      return last_failure_;
    }
  }

  std::atomic<ULONG> count_{1};
  // What the last failing member returned, for Invoke's EXCEPINFO.
  HRESULT last_failure_ = S_OK;
  Ref<Holdfast> core_;
};

HRESULT HoldfastObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excep_info, UINT* argument_error) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  const ComPtr<HoldfastObject> keep_alive(this);
  try {
    const ComPtr<ITypeInfo> info = HoldfastTypeInfo();
    SetErrorInfo(0, nullptr);
    last_failure_ = S_OK;
    const HRESULT outcome = info->Invoke(static_cast<_Holdfast*>(this), id, flags, params,
                                         result, excep_info, argument_error);
    // Script hosts read the number from scode only; make sure it is there even
    // if the type library's dispatcher filled just the description.
    if (outcome == DISP_E_EXCEPTION && excep_info && excep_info->scode == 0 &&
        excep_info->wCode == 0 && FAILED(last_failure_)) {
      excep_info->scode = last_failure_;
    }
    return outcome;
  } catch (...) {
    return ToHresult();
  }
}

}  // namespace

HRESULT CreateHoldfastObject(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    auto* object = new HoldfastObject();
    const HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
  } catch (...) {
    return ToHresult();
  }
}

}  // namespace clasp
