#include "component_client.h"

#include <iterator>

namespace clasp::testing {
namespace {

constexpr const wchar_t* kStepNames[] = {L"StepDisp", L"StepMks", L"StepRunModul", L"StepTrac",
                                         L"StepJour"};
// Served for the steps above, in the same order.
constexpr const wchar_t* kServedHosts[] = {L"ClaspTest.Display", L"ClaspTest.Reader",
                                           L"ClaspTest.RunModul", L"ClaspTest.Trace",
                                           L"ClaspTest.Journal"};
constexpr const wchar_t* kValueNames[] = {L"DisapleVal01", L"DisapleVal02", L"DisapleVal03",
                                          L"DisapleVal04"};

HRESULT IdOf(IDispatch* component, const wchar_t* name, DISPID* id) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return component->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

void ClearExcepInfo(EXCEPINFO& info) {
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  info = EXCEPINFO{};
}

HRESULT CreateByName(const wchar_t* prog_id, IDispatch** out) {
  *out = nullptr;
  CLSID clsid{};
  const HRESULT found = CLSIDFromProgID(prog_id, &clsid);
  if (FAILED(found)) return found;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(out));
}

}  // namespace

HRESULT CreateComponent(IDispatch** out) { return CreateByName(L"Clasp.Holdfast", out); }

HRESULT ResolveIds(IDispatch* component, ComponentIds* ids) {
  HRESULT result = IdOf(component, L"Cols", &ids->cols);
  for (std::size_t i = 0; i < std::size(kStepNames) && SUCCEEDED(result); ++i) {
    result = IdOf(component, kStepNames[i], &ids->steps[i]);
  }
  for (std::size_t i = 0; i < std::size(kValueNames) && SUCCEEDED(result); ++i) {
    result = IdOf(component, kValueNames[i], &ids->values[i]);
  }
  if (SUCCEEDED(result)) result = IdOf(component, L"ScreenNo", &ids->screen_no);
  return result;
}

HRESULT PutMember(IDispatch* component, DISPID id, VARIANT value, SCODE* scode) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &named, 1, 1};
  const WORD flags = value.vt == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
  EXCEPINFO info{};
  UINT argument_error = 0;
  const HRESULT result = component->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                           nullptr, &info, &argument_error);
  if (scode) *scode = info.scode;
  ClearExcepInfo(info);
  return result;
}

namespace {

// Puts `host` in a step field, borrowed: the call takes its own reference.
HRESULT PutHost(IDispatch* component, DISPID step, IDispatch* host) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_DISPATCH;
  value.pdispVal = host;
  return PutMember(component, step, value);
}

}  // namespace

HRESULT AssignHosts(IDispatch* component, const ComponentIds& ids, const RoadHosts& hosts) {
  IDispatch* const objects[] = {hosts.disp.Get(), hosts.mks.Get(), hosts.run.Get(),
                                 hosts.trac.Get(), hosts.jour.Get()};
  for (std::size_t i = 0; i < std::size(objects); ++i) {
    if (const HRESULT result = PutHost(component, ids.steps[i], objects[i]); FAILED(result)) {
      return result;
    }
  }
  return S_OK;
}

HRESULT AssignServedHosts(IDispatch* component, const ComponentIds& ids) {
  for (std::size_t i = 0; i < std::size(kServedHosts); ++i) {
    IDispatch* host = nullptr;
    HRESULT result = CreateByName(kServedHosts[i], &host);
    if (FAILED(result)) return result;
    result = PutHost(component, ids.steps[i], host);
    host->Release();
    if (FAILED(result)) return result;
  }
  return S_OK;
}

HRESULT CallCols(IDispatch* component, DISPID cols, LONG* result, SCODE* scode) {
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  VARIANT answer;
  VariantInit(&answer);
  EXCEPINFO info{};
  UINT argument_error = 0;
  const HRESULT outcome =
      component->Invoke(cols, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &answer,
                        &info, &argument_error);
  *result = answer.vt == VT_I4 ? answer.lVal : 0;
  *scode = info.scode;
  VariantClear(&answer);
  ClearExcepInfo(info);
  return outcome;
}

}  // namespace clasp::testing
