// What Cols costs a host over COM: a client calls Cols on Holdfast.dll through
// IDispatch, against host objects that do nothing, and then makes the very
// same calls on those hosts itself, as a direct caller would. Both are timed
// in turns in one run; the ratio is the component's overhead as a host sees
// it. It also counts what the DLL allocates per Cols.
// Usage: clasp_com_bench.exe [--quick]   (Holdfast.dll must sit beside it)
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../goals.h"
#include "com_hosts.h"
#include "direct_calls.h"

namespace clasp::bench {
namespace {

constexpr wchar_t kClsidText[] = L"{5D3B8000-FB87-4881-A317-F716839E71F7}";
constexpr LONG kRetainedCode = 10120011;
constexpr LONG kFailureCode = 10010003;
constexpr double kNanosecondsPerSecond = 1e9;
constexpr double kNanosecondsPerMicrosecond = 1e3;
constexpr int kCountedCalls = 100;

using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using Road = void (DirectCaller::*)();

// ---- What the DLL allocates: its imports of the C runtime's allocator and of
// the platform's BSTR makers, pointed at counting stand-ins.
long g_allocations = 0;
void*(__cdecl* g_malloc)(size_t) = nullptr;
void*(__cdecl* g_calloc)(size_t, size_t) = nullptr;
void*(__cdecl* g_realloc)(void*, size_t) = nullptr;
BSTR(WINAPI* g_sys_alloc_string_len)(const OLECHAR*, UINT) = nullptr;
BSTR(WINAPI* g_sys_alloc_string)(const OLECHAR*) = nullptr;

void* __cdecl CountedMalloc(size_t size) {
  ++g_allocations;
  return g_malloc(size);
}
void* __cdecl CountedCalloc(size_t count, size_t size) {
  ++g_allocations;
  return g_calloc(count, size);
}
void* __cdecl CountedRealloc(void* block, size_t size) {
  ++g_allocations;
  return g_realloc(block, size);
}
BSTR WINAPI CountedSysAllocStringLen(const OLECHAR* text, UINT length) {
  ++g_allocations;
  return g_sys_alloc_string_len(text, length);
}
BSTR WINAPI CountedSysAllocString(const OLECHAR* text) {
  ++g_allocations;
  return g_sys_alloc_string(text);
}

// Points the import named `name` at `counted`, keeping the original in `*original`.
template <class F>
void Redirect(IMAGE_THUNK_DATA* slot, F counted, F* original) {
  DWORD protection = 0;
  VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection);
  *original = reinterpret_cast<F>(slot->u1.Function);
  slot->u1.Function = reinterpret_cast<decltype(slot->u1.Function)>(counted);
  VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
}

// False when the DLL imports none of the allocators: then nothing would be counted.
bool CountAllocations(HMODULE module) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int redirected = 0;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
        base + (library->OriginalFirstThunk ? library->OriginalFirstThunk : library->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name = reinterpret_cast<const char*>(
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
      const std::string_view n(name);
      if (n == "malloc") {
        Redirect(slots, &CountedMalloc, &g_malloc);
      } else if (n == "calloc") {
        Redirect(slots, &CountedCalloc, &g_calloc);
      } else if (n == "realloc") {
        Redirect(slots, &CountedRealloc, &g_realloc);
      } else if (n == "SysAllocStringLen") {
        Redirect(slots, &CountedSysAllocStringLen, &g_sys_alloc_string_len);
      } else if (n == "SysAllocString") {
        Redirect(slots, &CountedSysAllocString, &g_sys_alloc_string);
      } else {
        continue;
      }
      ++redirected;
    }
  }
  return redirected > 0;
}

// ---- The component, from the DLL beside this program, without the registry.
HMODULE LoadComponentLibrary() {
  static const HMODULE module = [] {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Holdfast.dll";
    const HMODULE loaded = LoadLibraryW(path.c_str());  // stays loaded for the run
    if (loaded && !CountAllocations(loaded)) {
      std::fprintf(stderr, "Holdfast.dll imports no allocator this benchmark can count\n");
    }
    return loaded;
  }();
  return module;
}

ComPtr<IDispatch> CreateComponent() {
  const HMODULE module = LoadComponentLibrary();
  if (!module) return {};
  const auto get_class_object = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  CLSID clsid{};
  ComPtr<IClassFactory> factory;
  ComPtr<IDispatch> component;
  if (!get_class_object || FAILED(CLSIDFromString(const_cast<LPOLESTR>(kClsidText), &clsid)) ||
      FAILED(get_class_object(clsid, IID_IClassFactory, factory.PutVoid())) ||
      FAILED(factory->CreateInstance(nullptr, IID_IDispatch, component.PutVoid()))) {
    return {};
  }
  return component;
}

// Cols through IDispatch, its identifier looked up once as a compiled host does.
class ColsCaller {
 public:
  explicit ColsCaller(IDispatch* component) : component_(component) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Cols")};
    component_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id_);
  }
  LONG operator()() const {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    if (FAILED(component_->Invoke(id_, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                  result.Put(), nullptr, nullptr)) ||
        V_VT(&result.Get()) != VT_I4) {
      return 0;
    }
    return V_I4(&result.Get());
  }

 private:
  IDispatch* component_;
  DISPID id_ = DISPID_UNKNOWN;
};

// How a host was reached: lookups and calls, each by the interface used.
std::string Reached(const char* name, const testing::DispatchHost& host) {
  return std::string(name) + ": " + std::to_string(host.DispIdLookups()) + " GetDispID, " +
         std::to_string(host.NameLookups()) + " GetIDsOfNames, " +
         std::to_string(host.ExInvokes()) + " InvokeEx, " + std::to_string(host.Invokes()) +
         " Invoke";
}

std::vector<std::string> ReachedAll(const ComHosts& h) {
  return {Reached("StepDisp", *h.disp), Reached("StepMks", *h.mks),
          Reached("StepRunModul", *h.run), Reached("StepTrac", *h.trac),
          Reached("StepJour", *h.jour)};
}

void PrintDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  const std::size_t lines = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < lines; ++i) {
    const std::string x = i < a.size() ? a[i] : "(none)";
    const std::string y = i < b.size() ? b[i] : "(none)";
    std::fprintf(stderr, "%s %s\n  %s\n", x == y ? " " : "!", x.c_str(), y.c_str());
  }
}

// The direct calls must be exactly what Cols does, looked up and called through
// the same interfaces, or the comparison means nothing.
bool SameCalls(Path path, Road road, LONG expected, const char* name) {
  const auto by_cols = std::make_shared<testing::CallLog>();
  const auto by_hand = std::make_shared<testing::CallLog>();
  std::vector<std::string> reached_by_cols;
  {
    const ComPtr<IDispatch> component = CreateComponent();
    const ComHosts hosts(path, by_cols);
    if (!component || !hosts.GiveTo(component.Get())) {
      std::fprintf(stderr, "%s: the component could not be created and given its hosts\n", name);
      return false;
    }
    const LONG result = ColsCaller(component.Get())();
    if (result != expected) {
      std::fprintf(stderr, "%s: Cols returned %ld, not %ld\n", name, result, expected);
      return false;
    }
    reached_by_cols = ReachedAll(hosts);
  }
  std::vector<std::string> reached_by_hand;
  {
    const ComHosts hosts(path, by_hand);
    DirectCaller direct(hosts);
    if (!direct.Ready()) {
      std::fprintf(stderr, "%s: the hosts offer no IDispatchEx\n", name);
      return false;
    }
    (direct.*road)();
    reached_by_hand = ReachedAll(hosts);
  }
  bool same = true;
  if (*by_cols != *by_hand || by_cols->empty()) {
    std::fprintf(stderr, "%s: the direct calls differ from what Cols does\n", name);
    PrintDifference(*by_cols, *by_hand);
    same = false;
  }
  if (reached_by_cols != reached_by_hand) {
    std::fprintf(stderr, "%s: the direct calls reach the hosts differently\n", name);
    PrintDifference(reached_by_cols, reached_by_hand);
    same = false;
  }
  return same;
}

double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

template <class F>
double NanosecondsPerCall(F&& call, int calls) {
  const double start = Seconds();
  for (int i = 0; i < calls; ++i) call();
  return (Seconds() - start) * kNanosecondsPerSecond / calls;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Cols and the direct calls timed in turns, in short batches: the ratio is the
// median of each pair's ratio, so that a machine busy with other work for a
// while slows both halves of the pairs it falls on and moves few of them.
bool Compare(Path path, Road road, const char* name, double goal, int rounds, int calls) {
  const ComPtr<IDispatch> component = CreateComponent();
  const ComHosts hosts(path);
  if (!component || !hosts.GiveTo(component.Get())) return false;
  DirectCaller direct(hosts);
  if (!direct.Ready()) return false;
  const ColsCaller cols(component.Get());
  cols();  // the name texts and the like are made at the first call
  const long allocations_before = g_allocations;
  for (int i = 0; i < kCountedCalls; ++i) cols();
  const double allocations =
      static_cast<double>(g_allocations - allocations_before) / kCountedCalls;
  std::vector<double> with;
  std::vector<double> without;
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    with.push_back(NanosecondsPerCall(cols, calls));
    without.push_back(NanosecondsPerCall([&] { (direct.*road)(); }, calls));
    ratios.push_back(with.back() / without.back());
  }
  const double a = Median(with);
  const double b = Median(without);
  std::printf("COM %d-bit %-13s Cols %6.1f us, direct calls %6.1f us: %+.1f us per Cols, "
              "ratio %.2fx (goal %.2fx); %.1f allocations per Cols in the DLL\n",
              static_cast<int>(sizeof(void*) * CHAR_BIT), name,
              a / kNanosecondsPerMicrosecond, b / kNanosecondsPerMicrosecond,
              (a - b) / kNanosecondsPerMicrosecond, Median(ratios), goal, allocations);
  return true;
}

}  // namespace
}  // namespace clasp::bench

int main(int argc, char** argv) {
  using namespace clasp::bench;
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 31 : 301;
  const int calls = quick ? 20 : 100;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool ok = SameCalls(Path::kCapture, &DirectCaller::CaptureRoad, kRetainedCode, "capture path") &&
            SameCalls(Path::kFailure, &DirectCaller::FailureRoad, kFailureCode, "failure path");
  ok = ok &&
       Compare(Path::kCapture, &DirectCaller::CaptureRoad, "capture path:", kComCaptureGoal, rounds,
               calls) &&
       Compare(Path::kFailure, &DirectCaller::FailureRoad, "failure path:", kComFailureGoal, rounds,
               calls);
  std::fflush(stdout);
  CoUninitialize();
  return ok ? 0 : 1;
}
