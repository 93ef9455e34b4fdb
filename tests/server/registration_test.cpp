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

}  // namespace
}  // namespace clasp::testing
