// Every allocation Holdfast.dll makes on every road of Cols and in every
// member, failed in turn (N = 1, 2, ... until a run completes with nothing
// failed), in the test-only copy of the DLL. Each run must end in the road's
// normal outcome, in 10010003 with failure 7 traced, or in failure 7 /
// E_OUTOFMEMORY at the boundary; with every host count back and nothing of
// the module's left allocated.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <utility>

#include "component_client.h"
#include "road_hosts.h"

namespace clasp::testing {
namespace {

using Road = RoadHosts::Road;

constexpr SCODE kOutOfMemoryNumber = static_cast<SCODE>(0x800A0007);
constexpr ULONG kMostPoints = 10000;
constexpr CLSID kClsidHoldfast = {
    0x5D3B8000, 0xFB87, 0x4881, {0xA3, 0x17, 0xF7, 0x16, 0x83, 0x9E, 0x71, 0xF7}};

// The test-only module and its switch.
struct Injected {
  HMODULE module = nullptr;
  HRESULT(WINAPI* get_class_object)(REFCLSID, REFIID, void**) = nullptr;
  void(WINAPI* fail_allocation)(ULONG) = nullptr;
  BOOL(WINAPI* allocation_failed)() = nullptr;
  LONGLONG(WINAPI* live_allocations)() = nullptr;

  template <class F>
  void Find(F& function, const char* name) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  bool Load() {
    module = LoadLibraryW(L"HoldfastInjected.dll");
    if (!module) return false;
    Find(get_class_object, "DllGetClassObject");
    Find(fail_allocation, "ClaspFailAllocation");
    Find(allocation_failed, "ClaspAllocationFailed");
    Find(live_allocations, "ClaspLiveAllocations");
    return get_class_object && fail_allocation && allocation_failed && live_allocations;
  }
};
Injected g_dll;

HRESULT Create(IDispatch** out) {
  *out = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT result =
      g_dll.get_class_object(kClsidHoldfast, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(result)) {
    result = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(out));
    factory->Release();
  }
  return result;
}

// What one call came back with.
struct Outcome {
  HRESULT result = S_OK;
  LONG code = 0;     // Cols' answer
  SCODE scode = 0;   // EXCEPINFO's, on DISP_E_EXCEPTION
};

struct Case {
  const char* name;
  Road road;  // how the hosts answer
  // The call under test, on a component whose hosts are assigned. Creation
  // itself is a case: it gets a null component and makes its own.
  std::function<Outcome(IDispatch*, const ComponentIds&, const RoadHosts&)> call;
  bool cols;  // Cols answers a code; other members only succeed
};

Outcome ColsCall(IDispatch* component, const ComponentIds& ids, const RoadHosts&) {
  Outcome outcome;
  outcome.result = CallCols(component, ids.cols, &outcome.code, &outcome.scode);
  return outcome;
}

// A VARIANT of `type`, its contents filled by `fill`.
template <class F>
VARIANT Plain(VARTYPE type, F fill) {
  VARIANT value;
  VariantInit(&value);
  value.vt = type;
  fill(value);
  return value;
}

VARIANT Text(const wchar_t* text) {
  return Plain(VT_BSTR, [text](VARIANT& v) { v.bstrVal = SysAllocString(text); });
}

// Puts `value` into a member and frees it afterwards.
Outcome Put(IDispatch* component, DISPID id, VARIANT value) {
  Outcome outcome;
  outcome.result = PutMember(component, id, value, &outcome.scode);
  VariantClear(&value);
  return outcome;
}

// Puts a host, borrowed for the call.
Outcome PutStep(IDispatch* component, DISPID id, IDispatch* host) {
  const VARIANT value = Plain(VT_DISPATCH, [host](VARIANT& v) { v.pdispVal = host; });
  Outcome outcome;
  outcome.result = PutMember(component, id, value, &outcome.scode);
  return outcome;
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (const Road road : {Road::kCapture, Road::kNotRetained, Road::kDeviceFault,
                          Road::kDisplayFailure, Road::kFailurePath,
                          Road::kFailureInFailurePath}) {
    cases.push_back({RoadName(road), road, ColsCall, true});
  }
  const char* step_names[] = {"StepDisp", "StepMks", "StepRunModul", "StepTrac", "StepJour"};
  for (std::size_t i = 0; i < std::size(step_names); ++i) {
    cases.push_back({step_names[i], Road::kCapture,
                     [i](IDispatch* c, const ComponentIds& ids, const RoadHosts& hosts) {
                       return PutStep(c, ids.steps[i], hosts.trac.Get());
                     },
                     false});
  }
  // What the four display values and then ScreenNo are given: text beyond
  // ASCII, a number, Null, a long text, a number as text with a separator.
  const std::pair<const char*, std::function<VARIANT()>> values[] = {
      {"DisapleVal01", [] { return Text(L"\u94f6\u884c\u5361 1234"); }},
      {"DisapleVal02", [] { return Plain(VT_R8, [](VARIANT& v) { v.dblVal = 2.5; }); }},
      {"DisapleVal03", [] { return Plain(VT_NULL, [](VARIANT&) {}); }},
      {"DisapleVal04", [] { return Text(std::wstring(300, L'x').c_str()); }},
      {"ScreenNo", [] { return Text(L" 1,234.5 "); }},
  };
  for (std::size_t i = 0; i < std::size(values); ++i) {
    cases.push_back({values[i].first, Road::kCapture,
                     [i, make = values[i].second](IDispatch* c, const ComponentIds& ids,
                                                  const RoadHosts&) {
                       return Put(c, i < std::size(ids.values) ? ids.values[i] : ids.screen_no,
                                  make());
                     },
                     false});
  }
  cases.push_back({"GetIDsOfNames", Road::kCapture,
                   [](IDispatch* c, const ComponentIds&, const RoadHosts&) {
                     ComponentIds again;
                     return Outcome{ResolveIds(c, &again)};
                   },
                   false});
  cases.push_back({"GetTypeInfo", Road::kCapture,
                   [](IDispatch* c, const ComponentIds&, const RoadHosts&) {
                     ITypeInfo* info = nullptr;
                     const HRESULT result = c->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
                     if (info) info->Release();
                     return Outcome{result};
                   },
                   false});
  cases.push_back({"class object and creation", Road::kCapture,
                   [](IDispatch*, const ComponentIds&, const RoadHosts&) {
                     IDispatch* made = nullptr;
                     const HRESULT result = Create(&made);
                     if (made) made->Release();
                     return Outcome{result};
                   },
                   false});
  return cases;
}

bool OutOfMemory(const Outcome& o) {
  return o.result == E_OUTOFMEMORY || o.result == kOutOfMemoryNumber ||
         (o.result == DISP_E_EXCEPTION &&
          (o.scode == kOutOfMemoryNumber || o.scode == E_OUTOFMEMORY));
}

bool Normal(const Case& c, const Outcome& o) {
  if (!c.cols) return o.result == S_OK;
  if (c.road == Road::kFailureInFailurePath) {
    return o.result == DISP_E_EXCEPTION && o.scode == kHostRaise;
  }
  return o.result == S_OK && o.code == NormalResult(c.road);
}

int g_faults = 0;
void Fault(const Case& c, ULONG nth, const std::string& what) {
  if (g_faults++ < 20) std::printf("  %s, point %lu: %s\n", c.name, nth, what.c_str());
}

// One run with the module's nth allocation failed (0: none); answers whether
// an allocation was failed.
bool RunOnce(const Case& c, ULONG nth) {
  const LONGLONG live_before = g_dll.live_allocations();
  Outcome outcome;
  bool failure_traced = false;
  {
    RoadHosts hosts(c.road);
    IDispatch* component = nullptr;
    ComponentIds ids;
    HRESULT ready = Create(&component);
    if (SUCCEEDED(ready)) ready = ResolveIds(component, &ids);
    if (SUCCEEDED(ready)) ready = AssignHosts(component, ids, hosts);
    if (FAILED(ready)) {
      Fault(c, nth, "the component could not be made ready");
      if (component) component->Release();
      return false;
    }
    g_dll.fail_allocation(nth);
    outcome = c.call(component, ids, hosts);
    // The last release belongs to the run: it frees what the call made.
    component->Release();
    g_dll.fail_allocation(0);
    if (!hosts.CountsLeft().empty()) {
      Fault(c, nth, "a host's reference count did not come back");
    }
    const std::wstring& trace = hosts.LastTrace();
    const std::wstring tail = L"7Out of memory";
    failure_traced = trace.size() >= tail.size() &&
                     trace.compare(trace.size() - tail.size(), tail.size(), tail) == 0;
  }
  const LONGLONG live_after = g_dll.live_allocations();
  if (live_after != live_before) {
    Fault(c, nth, "leak of " + std::to_string(live_after - live_before) + " blocks");
  }
  const bool failed = nth != 0 && g_dll.allocation_failed();
  const bool normal = Normal(c, outcome);
  const bool caught = c.cols && outcome.result == S_OK && outcome.code == kFailureCode &&
                      (failure_traced || NormalResult(c.road) == kFailureCode);
  if (!normal && !(failed && (OutOfMemory(outcome) || caught))) {
    char text[96];
    std::snprintf(text, sizeof(text), "%s run: HRESULT 0x%08lX, Cols %ld, scode 0x%08lX",
                  failed ? "failed" : "unfailed", static_cast<unsigned long>(outcome.result),
                  static_cast<long>(outcome.code), static_cast<unsigned long>(outcome.scode));
    Fault(c, nth, text);
  }
  return failed;
}

int Run() {
  if (!g_dll.Load()) {
    std::printf("allocation failures: HoldfastInjected.dll or its switch is missing\n");
    return 1;
  }
  const std::vector<Case> cases = Cases();
  ULONG points = 0;
  for (const Case& c : cases) {
    // A first run with nothing failed settles what the module keeps for good
    // (its type information).
    RunOnce(c, 0);
    ULONG nth = 1;
    while (nth < kMostPoints && RunOnce(c, nth)) ++nth;
    if (nth == kMostPoints) Fault(c, nth, "never ran to the end unfailed");
    points += nth - 1;
    if (std::getenv("CLASP_INJECTION_VERBOSE")) std::printf("  %s: %lu points\n", c.name, nth - 1);
  }
  std::printf("allocation failures: %lu points over %zu roads, %s\n", points, cases.size(),
              g_faults == 0 ? "all survived" : "NOT all survived");
  if (points < cases.size()) {
    std::printf("allocation failures: the module failed almost nothing: is the switch linked?\n");
    return 1;
  }
  return g_faults == 0 ? 0 : 1;
}

}  // namespace
}  // namespace clasp::testing

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = clasp::testing::Run();
  CoUninitialize();
  std::fflush(stdout);
  return status;
}
