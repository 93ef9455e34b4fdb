// Self-registration: writes the registration table for this very file, and
// unregistration removes exactly what it wrote. The installer packages carry
// the same table, so a package install and regsvr32 leave the same registry.
#include <windows.h>

#include <string>

#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/module.h"
#include "server/registration_table.h"

namespace clasp {
namespace {

#ifdef _WIN64
constexpr registration::Platform kPlatform = registration::Platform::kWin64;
#else
constexpr registration::Platform kPlatform = registration::Platform::kWin32;
#endif

class RegistryKey {
 public:
  explicit RegistryKey(const std::u16string& path) {
    const LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, WideOf(path), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key_, nullptr);
    Check(HRESULT_FROM_WIN32(status));
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { RegCloseKey(key_); }

  void Set(const std::u16string& name, const std::u16string& value) {
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(char16_t));
    const LSTATUS status =
        RegSetValueExW(key_, name.empty() ? nullptr : WideOf(name), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    Check(HRESULT_FROM_WIN32(status));
  }

 private:
  HKEY key_ = nullptr;
};

void DeleteTree(const std::u16string& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, WideOf(path));
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    Check(HRESULT_FROM_WIN32(status));
  }
}

void Unregister() {
  for (const std::u16string& key : registration::OwnedKeys()) DeleteTree(key);
  // Other versions of the library may live beside ours: the parent goes only
  // when it is empty, and RegDeleteKey refuses a key with subkeys.
  for (const std::u16string& key : registration::SharedParents()) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, WideOf(key));
  }
}

void Register() {
  const std::u16string path = ModulePath();
  // A module whose type library does not load must not be registered at all.
  LoadOwnTypeLibrary();
  for (const registration::Entry& entry : registration::Entries(kPlatform)) {
    const bool is_path = entry.source == registration::Source::kModulePath;
    RegistryKey(entry.key).Set(entry.name, is_path ? path : entry.text);
  }
}

}  // namespace
}  // namespace clasp

STDAPI DllRegisterServer() {
  try {
    clasp::Register();
    return S_OK;
  } catch (...) {
    const HRESULT result = clasp::ToHresult();
    // Leave nothing half registered behind.
    try {
      clasp::Unregister();
    } catch (...) {
    }
    return result;
  }
}

STDAPI DllUnregisterServer() {
  try {
    clasp::Unregister();
    return S_OK;
  } catch (...) {
    return clasp::ToHresult();
  }
}
