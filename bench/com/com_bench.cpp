// What Cols costs a host over COM: a client calls Cols on Holdfast.dll through
// IDispatch, against host IDispatch objects that do nothing, and then makes the
// very same IDispatch calls on those hosts itself. Both are timed in turns in
// one run; the ratio is the component's overhead as a host sees it.
// Usage: clasp_com_bench.exe [--quick]   (Holdfast.dll must sit beside it)
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "direct_calls.h"
#include "com_hosts.h"

namespace clasp::bench {
namespace {

constexpr wchar_t kClsidText[] = L"{5D3B8000-FB87-4881-A317-F716839E71F7}";
constexpr LONG kRetainedCode = 10120011;
constexpr LONG kFailureCode = 10010003;
constexpr double kRatioGoal = 1.3;

using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);

// A new component from the DLL beside this program, without the registry.
ComPtr<IDispatch> CreateComponent() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Holdfast.dll";
  const HMODULE module = LoadLibraryW(path.c_str());  // stays loaded for the run
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

// The direct calls must be exactly what Cols does, or the comparison means nothing.
bool SameCalls(Path path, void (*direct)(const ComHosts&), LONG expected, const char* name) {
  const auto by_cols = std::make_shared<testing::CallLog>();
  const auto by_hand = std::make_shared<testing::CallLog>();
  const ComPtr<IDispatch> component = CreateComponent();
  {
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
  }
  direct(ComHosts(path, by_hand));
  if (*by_cols == *by_hand && !by_cols->empty()) return true;
  std::fprintf(stderr, "%s: the direct calls differ from what Cols does\n", name);
  const std::size_t lines = std::max(by_cols->size(), by_hand->size());
  for (std::size_t i = 0; i < lines; ++i) {
    const std::string a = i < by_cols->size() ? (*by_cols)[i] : "(none)";
    const std::string b = i < by_hand->size() ? (*by_hand)[i] : "(none)";
    std::fprintf(stderr, "%s %s\n  %s\n", a == b ? " " : "!", a.c_str(), b.c_str());
  }
  return false;
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
  return (Seconds() - start) * 1e9 / calls;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Cols and the direct calls timed in turns, batch by batch; medians compared.
bool Compare(Path path, void (*direct)(const ComHosts&), const char* name, int rounds,
             int calls) {
  const ComPtr<IDispatch> component = CreateComponent();
  const ComHosts hosts(path);
  if (!component || !hosts.GiveTo(component.Get())) return false;
  const ColsCaller cols(component.Get());
  std::vector<double> with;
  std::vector<double> without;
  for (int round = 0; round < rounds; ++round) {
    with.push_back(NanosecondsPerCall(cols, calls));
    without.push_back(NanosecondsPerCall([&] { direct(hosts); }, calls));
  }
  const double a = Median(with);
  const double b = Median(without);
  std::printf("COM %-13s Cols %8.0f ns, bare IDispatch calls %8.0f ns: ratio %.2fx (goal %.1fx)\n",
              name, a, b, a / b, kRatioGoal);
  return true;
}

}  // namespace
}  // namespace clasp::bench

int main(int argc, char** argv) {
  using namespace clasp::bench;
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 3 : 15;
  const int calls = quick ? 200 : 2000;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool ok = SameCalls(Path::kCapture, CaptureCalls, kRetainedCode, "capture path") &&
            SameCalls(Path::kFailure, FailureCalls, kFailureCode, "failure path");
  ok = ok && Compare(Path::kCapture, CaptureCalls, "capture path:", rounds, calls) &&
       Compare(Path::kFailure, FailureCalls, "failure path:", rounds, calls);
  std::fflush(stdout);
  CoUninitialize();
  return ok ? 0 : 1;
}
