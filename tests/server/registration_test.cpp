// What DllRegisterServer writes and DllUnregisterServer takes away.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "server.h"

namespace clasp::testing {
namespace {

const std::wstring kPlatformKey = sizeof(void*) == 8 ? L"win64" : L"win32";
constexpr wchar_t kMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";

// The string value `name` ("" for the default) of a key below HKEY_CLASSES_ROOT.
std::optional<std::wstring> Value(const std::wstring& key, const wchar_t* name = L"") {
  DWORD bytes = 0;
  const wchar_t* value_name = *name ? name : nullptr;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value_name, RRF_RT_REG_SZ, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value_name, RRF_RT_REG_SZ, nullptr, text.data(),
               &bytes);
  text.resize(wcslen(text.c_str()));
  return text;
}

bool KeyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

void CreateKey(const std::wstring& key) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(handle);
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = towlower(c);
  return text;
}

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsidText;
const std::wstring kLibraryKey = std::wstring(L"TypeLib\\") + kLibidText;
const std::wstring kInterfaceKeys[] = {std::wstring(L"Interface\\") + kIidText,
                                       std::wstring(L"Interface\\") + kIidV0Text,
                                       std::wstring(L"Interface\\") + kIidV1Text};

class Registration : public ::testing::Test {
 protected:
  // Whatever a test does, the component is registered again afterwards: the
  // tests that create it by ProgID rely on it.
  void TearDown() override { EXPECT_EQ(Server::Get().register_server(), S_OK); }
};

TEST_F(Registration, WritesClassProgIdLibraryAndInterfaces) {
  // Builds before this one gave the aliases a proxy; registering over such a
  // registration must not leave it behind (it crashed clients in other
  // apartments).
  for (const std::wstring& alias : {kInterfaceKeys[1], kInterfaceKeys[2]}) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (alias + L"\\ProxyStubClsid32").c_str(),
                              nullptr, REG_SZ, kMarshaler, sizeof(kMarshaler)),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(Server::Get().register_server(), S_OK);
  const std::wstring path = Lower(Server::Get().path);
  const struct {
    std::wstring key;
    const wchar_t* name;
    std::optional<std::wstring> value;  // nothing: must not be there
  } expected[] = {
      {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {kClassKey + L"\\ProgID", L"", kProgId},
      {kClassKey + L"\\TypeLib", L"", kLibidText},
      {std::wstring(kProgId) + L"\\CLSID", L"", kClsidText},
      {kInterfaceKeys[0], L"", L"_Holdfast"},
      {kInterfaceKeys[0] + L"\\ProxyStubClsid32", L"", kMarshaler},
      {kInterfaceKeys[0] + L"\\TypeLib", L"", kLibidText},
      {kInterfaceKeys[0] + L"\\TypeLib", L"Version", L"1.2"},
      {kInterfaceKeys[1], L"", L"_Holdfast"},
      // The aliases have no proxy: the marshaller cannot build one from an alias.
      {kInterfaceKeys[1] + L"\\ProxyStubClsid32", L"", std::nullopt},
      {kInterfaceKeys[1] + L"\\TypeLib", L"", kLibidText},
      {kInterfaceKeys[2], L"", L"_Holdfast"},
      {kInterfaceKeys[2] + L"\\ProxyStubClsid32", L"", std::nullopt},
      {kInterfaceKeys[2] + L"\\TypeLib", L"", kLibidText},
  };
  for (const auto& entry : expected) {
    SCOPED_TRACE(::testing::Message() << entry.key << " " << entry.name);
    EXPECT_EQ(Value(entry.key, entry.name), entry.value);
  }
  // Both paths name this very file.
  EXPECT_EQ(Lower(Value(kClassKey + L"\\InprocServer32").value_or(L"")), path);
  // The library's locale, and the neutral one, where the marshaller looks.
  for (const wchar_t* locale : {L"409", L"0"}) {
    SCOPED_TRACE(::testing::Message() << "locale " << locale);
    const std::wstring key = kLibraryKey + L"\\1.2\\" + locale + L"\\" + kPlatformKey;
    EXPECT_EQ(Lower(Value(key).value_or(L"")), path);
  }

  // And the registry leads a host from the ProgID to this class.
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
  EXPECT_EQ(TextOfGuid(clsid), kClsidText);
  LPOLESTR prog_id = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(clsid, &prog_id), S_OK);
  EXPECT_EQ(std::wstring(prog_id), kProgId);
  CoTaskMemFree(prog_id);
}

// Registration writes the type library's keys itself (the installer packages
// carry the same values); the platform must find the library through them.
TEST_F(Registration, TypeLibraryLoadsThroughTheRegistry) {
  ASSERT_EQ(Server::Get().register_server(), S_OK);
  const GUID libid = GuidOf(kLibidText);
  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(libid, 1, 2, 0x0409, library.Put()), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(TextOfGuid(attr->guid), kLibidText);
  EXPECT_EQ(attr->wMinorVerNum, 2);
  library->ReleaseTLibAttr(attr);
  Bstr path;
  ASSERT_EQ(QueryPathOfRegTypeLib(libid, 1, 2, 0x0409, path.Put()), S_OK);
  EXPECT_EQ(Lower(path.Get()), Lower(Server::Get().path));
  EXPECT_EQ(Value(kLibraryKey + L"\\1.2"), L"Clasp");
}

TEST_F(Registration, UnregisterRemovesExactlyWhatWasRegistered) {
  ASSERT_EQ(Server::Get().register_server(), S_OK);
  // Neighbours that belong to someone else: another version of the library
  // and another class.
  const std::wstring other_version = kLibraryKey + L"\\9.9";
  const std::wstring other_class = L"CLSID\\{5D3B8000-FB87-4881-A317-F716839E71F8}";
  CreateKey(other_version);
  CreateKey(other_class);

  ASSERT_EQ(Server::Get().unregister_server(), S_OK);
  for (const std::wstring& key : {kClassKey, std::wstring(kProgId), kLibraryKey + L"\\1.2",
                                  kInterfaceKeys[0], kInterfaceKeys[1], kInterfaceKeys[2]}) {
    SCOPED_TRACE(::testing::Message() << key);
    EXPECT_FALSE(KeyExists(key));
  }
  EXPECT_TRUE(KeyExists(other_version));
  EXPECT_TRUE(KeyExists(other_class));
  CLSID clsid{};
  EXPECT_NE(CLSIDFromProgID(kProgId, &clsid), S_OK);

  // Unregistering twice is harmless.
  EXPECT_EQ(Server::Get().unregister_server(), S_OK);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, other_version.c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, other_class.c_str());
}

// The other bitness's registration beside ours: its class in its own registry
// view, or its type library path below the version key both views share.
// Removing ours must leave the ProgID and the version key to it; with the
// other one gone too, nothing of ours is left. A failed registration removes
// nothing: what was registered before it is registered after it.
TEST_F(Registration, KeepsWhatTheOtherBitnessStillNeeds) {
  const bool win64 = sizeof(void*) == 8;
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  const bool two_views = win64 || wow64;
  const REGSAM other_view = win64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  const std::wstring other_path = kLibraryKey + L"\\1.2\\409\\" + (win64 ? L"win32" : L"win64");
  const std::wstring other_server = kClassKey + L"\\InprocServer32";
  const std::wstring own_path = kLibraryKey + L"\\1.2\\409\\" + kPlatformKey;
  // What the other bitness's registration writes there: its file's path.
  const auto set_other = [&](const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x.dll"),
                   sizeof(L"x.dll"));
    RegCloseKey(key);
  };
  const auto clear_other = [&] {
    RegDeleteKeyExW(HKEY_CLASSES_ROOT, other_server.c_str(), other_view, 0);
    RegDeleteKeyExW(HKEY_CLASSES_ROOT, kClassKey.c_str(), other_view, 0);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, other_path.c_str());
  };
  // A volatile key may hold no lasting subkey: registration fails there, half
  // way, after the shared values are written.
  const auto break_registration = [] {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kInterfaceKeys[2].c_str());
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, kInterfaceKeys[2].c_str(), 0, nullptr,
                    REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    RegCloseKey(key);
  };
  const struct {
    const char* name;
    bool other_server;  // the other view's class is registered
    bool other_path;    // the other platform's type library path is registered
    bool failed_registration;
    bool registered_before;  // ours was registered when it was removed or failed
    bool shared_stays;
  } cases[] = {
      {"unregister, other class and path", true, true, false, true, true},
      {"unregister, other class alone", true, false, false, true, true},
      {"unregister, other path alone", false, true, false, true, true},
      {"unregister, no other", false, false, false, true, false},
      {"failed over ours, other class alone", true, false, true, true, true},
      {"failed over ours, other path alone", false, true, true, true, true},
      {"failed over ours, no other", false, false, true, true, true},
      {"failed over nothing, no other", false, false, true, false, false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    // Without a second view, "the other view's class" is our own.
    if (row.other_server && !two_views) continue;
    ASSERT_EQ(Server::Get().register_server(), S_OK);
    if (!row.registered_before) {
      ASSERT_EQ(Server::Get().unregister_server(), S_OK);
    }
    if (row.other_server) set_other(other_server, other_view);
    if (row.other_path) set_other(other_path, 0);
    const std::optional<std::wstring> server_before = Value(kClassKey + L"\\InprocServer32");
    if (row.failed_registration) {
      break_registration();
      EXPECT_NE(Server::Get().register_server(), S_OK);
    } else {
      EXPECT_EQ(Server::Get().unregister_server(), S_OK);
    }
    // Unregistered, ours is gone; after a failed attempt, ours is as it was.
    const bool ours_stays = row.failed_registration && row.registered_before;
    EXPECT_EQ(Value(kClassKey + L"\\InprocServer32"), ours_stays ? server_before : std::nullopt);
    for (const std::wstring& key : {kClassKey, own_path, kInterfaceKeys[0], kInterfaceKeys[1]}) {
      SCOPED_TRACE(::testing::Message() << key);
      EXPECT_EQ(KeyExists(key), ours_stays);
    }
    EXPECT_EQ(KeyExists(kInterfaceKeys[2]), row.failed_registration);  // the test's volatile key
    EXPECT_EQ(KeyExists(other_path), row.other_path);
    EXPECT_EQ(Value(std::wstring(kProgId) + L"\\CLSID").has_value(), row.shared_stays);
    EXPECT_EQ(Value(kLibraryKey + L"\\1.2").has_value(), row.shared_stays);
    EXPECT_EQ(KeyExists(kLibraryKey), row.shared_stays);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kInterfaceKeys[2].c_str());
    clear_other();
    EXPECT_EQ(Server::Get().unregister_server(), S_OK);
    EXPECT_FALSE(KeyExists(std::wstring(kProgId)));
    EXPECT_FALSE(KeyExists(kLibraryKey));
  }
}

// A copy of the DLL elsewhere whose type library is damaged fails to register
// with the platform's answer, and the registration already there, alone or
// beside the other bitness's, keeps working.
TEST_F(Registration, ADamagedCopyLeavesTheWorkingRegistration) {
  wchar_t folder[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring copy = std::wstring(folder) + L"damaged_copy\\Holdfast.dll";
  CreateDirectoryW((std::wstring(folder) + L"damaged_copy").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(Server::Get().path.c_str(), copy.c_str(), FALSE));
  {
    // Every type library signature in the file spoilt.
    const HANDLE file = CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD done = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    int spoilt = 0;
    for (std::size_t at = bytes.find("MSFT"); at != std::string::npos;
         at = bytes.find("MSFT", at + 1), ++spoilt) {
      bytes[at] = 'X';
    }
    EXPECT_GT(spoilt, 0);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
  }
  const HMODULE damaged = LoadLibraryW(copy.c_str());
  ASSERT_NE(damaged, nullptr);
  const auto register_damaged =
      reinterpret_cast<HRESULT(__stdcall*)()>(
          reinterpret_cast<void*>(GetProcAddress(damaged, "DllRegisterServer")));
  ASSERT_NE(register_damaged, nullptr);
  const std::wstring other_path = kLibraryKey + L"\\1.2\\409\\" +
                                  (sizeof(void*) == 8 ? L"win32" : L"win64");
  for (const bool beside_other : {false, true}) {
    SCOPED_TRACE(beside_other ? "beside the other bitness" : "alone");
    ASSERT_EQ(Server::Get().register_server(), S_OK);
    if (beside_other) CreateKey(other_path);
    const std::optional<std::wstring> server = Value(kClassKey + L"\\InprocServer32");
    EXPECT_EQ(register_damaged(), static_cast<HRESULT>(0x80029C4A));
    EXPECT_EQ(Value(kClassKey + L"\\InprocServer32"), server);
    EXPECT_TRUE(Value(std::wstring(kProgId) + L"\\CLSID").has_value());
    const ComPtr<IDispatch> component = CreateByProgId();
    EXPECT_TRUE(component);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, other_path.c_str());
  }
  FreeLibrary(damaged);
  DeleteFileW(copy.c_str());
}

}  // namespace
}  // namespace clasp::testing
