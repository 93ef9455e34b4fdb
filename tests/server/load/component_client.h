// The component reached as a late-binding host reaches it: created by ProgID,
// members found by name once, then called through IDispatch::Invoke.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "road_hosts.h"

namespace clasp::testing {

// The component's members by DISPID, resolved once per object.
struct ComponentIds {
  DISPID cols = DISPID_UNKNOWN;
  DISPID steps[5] = {DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN,
                     DISPID_UNKNOWN};  // StepDisp, StepMks, StepRunModul, StepTrac, StepJour
  DISPID values[4] = {DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN};
  DISPID screen_no = DISPID_UNKNOWN;
};

// A new component through the registry; *out stays null on failure.
HRESULT CreateComponent(IDispatch** out);
HRESULT ResolveIds(IDispatch* component, ComponentIds* ids);
// A property put (or put by reference for an object) of one member; on
// DISP_E_EXCEPTION `*scode`, when asked for, is what the EXCEPINFO carried.
HRESULT PutMember(IDispatch* component, DISPID id, VARIANT value, SCODE* scode = nullptr);
// Assigns the five step objects of `hosts`, stopping at the first failure.
HRESULT AssignHosts(IDispatch* component, const ComponentIds& ids, const RoadHosts& hosts);
// Assigns five step objects of the test's own in-process server
// (ClaspTest.Display and the rest, registered from clasp_own_hosts.dll), made
// here by ProgID: COM loads that server into this apartment, as an
// integrator's own step objects would be, and may unload it once they are gone.
HRESULT AssignServedHosts(IDispatch* component, const ComponentIds& ids);
// Calls Cols; on DISP_E_EXCEPTION `*scode` is what the EXCEPINFO carried.
HRESULT CallCols(IDispatch* component, DISPID cols, LONG* result, SCODE* scode);

}  // namespace clasp::testing
