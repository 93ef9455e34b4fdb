#include "probe.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "module_file.h"
#include "server/com/owners.h"
#include "server/guid_text.h"
#include "server/registration_table.h"

namespace clasp::check {
namespace {

namespace reg = registration;

constexpr int kBitsPerByte = 8;
constexpr int kProcessBits = static_cast<int>(sizeof(void*)) * kBitsPerByte;
constexpr int kBitsOf32 = 32;
constexpr int kBitsOf64 = 64;
constexpr reg::Platform kPlatform =
    kProcessBits == kBitsOf64 ? reg::Platform::kWin64 : reg::Platform::kWin32;
// Longest registry key name.
constexpr DWORD kKeyNameLength = 256;
// A GUID in braces and its terminating null.
constexpr int kGuidTextSize = 39;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                      size, nullptr, nullptr);
  return narrow;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// An open registry key, closed on every path out.
class Key {
 public:
  Key(HKEY root, const std::wstring& path, REGSAM view = 0) {
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  explicit operator bool() const { return key_ != nullptr; }

  // A text value ("" names the default value); expandable text is expanded.
  std::optional<std::wstring> Text(const std::wstring& name) const {
    if (!key_) return std::nullopt;
    DWORD type = 0;
    DWORD bytes = 0;
    const wchar_t* value_name = name.empty() ? nullptr : name.c_str();
    if (RegQueryValueExW(key_, value_name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key_, value_name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &bytes) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    text.resize(wcslen(text.c_str()));
    if (type == REG_EXPAND_SZ) {
      std::wstring expanded(ExpandEnvironmentStringsW(text.c_str(), nullptr, 0), L'\0');
      ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                static_cast<DWORD>(expanded.size()));
      expanded.resize(wcslen(expanded.c_str()));
      return expanded;
    }
    return text;
  }

  std::vector<std::wstring> Subkeys() const {
    std::vector<std::wstring> names;
    wchar_t name[kKeyNameLength];
    for (DWORD i = 0; key_; ++i) {
      DWORD length = kKeyNameLength;
      if (RegEnumKeyExW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, length);
    }
    return names;
  }

 private:
  HKEY key_ = nullptr;
};

std::wstring ServerKey() { return L"CLSID\\" + Wide(reg::kClsid) + L"\\InprocServer32"; }

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ReadOtherView(Facts& facts) {
  REGSAM view = 0;
  if (kProcessBits == kBitsOf64) {
    view = KEY_WOW64_32KEY;
    facts.other_view_bits = kBitsOf32;
  } else {
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return;
    view = KEY_WOW64_64KEY;
    facts.other_view_bits = kBitsOf64;
  }
  facts.other_view_exists = true;
  // The views are told apart below HKLM\Software; HKEY_CLASSES_ROOT merges in
  // per-user classes, which a machine-wide install does not write.
  const Key server(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + ServerKey(), view);
  if (const auto path = server.Text(L"")) facts.other_view_path = Utf8(*path);
}

// What two type libraries declare, as text: equal texts, same library.
std::wstring Signature(ITypeLib* library) {
  std::wstring text;
  TLIBATTR* attr = nullptr;
  if (FAILED(library->GetLibAttr(&attr))) return text;
  wchar_t guid[kGuidTextSize] = {};
  StringFromGUID2(attr->guid, guid, kGuidTextSize);
  text += std::wstring(guid) + L" " + std::to_wstring(attr->wMajorVerNum) + L"." +
          std::to_wstring(attr->wMinorVerNum) + L" " + std::to_wstring(attr->lcid) + L" " +
          std::to_wstring(attr->syskind) + L"\n";
  library->ReleaseTLibAttr(attr);
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    ComPtr<ITypeInfo> info;
    TYPEATTR* type = nullptr;
    if (FAILED(library->GetTypeInfo(i, info.Put())) || FAILED(info->GetTypeAttr(&type))) continue;
    StringFromGUID2(type->guid, guid, kGuidTextSize);
    text += std::wstring(guid) + L" kind " + std::to_wstring(type->typekind) + L" flags " +
            std::to_wstring(type->wTypeFlags) + L"\n";
    for (WORD f = 0; f < type->cFuncs; ++f) {
      FUNCDESC* func = nullptr;
      if (FAILED(info->GetFuncDesc(f, &func))) continue;
      Bstr name;
      info->GetDocumentation(func->memid, name.Put(), nullptr, nullptr, nullptr);
      text += L"  " + std::wstring(name.Get() ? name.Get() : L"") + L" " +
              std::to_wstring(func->memid) + L" " + std::to_wstring(func->invkind) + L" " +
              std::to_wstring(func->cParams) + L"\n";
      info->ReleaseFuncDesc(func);
    }
    info->ReleaseTypeAttr(type);
  }
  return text;
}

std::optional<std::wstring> LibrarySignature(const std::wstring& path) {
  ComPtr<ITypeLib> library;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put()))) return std::nullopt;
  return Signature(library.Get());
}

void ReadTypeLibrary(Facts& facts, const std::wstring& module_path) {
  const Key registered(HKEY_CLASSES_ROOT, Wide(reg::TypeLibPathKey(kPlatform)));
  const auto path = registered.Text(L"");
  if (!path) {
    const Key library(HKEY_CLASSES_ROOT, L"TypeLib\\" + Wide(reg::kLibid));
    for (const std::wstring& version : library.Subkeys()) {
      const bool ours = version == Wide(reg::kTypeLibVersion);
      facts.other_versions.push_back(Utf8(version) + (ours ? " for another platform" : ""));
    }
    facts.type_library =
        facts.other_versions.empty() ? TypeLibState::kNotRegistered : TypeLibState::kOtherVersion;
    return;
  }
  facts.type_library_path = Utf8(*path);
  if (!FileExists(*path)) {
    facts.type_library = TypeLibState::kFileMissing;
    return;
  }
  const auto own = facts.file_exists ? LibrarySignature(module_path) : std::nullopt;
  if (!own) {
    facts.type_library = TypeLibState::kNotCompared;
    return;
  }
  facts.type_library =
      LibrarySignature(*path) == own ? TypeLibState::kMatches : TypeLibState::kDiffers;
}

void ReadEntries(Facts& facts, const std::wstring& module_path) {
  for (const reg::Entry& entry : reg::Entries(kPlatform)) {
    const bool is_path = entry.source == reg::Source::kModulePath;
    const std::wstring expected = is_path ? module_path : Wide(entry.text);
    const auto found = Key(HKEY_CLASSES_ROOT, Wide(entry.key)).Text(Wide(entry.name));
    const bool same = found && (is_path ? Lower(*found) == Lower(expected) : *found == expected);
    if (same) continue;
    facts.mismatches.push_back({Utf8(Wide(entry.key)), Utf8(Wide(entry.name)), Utf8(expected),
                                found ? std::optional<std::string>(Utf8(*found)) : std::nullopt});
  }
}

// The way hosts create it: by name, then the class, in process.
std::uint32_t TryCreate() {
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CLSID clsid{};
  HRESULT result = CLSIDFromProgID(Wide(reg::kProgId).c_str(), &clsid);
  if (SUCCEEDED(result)) {
    ComPtr<IDispatch> object;
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              object.PutVoid());
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return static_cast<std::uint32_t>(result);
}

}  // namespace

Facts Probe() {
  Facts facts;
  facts.process_bits = kProcessBits;
  ReadOtherView(facts);
  const auto path = Key(HKEY_CLASSES_ROOT, ServerKey()).Text(L"");
  if (path) {
    facts.path = Utf8(*path);
    facts.file_exists = FileExists(*path);
    if (facts.file_exists) {
      facts.file_bits = ModuleBits(*path);
      facts.file_version = FileVersion(*path);
    }
    ReadTypeLibrary(facts, *path);
    ReadEntries(facts, *path);
  }
  facts.create_result = TryCreate();
  return facts;
}

}  // namespace clasp::check
