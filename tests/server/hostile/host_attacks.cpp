// Misbehaving hosts: answers no value can be, interfaces claimed falsely, and
// the counts the component keeps on the hosts it holds.
#include <vector>

#include "attacks.h"
#include "stage.h"

namespace clasp::hostile {
namespace {

constexpr VARTYPE kGarbageByReference = 0x7FFF;

// The failure path's trace line ends with the failure's number and description.
const char kUnsupported[] = "458Variable uses an Automation type not supported in VBScript";
const char kInvalid[] = "5Invalid procedure call or argument";

struct AnswerRow {
  const char* name;
  // Fills the host's answer; `self` is the answer VARIANT itself.
  void (*make)(VARIANT* self);
  LONG expected;
  const char* last_trace_ends;  // null: not checked
};

LONG g_retained = kRetained;

HRESULT STDAPICALLTYPE FillBoom(EXCEPINFO* e) {
  constexpr WORD kBoom = 1234;
  e->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, kBoom);
  e->bstrDescription = SysAllocString(L"boom");
  return S_OK;
}
VARIANT g_inner_reference;

const AnswerRow kAnswerRows[] = {
    {"by-reference VARIANT, null pointer",
     [](VARIANT* v) {
       V_VT(v) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(v) = nullptr;
     },
     kFailure, kInvalid},
    {"by-reference BSTR, null pointer",
     [](VARIANT* v) {
       V_VT(v) = VT_BYREF | VT_BSTR;
       V_BSTRREF(v) = nullptr;
     },
     kFailure, kInvalid},
    {"by-reference I4, null pointer",
     [](VARIANT* v) {
       V_VT(v) = VT_BYREF | VT_I4;
       V_I4REF(v) = nullptr;
     },
     kFailure, kInvalid},
    {"by-reference VARIANT pointing at itself",
     [](VARIANT* v) {
       V_VT(v) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(v) = v;
     },
     kFailure, kUnsupported},
    {"by-reference VARIANT pointing at a by-reference I4",
     [](VARIANT* v) {
       V_VT(&g_inner_reference) = VT_BYREF | VT_I4;
       V_I4REF(&g_inner_reference) = &g_retained;
       V_VT(v) = VT_BYREF | VT_VARIANT;
       V_VARIANTREF(v) = &g_inner_reference;
     },
     kFailure, kUnsupported},
    {"garbage kind with the by-reference bit",
     [](VARIANT* v) {
       V_VT(v) = kGarbageByReference;
       V_BYREF(v) = &g_retained;
     },
     kFailure, kUnsupported},
    {"bare VT_VARIANT", [](VARIANT* v) { V_VT(v) = VT_VARIANT; }, kFailure, kUnsupported},
    {"by-reference I4 holding the retained code",
     [](VARIANT* v) {
       V_VT(v) = VT_BYREF | VT_I4;
       V_I4REF(v) = &g_retained;
     },
     kRetained, nullptr},
};

std::string HostAnswers(const AnswerRow& row) {
  Stage stage;
  if (!stage.component) return " no component";
  stage.mks->Calls(L"CardReaderRetain", [&row](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
    if (result) row.make(result);
    return S_OK;
  });
  stage.Assign();
  LONG result = 0;
  const HRESULT outcome = stage.component->Cols(&result);
  std::string wrong;
  if (outcome != S_OK || result != row.expected) {
    wrong += " Cols answered " + Hex(outcome) + " " + std::to_string(result) + ";";
  }
  if (row.last_trace_ends) {
    const std::string last = stage.LastTrace();
    const std::string end = row.last_trace_ends;
    if (last.size() < end.size() || last.compare(last.size() - end.size(), end.size(), end) != 0) {
      wrong += " the last trace line is \"" + last + "\";";
    }
  }
  return wrong + stage.Balanced();
}

// Every host is held once by the component, whatever it offers, and asked for
// nothing but IDispatchEx.
std::string HeldOnce(bool extended, bool every_iid) {
  Stage stage;
  if (!stage.component) return " no component";
  stage.disp = DispatchHost::Create(
      "StepDisp", {extended ? Binding::kExtended : Binding::kDispatch, stage.log, every_iid});
  stage.Assign();
  std::string wrong;
  if (stage.disp->RefCount() != 2)
    wrong += " held with " + std::to_string(stage.disp->RefCount() - 1) + " counts;";
  for (const GUID& iid : stage.disp->Asked()) {
    if (iid != __uuidof(IDispatchEx)) wrong += " asked for an interface other than IDispatchEx;";
  }
  LONG result = 0;
  if (stage.component->Cols(&result) != S_OK || result != kRetained) {
    wrong += " Cols answered " + std::to_string(result) + ";";
  }
  return wrong + stage.Balanced();
}

}  // namespace

void AddHostAttacks(std::vector<Attack>& attacks) {
  for (const AnswerRow& row : kAnswerRows) {
    attacks.push_back(
        {std::string("card reader answers ") + row.name, [&row] { return HostAnswers(row); }});
  }
  attacks.push_back({"display offers IDispatchEx", [] { return HeldOnce(true, false); }});
  attacks.push_back({"display offers IDispatch only", [] { return HeldOnce(false, false); }});
  attacks.push_back(
      {"display answers S_OK for every interface", [] { return HeldOnce(false, true); }});
  attacks.push_back(
      {"card reader answers an object that says yes to every interface", [] {
         Stage stage;
         const ComPtr<DispatchHost> liar =
             DispatchHost::Create("Liar", {Binding::kDispatch, stage.log, true});
         stage.mks->Calls(L"CardReaderRetain", [&](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
           V_VT(result) = VT_DISPATCH;
           V_DISPATCH(result) = liar.Get();
           liar->AddRef();
           return S_OK;
         });
         stage.Assign();
         LONG result = 0;
         stage.component->Cols(&result);
         std::string wrong = result == kFailure ? "" : " Cols answered " + std::to_string(result);
         wrong += stage.Balanced();
         if (liar->RefCount() != 1)
           wrong += " the answered object holds " + std::to_string(liar->RefCount()) + ";";
         return wrong;
       }});
  attacks.push_back({"one host in two fields, reassigned and emptied", [] {
                       Stage stage;
                       stage.Assign();
                       stage.component->putref_StepJour(stage.disp.Get());
                       std::string wrong;
                       if (stage.disp->RefCount() != 3)
                         wrong +=
                             " two fields hold " + std::to_string(stage.disp->RefCount() - 1) + ";";
                       stage.component->putref_StepDisp(stage.disp.Get());
                       if (stage.disp->RefCount() != 3) wrong += " reassigning changed the count;";
                       stage.component->putref_StepDisp(nullptr);
                       if (stage.disp->RefCount() != 2) wrong += " emptying did not release;";
                       stage.component->putref_StepJour(stage.jour.Get());
                       return wrong + stage.Balanced();
                     }});
  attacks.push_back(
      {"display raises with a deferred EXCEPINFO", [] {
         Stage stage;
         stage.disp->Calls(L"ScreenDisplay", [](DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
           if (!info) return E_FAIL;
           info->scode = 0;
           info->pfnDeferredFillIn = FillBoom;
           return DISP_E_EXCEPTION;
         });
         stage.Assign();
         LONG result = 0;
         stage.component->Cols(&result);
         std::string wrong = result == kFailure ? "" : " Cols answered " + std::to_string(result);
         if (stage.LastTrace() != "01234boom") {
           wrong += " the failure is not traced as 1234 boom;";
         }
         return wrong + stage.Balanced();
       }});
}

}  // namespace clasp::hostile
