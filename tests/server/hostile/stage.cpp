#include "stage.h"

#include <cstdio>
#include <stdexcept>

namespace clasp::hostile {
namespace {

// The identities, written out: the attacker knows only what a host knows.
constexpr wchar_t kClsidText[] = L"{5D3B8000-FB87-4881-A317-F716839E71F7}";
constexpr wchar_t kIidText[] = L"{9973A428-EA4E-45BA-9393-22DEADA18D8E}";

GUID GuidOf(const wchar_t* text) {
  GUID guid{};
  CLSIDFromString(const_cast<LPOLESTR>(text), &guid);
  return guid;
}

template <class F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

const Module& Module::Get() {
  static const Module module = [] {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Holdfast.dll";
    const HMODULE handle = LoadLibraryW(path.c_str());
    if (!handle) throw std::runtime_error("Holdfast.dll did not load");
    Module m;
    m.get_class_object = Export<decltype(m.get_class_object)>(handle, "DllGetClassObject");
    m.can_unload_now = Export<decltype(m.can_unload_now)>(handle, "DllCanUnloadNow");
    return m;
  }();
  return module;
}

ComPtr<_Holdfast> CreateComponent() {
  ComPtr<IClassFactory> factory;
  ComPtr<_Holdfast> component;
  if (SUCCEEDED(Module::Get().get_class_object(GuidOf(kClsidText), IID_IClassFactory,
                                               factory.PutVoid()))) {
    factory->CreateInstance(nullptr, GuidOf(kIidText), component.PutVoid());
  }
  return component;
}

Stage::Stage()
    : StepHosts({Binding::kExtended, std::make_shared<CallLog>()}), component(CreateComponent()) {
  mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get());
}

void Stage::Assign() const {
  component->putref_StepDisp(disp.Get());
  component->putref_StepMks(mks.Get());
  component->putref_StepRunModul(run.Get());
  component->putref_StepTrac(trac.Get());
  component->putref_StepJour(jour.Get());
}

std::string Stage::Balanced() {
  component.Reset();
  std::string wrong = CountsLeft();
  if (Module::Get().can_unload_now() != S_OK) wrong += " the module is still in use;";
  return wrong;
}

std::string Stage::LastTrace() const {
  const std::vector<std::string> lines = testing::TraceLines(*log);
  return lines.empty() ? "" : lines.back();
}

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

}  // namespace clasp::hostile
