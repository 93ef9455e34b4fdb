// Fills a packaging template (the installer source, the assembly manifest)
// from the registration table, so that the packages register exactly what
// DllRegisterServer registers. Built for and run on the build machine.
//
// Usage: fill_template TEMPLATE OUTPUT win32|win64 [NAME=VALUE ...]
// Every @NAME@ in the template is replaced: by the table's own names (below)
// or by a NAME=VALUE argument. A placeholder left unfilled is an error.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/registration_table.h"

namespace {

namespace reg = clasp::registration;

// The installer's file identifier of Holdfast.dll; "[#HoldfastDll]" is its installed path.
constexpr char kFileId[] = "HoldfastDll";
constexpr char kMarker = '@';
constexpr char16_t kLastAscii = 0x7F;

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) {
    if (c > kLastAscii) throw std::runtime_error("registration text is not ASCII");
    narrow += static_cast<char>(c);
  }
  return narrow;
}

std::string XmlEscaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

// Installer values are formatted text: a bracket would start a reference.
std::string FormattedLiteral(const std::string& text) {
  std::string literal;
  for (char c : text) {
    if (c == '[' || c == ']') {
      literal += "[\\";
      literal += c;
      literal += ']';
    } else {
      literal += c;
    }
  }
  return literal;
}

// The shared values go into one component that both packages carry under one
// GUID, and Windows Installer takes a component's contents to be the same in
// every package that has it: a shared value must not differ between the
// bitnesses, nor name one bitness's file.
void CheckShared() {
  const auto shared = [](reg::Platform platform) {
    std::vector<reg::Entry> entries;
    for (const reg::Entry& entry : reg::Entries(platform)) {
      if (entry.scope != reg::Scope::kShared) continue;
      if (entry.source == reg::Source::kModulePath) {
        throw std::runtime_error("shared value names one bitness's file: " + Narrow(entry.key));
      }
      entries.push_back(entry);
    }
    return entries;
  };
  const auto win32 = shared(reg::Platform::kWin32);
  const auto win64 = shared(reg::Platform::kWin64);
  const auto same = [](const reg::Entry& a, const reg::Entry& b) {
    return a.key == b.key && a.name == b.name && a.text == b.text;
  };
  if (win32.empty() || !std::equal(win32.begin(), win32.end(), win64.begin(), win64.end(), same)) {
    throw std::runtime_error("the shared values differ between win32 and win64");
  }
}

// One RegistryValue element per table entry of `scope`, each on its own
// line after `indent`; the first shared value is its component's key path.
std::string RegistryValues(reg::Platform platform, const std::string& indent,
                           reg::Scope scope = reg::Scope::kOwn) {
  std::ostringstream out;
  bool first = true;
  for (const reg::Entry& entry : reg::Entries(platform)) {
    if (entry.scope != scope) continue;
    const std::string value = entry.source == reg::Source::kModulePath
                                  ? std::string("[#") + kFileId + "]"
                                  : FormattedLiteral(Narrow(entry.text));
    if (!first) out << '\n' << indent;
    out << "<RegistryValue Root=\"HKCR\" Key=\"" << XmlEscaped(FormattedLiteral(Narrow(entry.key)))
        << '"';
    if (!entry.name.empty()) out << " Name=\"" << XmlEscaped(Narrow(entry.name)) << '"';
    out << " Type=\"string\" Value=\"" << XmlEscaped(value) << '"';
    if (first && scope == reg::Scope::kShared) out << " KeyPath=\"yes\"";
    out << "/>";
    first = false;
  }
  return out.str();
}

// One comInterfaceExternalProxyStub element per interface the automation
// marshaller carries to other apartments, each on its own line after `indent`.
std::string ProxyStubs(const std::string& indent) {
  std::ostringstream out;
  bool first = true;
  for (std::u16string_view iid : reg::MarshalledInterfaces()) {
    if (!first) out << '\n' << indent;
    first = false;
    out << "<comInterfaceExternalProxyStub iid=\"" << Narrow(iid) << "\" name=\""
        << Narrow(reg::kInterfaceName) << "\" tlbid=\"" << Narrow(reg::kLibid)
        << "\" proxyStubClsid32=\"" << Narrow(reg::kAutomationMarshaler) << "\"/>";
  }
  return out.str();
}

std::map<std::string, std::string> TableNames() {
  return {{"CLSID", Narrow(reg::kClsid)},
          {"LIBID", Narrow(reg::kLibid)},
          {"PROGID", Narrow(reg::kProgId)},
          {"THREADING_MODEL", Narrow(reg::kThreadingModel)},
          {"TYPELIB_VERSION", Narrow(reg::kTypeLibVersion)},
          {"MODULE_FILE", Narrow(reg::kModuleFileName)},
          {"FILE_ID", kFileId}};
}

std::string Fill(const std::string& text, reg::Platform platform,
                 const std::map<std::string, std::string>& names) {
  std::string filled;
  std::size_t at = 0;
  while (true) {
    const std::size_t open = text.find(kMarker, at);
    if (open == std::string::npos) break;
    const std::size_t close = text.find(kMarker, open + 1);
    if (close == std::string::npos) throw std::runtime_error("unmatched @ in template");
    filled.append(text, at, open - at);
    const std::string name = text.substr(open + 1, close - open - 1);
    if (name == "SHARED_REGISTRY_VALUES") {
      CheckShared();
      filled += RegistryValues(platform, filled.substr(filled.rfind('\n') + 1), reg::Scope::kShared);
    } else if (name == "REGISTRY_VALUES") {
      // Continue each line with the placeholder's own indentation.
      const std::size_t line_start = filled.rfind('\n') + 1;
      filled += RegistryValues(platform, filled.substr(line_start));
    } else if (name == "PROXY_STUBS") {
      filled += ProxyStubs(filled.substr(filled.rfind('\n') + 1));
    } else if (const auto found = names.find(name); found != names.end()) {
      filled += found->second;
    } else {
      throw std::runtime_error("no value for @" + name + "@");
    }
    at = close + 1;
  }
  filled.append(text, at);
  return filled;
}

reg::Platform PlatformOf(const std::string& text) {
  if (text == "win32") return reg::Platform::kWin32;
  if (text == "win64") return reg::Platform::kWin64;
  throw std::runtime_error("platform must be win32 or win64, not " + text);
}

}  // namespace

int main(int argc, char** argv) {
  constexpr int kFixedArguments = 4;
  if (argc < kFixedArguments) {
    std::cerr << "usage: fill_template TEMPLATE OUTPUT win32|win64 [NAME=VALUE ...]\n";
    return 2;
  }
  try {
    std::map<std::string, std::string> names = TableNames();
    for (int i = kFixedArguments; i < argc; ++i) {
      const std::string argument = argv[i];
      const std::size_t equals = argument.find('=');
      if (equals == std::string::npos) throw std::runtime_error("not NAME=VALUE: " + argument);
      names[argument.substr(0, equals)] = argument.substr(equals + 1);
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string filled = Fill(text.str(), PlatformOf(argv[3]), names);
    std::ofstream out(argv[2], std::ios::binary);
    out << filled;
    if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
    return 0;
  } catch (const std::exception& failure) {
    std::cerr << "fill_template: " << failure.what() << '\n';
    return 1;
  }
}
