#include "probe.h"

#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>
#include <softpub.h>
#include <wintrust.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "manifest_text.h"
#include "module_file.h"
#include "server/com/owners.h"
#include "server/guid_text.h"
#include "server/registration_table.h"

namespace clasp::check {
namespace {

namespace reg = registration;

constexpr int kBitsPerByte = 8;
constexpr int kProcessBits = static_cast<int>(sizeof(void*)) * kBitsPerByte;
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

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
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

std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// A manifest's text as UTF-8: manifests come as UTF-8 (with or without a byte
// order mark) or as UTF-16.
std::string ManifestText(const std::wstring& path) {
  constexpr unsigned char kUtf16Mark[] = {0xFF, 0xFE};
  constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
  std::ifstream file(path.c_str(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto starts = [&bytes](const auto& mark) {
    return bytes.size() >= sizeof mark &&
           std::equal(std::begin(mark), std::end(mark), bytes.begin(),
                      [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
  };
  if (starts(kUtf8Mark)) return bytes.substr(sizeof kUtf8Mark);
  if (!starts(kUtf16Mark)) return bytes;
  std::wstring wide((bytes.size() - sizeof kUtf16Mark) / sizeof(wchar_t), L'\0');
  std::copy_n(bytes.data() + sizeof kUtf16Mark, wide.size() * sizeof(wchar_t),
              reinterpret_cast<char*>(wide.data()));
  return Utf8(wide);
}

// What the platform's trust provider answers for the file's Authenticode
// signature: 0 signed and trusted, TRUST_E_NOSIGNATURE unsigned, another code
// signed but not trusted (or, on a platform without a provider, its own answer).
std::uint32_t TrustOf(const std::wstring& path) {
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return static_cast<std::uint32_t>(result);
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
                                found ? std::optional<std::string>(Utf8(*found)) : std::nullopt,
                                is_path});
  }
}

// The path of the loaded module of `name`, when one is loaded.
std::optional<std::string> LoadedModule(const std::wstring& name) {
  const HMODULE module = GetModuleHandleW(name.c_str());
  if (!module) return std::nullopt;
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return Utf8(std::wstring(path, length));
}

// The way hosts create it: by name, then the class, in process. Given
// `served_by`, it names the Holdfast.dll that served the instance.
std::uint32_t TryCreate(std::optional<std::string>* served_by = nullptr) {
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CLSID clsid{};
  HRESULT result = CLSIDFromProgID(Wide(reg::kProgId).c_str(), &clsid);
  if (SUCCEEDED(result)) {
    ComPtr<IDispatch> object;
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              object.PutVoid());
    if (SUCCEEDED(result) && served_by) *served_by = LoadedModule(Wide(reg::kModuleFileName));
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return static_cast<std::uint32_t>(result);
}

// An activation context made from a manifest, released on every path out.
class ActivationContext {
 public:
  ActivationContext(const std::wstring& manifest, const std::wstring& folder) {
    ACTCTXW context{};
    context.cbSize = sizeof context;
    // The assemblies it names are looked for in the program's folder, not
    // ours: Windows takes that from the assembly directory, Wine from the
    // application's name.
    context.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID | ACTCTX_FLAG_APPLICATION_NAME_VALID;
    context.lpSource = manifest.c_str();
    context.lpAssemblyDirectory = folder.c_str();
    context.lpApplicationName = folder.c_str();
    handle_ = CreateActCtxW(&context);
    if (handle_ == INVALID_HANDLE_VALUE) error_ = GetLastError();
  }
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;
  ~ActivationContext() {
    if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
  }
  // 0, or the platform's error for the manifests.
  std::uint32_t Error() const { return error_; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::uint32_t error_ = 0;
};

// The *.exe.manifest files in `folder`, by name, in order.
std::vector<std::wstring> ApplicationManifests(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder + L"\\*.exe.manifest").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void CreateInContext(RegFreeFacts& facts, const std::wstring& manifest,
                     const std::wstring& folder) {
  const ActivationContext context(manifest, folder);
  facts.context_result = context.Error();
  if (context.Error() != 0) return;
  ULONG_PTR cookie = 0;
  if (!ActivateActCtx(context.Get(), &cookie)) {
    facts.context_result = GetLastError();
    return;
  }
  facts.create_result = TryCreate(&facts.served_by);
  DeactivateActCtx(0, cookie);
}

}  // namespace

Facts Probe() {
  Facts facts;
  facts.process_bits = kProcessBits;
  ReadOtherView(facts);
  const auto path = Key(HKEY_CLASSES_ROOT, ServerKey()).Text(L"");
  facts.class_registered =
      static_cast<bool>(Key(HKEY_CLASSES_ROOT, L"CLSID\\" + Wide(reg::kClsid)));
  // Hosts reach the class through its name; a class identifier's case carries no meaning.
  const auto named = Key(HKEY_CLASSES_ROOT, Wide(reg::kProgId) + L"\\CLSID").Text(L"");
  facts.progid_leads_to_class = named && Lower(*named) == Lower(Wide(reg::kClsid));
  if (path) {
    facts.path = Utf8(*path);
    facts.file_exists = FileExists(*path);
    facts.class_registered = true;
    if (facts.file_exists) {
      facts.file_bits = ModuleBits(*path);
      facts.file_version = FileVersion(*path);
      facts.trust_result = TrustOf(*path);
      // The package installs the assembly manifest beside the DLL; its
      // version is the product's, where the DLL's own stays 1.0.0.0.
      if (const auto identity =
              OwnIdentity(ManifestText(FolderOf(*path) + L"\\Clasp.Holdfast.manifest"))) {
        facts.product_version = identity->version;
      }
    }
    ReadTypeLibrary(facts, *path);
    ReadEntries(facts, *path);
  }
  facts.create_result = TryCreate();
  return facts;
}

RegFreeFacts ProbeFolder(const std::string& folder_text) {
  RegFreeFacts facts;
  facts.process_bits = kProcessBits;
  std::wstring folder = WideFromUtf8(folder_text);
  if (const DWORD size = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr)) {
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(folder.c_str(), size, full.data(), nullptr));
    folder = full;
  }
  while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  facts.folder = Utf8(folder);
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  facts.folder_exists =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (!facts.folder_exists) return facts;

  std::wstring application;
  for (const std::wstring& name : ApplicationManifests(folder)) {
    facts.application_manifests.push_back(Utf8(name));
    if (facts.dependency) continue;
    facts.dependency = DependencyOn(ManifestText(folder + L"\\" + name), Utf8(Wide(reg::kProgId)));
    if (facts.dependency) {
      facts.application_manifest = Utf8(name);
      application = folder + L"\\" + name;
    }
  }

  const std::wstring assembly = folder + L"\\" + Wide(reg::kProgId) + L".manifest";
  facts.assembly_manifest_exists = FileExists(assembly);
  if (facts.assembly_manifest_exists) {
    const std::string text = ManifestText(assembly);
    facts.assembly = OwnIdentity(text);
    facts.declares_class =
        DeclaresClass(text, Utf8(Wide(reg::kModuleFileName)), Utf8(Wide(reg::kClsid)));
  }

  const std::wstring dll = folder + L"\\" + Wide(reg::kModuleFileName);
  facts.dll_path = Utf8(dll);
  facts.dll_exists = FileExists(dll);
  if (facts.dll_exists) {
    facts.dll_bits = ModuleBits(dll);
    facts.file_version = FileVersion(dll);
    facts.trust_result = TrustOf(dll);
  }
  if (!application.empty()) CreateInContext(facts, application, folder);
  return facts;
}

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!words) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(words[i]));
  LocalFree(words);
  return arguments;
}

}  // namespace clasp::check
