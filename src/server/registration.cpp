// Self-registration: the class, its programmatic identifier, the type library
// and the three interface identifiers; unregistration removes exactly these.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/identity.h"
#include "server/module.h"

namespace clasp {
namespace {

// Automation's own marshaler: dual interfaces need no proxy DLL of ours.
constexpr GUID kAutomationMarshaler = {
    0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr int kGuidTextLength = 39;
#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

std::u16string GuidText(REFGUID guid) {
  wchar_t text[kGuidTextLength] = {};
  StringFromGUID2(guid, text, kGuidTextLength);
  return reinterpret_cast<const char16_t*>(text);
}

std::u16string TypeLibVersion() {
  return std::u16string(1, static_cast<char16_t>(u'0' + kTypeLibMajor)) + u"." +
         std::u16string(1, static_cast<char16_t>(u'0' + kTypeLibMinor));
}

// One string value below HKEY_CLASSES_ROOT; an empty name is the key's default value.
struct Entry {
  std::u16string key;
  std::u16string name;
  std::u16string value;
};

std::u16string ClassKey() { return u"CLSID\\" + GuidText(CLSID_Holdfast); }
std::u16string ProgIdKey() { return std::u16string(kProgId); }
std::u16string InterfaceKey(REFGUID iid) { return u"Interface\\" + GuidText(iid); }
const GUID* const kInterfaceIds[] = {&IID__Holdfast, &kIidHoldfastV0, &kIidHoldfastV1};

std::vector<Entry> Entries(const std::u16string& module_path) {
  const std::u16string clsid = GuidText(CLSID_Holdfast);
  const std::u16string libid = GuidText(LIBID_Clasp);
  const std::u16string marshaler = GuidText(kAutomationMarshaler);
  std::vector<Entry> entries = {
      {ClassKey(), u"", std::u16string(kClassName)},
      {ClassKey() + u"\\InprocServer32", u"", module_path},
      {ClassKey() + u"\\InprocServer32", u"ThreadingModel", std::u16string(kThreadingModel)},
      {ClassKey() + u"\\ProgID", u"", std::u16string(kProgId)},
      {ClassKey() + u"\\TypeLib", u"", libid},
      {ClassKey() + u"\\VERSION", u"", TypeLibVersion()},
      {ProgIdKey(), u"", std::u16string(kClassName)},
      {ProgIdKey() + u"\\CLSID", u"", clsid},
  };
  for (const GUID* iid : kInterfaceIds) {
    const std::u16string key = InterfaceKey(*iid);
    entries.push_back({key, u"", std::u16string(kInterfaceName)});
    entries.push_back({key + u"\\ProxyStubClsid", u"", marshaler});
    entries.push_back({key + u"\\ProxyStubClsid32", u"", marshaler});
    entries.push_back({key + u"\\TypeLib", u"", libid});
    entries.push_back({key + u"\\TypeLib", u"Version", TypeLibVersion()});
  }
  return entries;
}

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
  // The library may not be registered at all; that is what we want anyway.
  UnRegisterTypeLib(LIBID_Clasp, kTypeLibMajor, kTypeLibMinor, kTypeLibLocale, kSysKind);
  DeleteTree(ClassKey());
  DeleteTree(ProgIdKey());
  for (const GUID* iid : kInterfaceIds) DeleteTree(InterfaceKey(*iid));
}

void Register() {
  const std::u16string path = ModulePath();
  const ComPtr<ITypeLib> library = LoadOwnTypeLibrary();
  Check(RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(WideOf(path)), nullptr));
  for (const Entry& entry : Entries(path)) RegistryKey(entry.key).Set(entry.name, entry.value);
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
