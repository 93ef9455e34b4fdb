#include "server/registration_table.h"

#include <algorithm>

namespace clasp::registration {
namespace {

std::u16string Join(std::u16string_view first, std::u16string_view second) {
  std::u16string joined(first);
  joined += u'\\';
  joined += second;
  return joined;
}

std::u16string ClassKey() { return Join(u"CLSID", kClsid); }
std::u16string LibraryKey() { return Join(u"TypeLib", kLibid); }
std::u16string LibraryVersionKey() { return Join(LibraryKey(), kTypeLibVersion); }

}  // namespace

std::u16string_view PlatformName(Platform platform) {
  return platform == Platform::kWin64 ? u"win64" : u"win32";
}

std::u16string TypeLibPathKey(Platform platform) {
  return Join(Join(LibraryVersionKey(), kTypeLibLocaleKey), PlatformName(platform));
}

std::vector<std::u16string_view> MarshalledInterfaces() { return {kIid}; }

std::vector<Entry> Entries(Platform platform) {
  const std::u16string class_key = ClassKey();
  const std::u16string server_key = Join(class_key, u"InprocServer32");
  std::vector<Entry> entries = {
      {class_key, u"", Source::kText, std::u16string(kClassName)},
      {server_key, u"", Source::kModulePath, u""},
      {server_key, u"ThreadingModel", Source::kText, std::u16string(kThreadingModel)},
      {Join(class_key, u"ProgID"), u"", Source::kText, std::u16string(kProgId)},
      {Join(class_key, u"TypeLib"), u"", Source::kText, std::u16string(kLibid)},
      {Join(class_key, u"VERSION"), u"", Source::kText, std::u16string(kTypeLibVersion)},
      // The ProgID key is one key for both views.
      {std::u16string(kProgId), u"", Source::kText, std::u16string(kClassName), Scope::kShared},
      {Join(kProgId, u"CLSID"), u"", Source::kText, std::u16string(kClsid), Scope::kShared},
      // The type library as the platform's own registration of it reads it
      // back; it has no help, so no help folder. Flags 0: neither restricted,
      // nor a control, nor hidden. The version key is one key for both views;
      // only the path below it is each bitness's own.
      {LibraryVersionKey(), u"", Source::kText, std::u16string(kLibraryName), Scope::kShared},
      {Join(LibraryVersionKey(), u"FLAGS"), u"", Source::kText, u"0", Scope::kShared},
      {TypeLibPathKey(platform), u"", Source::kModulePath, u""},
      {Join(Join(LibraryVersionKey(), kNeutralLocaleKey), PlatformName(platform)), u"",
       Source::kModulePath, u""},
  };
  const std::vector<std::u16string_view> marshalled = MarshalledInterfaces();
  for (std::u16string_view iid : {kIid, kIidV0, kIidV1}) {
    const std::u16string key = Join(u"Interface", iid);
    entries.push_back({key, u"", Source::kText, std::u16string(kInterfaceName)});
    if (std::find(marshalled.begin(), marshalled.end(), iid) != marshalled.end()) {
      entries.push_back({Join(key, u"ProxyStubClsid"), u"", Source::kText,
                         std::u16string(kAutomationMarshaler)});
      entries.push_back({Join(key, u"ProxyStubClsid32"), u"", Source::kText,
                         std::u16string(kAutomationMarshaler)});
    }
    entries.push_back({Join(key, u"TypeLib"), u"", Source::kText, std::u16string(kLibid)});
    entries.push_back(
        {Join(key, u"TypeLib"), u"Version", Source::kText, std::u16string(kTypeLibVersion)});
  }
  return entries;
}

std::vector<OwnedKey> OwnedKeys(Platform platform) {
  return {{ClassKey(), Scope::kOwn},
          {Join(u"Interface", kIid), Scope::kOwn},
          {Join(u"Interface", kIidV0), Scope::kOwn},
          {Join(u"Interface", kIidV1), Scope::kOwn},
          {TypeLibPathKey(platform), Scope::kOwn},
          {std::u16string(kProgId), Scope::kShared},
          {LibraryVersionKey(), Scope::kShared}};
}

Platform OtherPlatform(Platform platform) {
  return platform == Platform::kWin64 ? Platform::kWin32 : Platform::kWin64;
}

std::vector<std::u16string> RetiredKeys() {
  // Earlier builds gave the aliases a proxy; the marshaller builds a broken
  // one from an alias, and a client in another apartment crashed on it.
  std::vector<std::u16string> keys;
  const std::vector<std::u16string_view> marshalled = MarshalledInterfaces();
  for (std::u16string_view iid : {kIid, kIidV0, kIidV1}) {
    if (std::find(marshalled.begin(), marshalled.end(), iid) != marshalled.end()) continue;
    const std::u16string key = Join(u"Interface", iid);
    keys.push_back(Join(key, u"ProxyStubClsid"));
    keys.push_back(Join(key, u"ProxyStubClsid32"));
  }
  return keys;
}

std::vector<std::u16string> SharedParents() { return {LibraryKey()}; }

}  // namespace clasp::registration
