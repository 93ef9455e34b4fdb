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
    : record(std::make_shared<Record>()),
      component(CreateComponent()),
      disp(Host::Create(L"StepDisp", record)),
      mks(Host::Create(L"StepMks", record)),
      run(Host::Create(L"StepRunModul", record)),
      trac(Host::Create(L"StepTrac", record)),
      jour(Host::Create(L"StepJour", record)) {
  mks->Answers(L"CardReaderRetain", MakeI4(kRetained).Get());
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
  std::string wrong;
  for (Host* host : {disp.Get(), mks.Get(), run.Get(), trac.Get(), jour.Get()}) {
    if (host->Count() != 1) wrong += " a host holds " + std::to_string(host->Count()) + " counts;";
  }
  if (Module::Get().can_unload_now() != S_OK) wrong += " the module is still in use;";
  return wrong;
}

Variant MakeI4(LONG value) {
  Variant result;
  VARIANT* out = result.Put();
  V_VT(out) = VT_I4;
  V_I4(out) = value;
  return result;
}

Variant MakeText(const wchar_t* text) {
  Variant result;
  VARIANT* out = result.Put();
  V_VT(out) = VT_BSTR;
  V_BSTR(out) = SysAllocString(text);
  return result;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

}  // namespace clasp::hostile
