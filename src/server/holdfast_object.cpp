#include "server/holdfast_object.h"

#include <oleauto.h>

#include <utility>

#include "component/holdfast.h"
#include "server/com/com_object.h"
#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/com/value.h"
#include "server/identity.h"
#include "server/module.h"
#include "server/platform_convert.h"

namespace clasp {
namespace {

bool IsHoldfastInterface(REFIID iid) noexcept {
  return iid == IID__Holdfast || iid == kIidHoldfastV0 || iid == kIidHoldfastV1;
}

bool IsPut(WORD flags) noexcept {
  return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
}

// Cols as the type library numbers it.
constexpr DISPID kColsDispid = 0x60030007;

// Cols exactly as hosts call it: as a method (scripts add the property read),
// no arguments. Only this request is served without the type library's
// dispatcher, which otherwise walks its descriptions on every call; every
// other request, malformed ones above all, is still answered by it.
bool IsPlainColsCall(DISPID id, WORD flags, const DISPPARAMS& params) noexcept {
  return id == kColsDispid &&
         (flags == DISPATCH_METHOD || flags == (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) &&
         params.cArgs == 0 && params.cNamedArgs == 0;
}

// A caller's malformed request, refused before the type library's dispatcher
// reads through any of it. Every member is a put of one value or Cols, which
// takes none.
HRESULT CheckRequest(WORD flags, const DISPPARAMS* params) noexcept {
  if (!params) return E_INVALIDARG;
  if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
  if (params->cNamedArgs > 0 && !params->rgdispidNamedArgs) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    // The one named argument automation knows for our members is the put's value.
    if (!IsPut(flags) || params->rgdispidNamedArgs[i] != DISPID_PROPERTYPUT) {
      return DISP_E_PARAMNOTFOUND;
    }
  }
  if (IsPut(flags) && params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
  for (UINT i = 0; i < params->cArgs; ++i) {
    if (const HRESULT bad = CheckValue(params->rgvarg[i]); FAILED(bad)) return bad;
  }
  return S_OK;
}

class HoldfastObject final
    : public ComObject<HoldfastObject, _Holdfast, ISupportErrorInfo> {
 public:
  void* Interface(REFIID iid) noexcept {
    if (iid == __uuidof(IDispatch) || IsHoldfastInterface(iid)) {
      return static_cast<_Holdfast*>(this);
    }
    if (iid == __uuidof(ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) noexcept override {
    return IsHoldfastInterface(iid) ? S_OK : S_FALSE;
  }

  // IDispatch, served from our own type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return Guarded([&] {
      *info = HoldfastTypeInfo().Detach();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) noexcept override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) {
      if (!names[i]) return E_INVALIDARG;
    }
    return Guarded([&] { return HoldfastTypeInfo()->GetIDsOfNames(names, count, ids); });
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep_info,
                                   UINT* argument_error) noexcept override;

  // _Holdfast
  HRESULT STDMETHODCALLTYPE putref_StepDisp(IDispatch* object) noexcept override {
    return Member([&] { core_->StepDisp(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepMks(IDispatch* object) noexcept override {
    return Member([&] { core_->StepMks(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepRunModul(IDispatch* object) noexcept override {
    return Member([&] { core_->StepRunModul(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepTrac(IDispatch* object) noexcept override {
    return Member([&] { core_->StepTrac(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepJour(IDispatch* object) noexcept override {
    return Member([&] { core_->StepJour(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE Cols(LONG* result) noexcept override {
    if (!result) return E_POINTER;
    // The dispatcher calling back for a Cols that already failed: the same
    // failure again, its error object still on the thread, and no second step.
    if (FAILED(replayed_)) return std::exchange(replayed_, S_OK);
    return Member([&] { *result = core_->Cols(); });
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal01(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal01);
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal02(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal02);
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal03(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal03);
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal04(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal04);
  }
  HRESULT STDMETHODCALLTYPE put_ScreenNo(BSTR text) noexcept override {
    return Member([&] { core_->ScreenNo(TextOf(text)); });
  }

 private:
  friend class ComObject<HoldfastObject, _Holdfast, ISupportErrorInfo>;
  // Dates, currency, decimals and arrays convert exactly as the host's own
  // runtime converts them.
  HoldfastObject() : core_(Holdfast::Create(Conversions(OleConversions()))) {}
  ~HoldfastObject() = default;

  // Runs one member: a counted reference to ourselves for the whole call (the
  // host may drop its last one inside it), and failures turned into an
  // HRESULT with an error object for the caller.
  template <class Body>
  HRESULT Member(Body&& body) noexcept {
    const ComPtr<HoldfastObject> keep_alive(this);
    return Run(body);
  }

  // Member for a caller that already holds a count for the whole call.
  template <class Body>
  HRESULT Run(Body&& body) noexcept {
    try {
      body();
      return S_OK;
    } catch (...) {
      last_failure_ = ToHresult(IID__Holdfast, kErrorSource);
      return last_failure_;
    }
  }

  // A display value goes on only when it is one: the caller's malformed
  // VARIANT is the caller's error, not a failure of the display.
  template <class Setter>
  HRESULT Display(const VARIANT& value, Setter setter) noexcept {
    if (const HRESULT bad = CheckValue(value); FAILED(bad)) return bad;
    return Member([&] { ((*core_).*setter)(ToHostValue(value)); });
  }

  // What the last failing member returned, for Invoke's EXCEPINFO.
  HRESULT last_failure_ = S_OK;
  // A failure of Cols, served directly, that the dispatcher is to report.
  HRESULT replayed_ = S_OK;
  Ref<Holdfast> core_;
};

HRESULT HoldfastObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excep_info,
                               UINT* argument_error) noexcept {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (const HRESULT bad = CheckRequest(flags, params); FAILED(bad)) return bad;
  const ComPtr<HoldfastObject> keep_alive(this);
  return Guarded([&] {
    // Loaded before any call is served, so that a call fails alike whichever
    // way it is served; fetched (and counted) only for the dispatcher.
    RequireHoldfastTypeInfo();
    SetErrorInfo(0, nullptr);
    last_failure_ = S_OK;
    if (IsPlainColsCall(id, flags, *params)) {
      LONG answer = 0;
      // Cols' own body: this call already holds a count, and nothing can be
      // left to replay at its start.
      const HRESULT called = Run([&] { answer = core_->Cols(); });
      if (SUCCEEDED(called)) {
        // As the dispatcher hands a result back: initialised, then the value.
        if (result) {
          VariantInit(result);
          V_VT(result) = VT_I4;
          V_I4(result) = answer;
        }
        return called;
      }
      // A failure is rare and its answer is the dispatcher's to shape
      // (EXCEPINFO from our error object): it calls Cols again, which replays it.
      replayed_ = called;
    }
    const HRESULT outcome = HoldfastTypeInfo()->Invoke(static_cast<_Holdfast*>(this), id, flags,
                                                       params, result, excep_info,
                                                       argument_error);
    replayed_ = S_OK;  // not left for a later call should the dispatcher not have called
    // Script hosts read the number from scode only; make sure it is there even
    // if the type library's dispatcher filled just the description.
    if (outcome == DISP_E_EXCEPTION && excep_info && excep_info->scode == 0 &&
        excep_info->wCode == 0 && FAILED(last_failure_)) {
      excep_info->scode = last_failure_;
    }
    return outcome;
  });
}

}  // namespace

HRESULT CreateHoldfastObject(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&] { return HoldfastObject::Make()->QueryInterface(iid, out); });
}

}  // namespace clasp
