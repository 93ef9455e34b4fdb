// The registry entries that make Clasp.Holdfast creatable by name. One list
// for everyone who writes or reads them: DllRegisterServer writes it, the
// installer packages are generated from it and clasp-check compares the
// registry with it, so that the three cannot drift apart.
// Plain standard C++: the package generator is built for the build machine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace clasp::registration {

// The identities as registry text; holdfast.idl carries the same values.
inline constexpr std::u16string_view kClsid = u"{5D3B8000-FB87-4881-A317-F716839E71F7}";
inline constexpr std::u16string_view kLibid = u"{57077DE8-E73B-43A7-BF84-57D466CC9376}";
// _Holdfast now (1.2) and its hidden aliases for 1.0 and 1.1.
inline constexpr std::u16string_view kIid = u"{9973A428-EA4E-45BA-9393-22DEADA18D8E}";
inline constexpr std::u16string_view kIidV0 = u"{44965D7D-2220-4EAA-8C31-9F194DF3F3C8}";
inline constexpr std::u16string_view kIidV1 = u"{7ED3A0C2-565A-4A1A-A832-84156A9CC18F}";
// Automation's own marshaler: dual interfaces need no proxy DLL of ours.
inline constexpr std::u16string_view kAutomationMarshaler =
    u"{00020424-0000-0000-C000-000000000046}";

inline constexpr std::u16string_view kProgId = u"Clasp.Holdfast";
inline constexpr std::u16string_view kClassName = u"Holdfast";
inline constexpr std::u16string_view kInterfaceName = u"_Holdfast";
inline constexpr std::u16string_view kThreadingModel = u"Apartment";
inline constexpr std::u16string_view kLibraryName = u"Clasp";
inline constexpr std::u16string_view kTypeLibVersion = u"1.2";
// The type library's locale (0x409) as its registry key spells it.
inline constexpr std::u16string_view kTypeLibLocaleKey = u"409";
// The neutral locale: where the automation marshaller looks the library up.
inline constexpr std::u16string_view kNeutralLocaleKey = u"0";
inline constexpr std::u16string_view kModuleFileName = u"Holdfast.dll";

// Which registry view and type library platform a module belongs to.
enum class Platform { kWin32, kWin64 };

// Whose a value is. On 64-bit Windows (7 and later) and in a win64 Wine
// prefix HKEY_CLASSES_ROOT has two registry views: the CLSID and Interface
// keys are kept apart for 32- and 64-bit programs, while ProgIDs and TypeLib
// are one key that both views see. A value is this bitness's own when it lies
// in a per-view key or names this bitness's file (the type library's win32 or
// win64 path); it is shared when both bitnesses write the very same value to
// the very same key, which then has to stay while either is registered.
enum class Scope {
  kOwn,     // this bitness's: written and removed with this bitness alone
  kShared,  // both bitnesses': removed with the last of them
};

// Where a value's data comes from.
enum class Source {
  kText,        // the entry's own text
  kModulePath,  // the full path of the registered Holdfast.dll
};

// One string value below HKEY_CLASSES_ROOT; an empty name is the key's default value.
struct Entry {
  std::u16string key;
  std::u16string name;
  Source source = Source::kText;
  std::u16string text;
  Scope scope = Scope::kOwn;
};

// A key whose whole subtree is registration's own, and whose it is.
struct OwnedKey {
  std::u16string key;
  Scope scope;
};

// Every value registration writes, in the order it writes them.
std::vector<Entry> Entries(Platform platform);

// The interfaces other apartments reach through the automation marshaller:
// _Holdfast alone. Its 1.0 and 1.1 identifiers are aliases in the type
// library, from which the marshaller cannot build a working proxy; left
// without one, they are refused across apartments instead.
std::vector<std::u16string_view> MarshalledInterfaces();

// The keys registration creates whose whole subtree is ours to delete.
// Each goes with this bitness (kOwn) or with the last bitness (kShared). A
// value of this bitness's own outside its own keys (a type library path below
// the shared version key) is removed by itself, with the keys it leaves empty.
std::vector<OwnedKey> OwnedKeys(Platform platform);

// Parents that other versions may share: deleted only once they are empty.
std::vector<std::u16string> SharedParents();

// Keys that earlier builds wrote and this one does not: registration removes
// them first, so that they do not outlive a registration over them.
std::vector<std::u16string> RetiredKeys();

// The other bitness: the one whose registration the shared values also serve.
Platform OtherPlatform(Platform platform);

// The type library's key for one platform, e.g. TypeLib\{...}\1.2\409\win32.
std::u16string TypeLibPathKey(Platform platform);

// "win32" or "win64", as the type library key spells the platform.
std::u16string_view PlatformName(Platform platform);

}  // namespace clasp::registration
