// The component created as "Clasp.Holdfast" through COM and driven only by
// name, the way a host application's script engine drives it. The simulated
// hosts are offered to it, and values converted for it, by the server's own
// COM adapters (clasp_com): one conversion, whichever side of the boundary.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <stdexcept>

#include "host/failure.h"
#include "host/text.h"
#include "server/com/error.h"
#include "server/com/object_bridge.h"
#include "server/com/value.h"
#include "server/com/owners.h"
#include "sim/component.h"
#include "com/com_support.h"

namespace clasp::sim {
namespace {

constexpr wchar_t kProgId[] = L"Clasp.Holdfast";

// The number a host of this kind would see for a failed call. Not the
// server's reading of its own hosts' failures (FailureOfCall): here a code
// outside the control facility stays the number and, undescribed, reads
// "Automation error 0x...", so that a stale or mismatched registration of the
// server shows its raw code instead of passing for a script error.
Failure FailureOf(HRESULT result, ExcepInfo& excep_info) {
  HRESULT code = result;
  std::u16string description;
  if (result == DISP_E_EXCEPTION) {
    excep_info.FillIn();
    const EXCEPINFO& info = excep_info.Get();
    code = info.scode != 0 ? info.scode : (kControlFacilityBase | info.wCode);
    description = TextOf(info.bstrDescription);
  }
  if (const auto number = ControlNumber(code)) return Failure(*number, description);
  if (description.empty()) description = Utf16("Automation error " + Hex(code));
  return Failure(static_cast<std::int32_t>(code), description);
}

class ComComponent final : public Component {
 public:
  ComComponent() {
    CLSID clsid;
    HRESULT result = CLSIDFromProgID(kProgId, &clsid);
    if (FAILED(result)) {
      throw std::runtime_error("Clasp.Holdfast is not registered (" + Hex(result) +
                               "); register it with: regsvr32 Holdfast.dll");
    }
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              holdfast_.PutVoid());
    if (FAILED(result)) {
      throw std::runtime_error("Clasp.Holdfast could not be created: " + Hex(result));
    }
  }

  // Assigned as a script's `Set` does it: a put by reference, which is how the
  // server's type library declares the host object properties.
  void Assign(HostRole role, const HostObject& host) override {
    const ComPtr<IDispatch> object = DispatchOfHost(host);
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = object.Get();  // borrowed for the call
    Put(std::u16string(Utf16(RoleProperty(role))), value, DISPATCH_PROPERTYPUTREF);
  }

  void ScreenNo(const std::u16string& text) override {
    const Variant value = ToVariant(HostValue::Text(text));
    Put(u"ScreenNo", value.Get(), DISPATCH_PROPERTYPUT);
  }

  void DisplayValue(int slot, const HostValue& value) override {
    const Variant variant = ToVariant(value);
    Put(u"DisapleVal0" + DecimalText(slot + 1), variant.Get(), DISPATCH_PROPERTYPUT);
  }

  std::int32_t Cols() override {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    Call(u"Cols", DISPATCH_METHOD, none, result.Put());
    const HostValue value = ToHostValue(result.Get());
    if (value.GetKind() != Kind::kI4) {
      throw std::runtime_error("Cols answered a value that is not a 32-bit integer");
    }
    return static_cast<std::int32_t>(value.AsInteger());
  }

  // A host sees nothing of the failures the component raises itself, and
  // neither does the simulator through COM.
  bool TakeInsideFailures(std::vector<InsideFailure>&) override { return false; }

 private:
  void Put(const std::u16string& member, const VARIANT& value, WORD flags) {
    VARIANT argument = value;  // shallow: DISPPARAMS does not own its arguments
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&argument, &named, 1, 1};
    Call(member, flags, params, nullptr);
  }

  void Call(const std::u16string& member, WORD flags, DISPPARAMS& params, VARIANT* result) {
    Bstr name(member);
    LPOLESTR names[] = {name.Get()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT status = holdfast_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(status)) {
      ExcepInfo none;
      throw FailureOf(status, none);
    }
    ExcepInfo excep_info;
    UINT bad_argument = 0;
    status = holdfast_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                               excep_info.Put(), &bad_argument);
    if (FAILED(status)) throw FailureOf(status, excep_info);
  }

  ComInit com_;
  ComPtr<IDispatch> holdfast_;
};

}  // namespace

std::unique_ptr<Component> MakeComComponent() { return std::make_unique<ComComponent>(); }

}  // namespace clasp::sim
