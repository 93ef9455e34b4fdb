// Self-registration: writes the registration table for this very file, and
// unregistration removes exactly what it wrote. The installer packages carry
// the same table, so a package install and regsvr32 leave the same registry.
// The other bitness may be registered beside this one: what the table marks
// shared goes only with the last bitness registered, and this bitness never
// deletes what the other still needs. A failed registration puts back what it
// changed and touches nothing else.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/module.h"
#include "server/registration_table.h"

namespace clasp {
namespace {

namespace reg = registration;

#ifdef _WIN64
constexpr reg::Platform kPlatform = reg::Platform::kWin64;
// The other bitness's registry view. On 32-bit Windows there is none and
// the flag is ignored: the "other" view is then our own, which is read only
// after this bitness's values are gone.
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr reg::Platform kPlatform = reg::Platform::kWin32;
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
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

// A key opened for reading, in this view or `view`; closed on every way out,
// and empty when it is not there.
class OpenedKey {
 public:
  explicit OpenedKey(const std::u16string& path, REGSAM view = 0) {
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, WideOf(path), 0, KEY_QUERY_VALUE | view, &key_) !=
        ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  ~OpenedKey() {
    if (key_) RegCloseKey(key_);
  }
  explicit operator bool() const { return key_ != nullptr; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Pruning never deletes a key with fewer separators than TypeLib\{LIBID}\1.2:
// CLSID or TypeLib themselves and the key of each identity go only by name.
constexpr std::ptrdiff_t kLowestPrunedDepth = 2;

void DeleteTree(const std::u16string& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, WideOf(path));
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    Check(HRESULT_FROM_WIN32(status));
  }
}

std::u16string ParentOf(const std::u16string& key) {
  const std::size_t last = key.rfind(u'\\');
  return last == std::u16string::npos ? std::u16string() : key.substr(0, last);
}

// The owned key that holds `key` (or is it) most closely; null when none does.
const reg::OwnedKey* HolderOf(const std::vector<reg::OwnedKey>& owned,
                              const std::u16string& key) {
  const reg::OwnedKey* holder = nullptr;
  for (const reg::OwnedKey& candidate : owned) {
    const std::u16string& path = candidate.key;
    const bool holds = key.compare(0, path.size(), path) == 0 &&
                       (key.size() == path.size() || key[path.size()] == u'\\');
    if (holds && (!holder || path.size() > holder->key.size())) holder = &candidate;
  }
  return holder;
}

// Deletes `key` and then its parents for as long as each is left empty
// (no values, no subkeys), stopping at `stop` and below the second level:
// CLSID, Interface and TypeLib and their direct subkeys are never pruned.
void PruneEmpty(std::u16string key, const std::u16string& stop) {
  while (key != stop && std::count(key.begin(), key.end(), u'\\') >= kLowestPrunedDepth) {
    DWORD subkeys = 0;
    DWORD values = 0;
    if (const OpenedKey opened(key); opened) {
      const LSTATUS status = RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys,
                                              nullptr, nullptr, &values, nullptr, nullptr,
                                              nullptr, nullptr);
      if (status != ERROR_SUCCESS || subkeys != 0 || values != 0) return;
    }
    RegDeleteKeyW(HKEY_CLASSES_ROOT, WideOf(key));
    key = ParentOf(key);
  }
}

// Removes what the table gives `scope`: its owned keys whole, then each of its
// values that no owned key of its own scope holds (a type library path below
// the shared version key), each with the keys that it leaves empty.
void RemoveScope(reg::Scope scope) {
  const std::vector<reg::OwnedKey> owned = reg::OwnedKeys(kPlatform);
  for (const reg::OwnedKey& key : owned) {
    if (key.scope != scope) continue;
    DeleteTree(key.key);
    const std::u16string parent = ParentOf(key.key);
    if (const reg::OwnedKey* holder = HolderOf(owned, parent)) PruneEmpty(parent, holder->key);
  }
  for (const reg::Entry& entry : reg::Entries(kPlatform)) {
    if (entry.scope != scope) continue;
    const reg::OwnedKey* holder = HolderOf(owned, entry.key);
    if (holder && holder->scope == scope) continue;  // gone with its key
    RegDeleteKeyValueW(HKEY_CLASSES_ROOT, WideOf(entry.key),
                       entry.name.empty() ? nullptr : WideOf(entry.name));
    PruneEmpty(entry.key, holder ? holder->key : std::u16string());
  }
}

// Whether any value the other bitness writes of its own is still there, read
// in its own view: its class or interfaces, or its type library path below
// the shared version key.
bool OtherBitnessRegistered() {
  for (const reg::Entry& entry : reg::Entries(reg::OtherPlatform(kPlatform))) {
    if (entry.scope != reg::Scope::kOwn) continue;
    const OpenedKey key(entry.key, kOtherView);
    if (key && RegQueryValueExW(key.Get(), entry.name.empty() ? nullptr : WideOf(entry.name),
                                nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      return true;
    }
  }
  return false;
}

// Whether `key` exists in this view.
bool KeyExists(const std::u16string& key) { return static_cast<bool>(OpenedKey(key)); }

// Whether `key` holds neither values nor subkeys (false when it cannot be read).
bool KeyEmpty(const std::u16string& key) {
  const OpenedKey opened(key);
  DWORD subkeys = 0;
  DWORD values = 0;
  return opened &&
         RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                          &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

// What one registration attempt changed, so that a failed attempt puts back
// exactly that and nothing more: a registration that is already there (of
// this copy, of another copy, of the other bitness) must survive a copy that
// fails to register. Each value is noted as it was before it is written: put
// back with its old data, or removed when it was not there; a key the write
// created is removed again once that leaves it empty.
class Undo {
 public:
  // Notes value `name` of `key` as it is now; raises when it cannot be read.
  void Note(const std::u16string& key, const std::u16string& name) {
    Previous previous;
    previous.key = key;
    previous.name = name;
    // The highest key of the path that is not there yet: the write creates
    // it and every key below it.
    for (std::size_t at = key.find(u'\\'); ; at = key.find(u'\\', at + 1)) {
      const std::u16string prefix = key.substr(0, at);
      if (!KeyExists(prefix)) {
        previous.created_from = prefix;
        break;
      }
      if (at == std::u16string::npos) break;
    }
    if (previous.created_from.empty()) {
      const OpenedKey opened(key);
      const LPCWSTR value = name.empty() ? nullptr : WideOf(name);
      DWORD bytes = 0;
      LSTATUS status = RegQueryValueExW(opened.Get(), value, nullptr, nullptr, nullptr, &bytes);
      if (status == ERROR_SUCCESS) {
        previous.data.resize(bytes);
        status = RegQueryValueExW(opened.Get(), value, nullptr, &previous.type,
                                  previous.data.data(), &bytes);
        previous.data.resize(bytes);
        previous.existed = true;
      }
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        Check(HRESULT_FROM_WIN32(status));
      }
    }
    changes_.push_back(std::move(previous));
  }

  // Puts back every noted value, the last written first.
  void Apply() noexcept {
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
      const LPCWSTR value = change->name.empty() ? nullptr : WideOf(change->name);
      if (change->existed) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, WideOf(change->key), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
          RegSetValueExW(key, value, 0, change->type, change->data.data(),
                         static_cast<DWORD>(change->data.size()));
          RegCloseKey(key);
        }
        continue;
      }
      RegDeleteKeyValueW(HKEY_CLASSES_ROOT, WideOf(change->key), value);
      if (change->created_from.empty()) continue;
      for (std::u16string key = change->key; KeyEmpty(key); key = ParentOf(key)) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, WideOf(key));
        if (key == change->created_from) break;
      }
    }
    changes_.clear();
  }

 private:
  struct Previous {
    std::u16string key;
    std::u16string name;
    std::u16string created_from;  // the highest key the write created; empty if none
    bool existed = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };
  std::vector<Previous> changes_;
};

// This bitness's values always; the shared ones only when no other bitness's
// registration remains to need them.
void Unregister() {
  RemoveScope(reg::Scope::kOwn);
  if (OtherBitnessRegistered()) return;
  RemoveScope(reg::Scope::kShared);
  // Other versions of the library may live beside ours: the parent goes only
  // when it is empty, and RegDeleteKey refuses a key with subkeys.
  for (const std::u16string& key : reg::SharedParents()) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, WideOf(key));
  }
}

// Writes the table, each value noted in `undo` first. The keys earlier builds
// wrote and this one retires go only once every value is written: a failed
// attempt leaves them as they were, too.
void Register(Undo& undo) {
  const std::u16string path = ModulePath();
  // A module whose type library does not load must not be registered at all.
  LoadOwnTypeLibrary();
  for (const reg::Entry& entry : reg::Entries(kPlatform)) {
    const bool is_path = entry.source == reg::Source::kModulePath;
    undo.Note(entry.key, entry.name);
    RegistryKey(entry.key).Set(entry.name, is_path ? path : entry.text);
  }
  for (const std::u16string& key : reg::RetiredKeys()) DeleteTree(key);
}

}  // namespace
}  // namespace clasp

STDAPI DllRegisterServer() {
  clasp::Undo undo;
  try {
    clasp::Register(undo);
    return S_OK;
  } catch (...) {
    const HRESULT result = clasp::ToHresult();
    // Nothing half registered, and nothing that was there before taken away.
    undo.Apply();
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
