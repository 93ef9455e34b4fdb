// The module's entry points: loading, class objects and unloading.
#include <windows.h>

#include "server/class_factory.h"
#include "server/com/module_lock.h"
#include "server/holdfast_object.h"
#include "server/identity.h"
#include "server/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    // Thread notifications stay on: the static C++ runtime's thread cleanup needs them.
    clasp::SetModule(instance);
    // Once loaded, loaded for good: hosts unload us between transactions.
    clasp::PinModuleOf(reinterpret_cast<const void*>(&DllMain));
  } else if (reason == DLL_PROCESS_DETACH) {
    // Only on FreeLibrary (unpinned): at process exit oleaut32 may already be gone.
    if (reserved == nullptr) clasp::ReleaseHoldfastTypeInfo();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID class_id, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (class_id != CLSID_Holdfast) return CLASS_E_CLASSNOTAVAILABLE;
  return clasp::ClassFactory<clasp::CreateHoldfastObject>::Make(iid, out);
}

STDAPI DllCanUnloadNow() { return clasp::ModuleInUse() ? S_FALSE : S_OK; }
