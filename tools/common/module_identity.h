// Which module a ProgID resolves to on this machine, named so that a change
// to it shows: the class, the file and its digest. Windows build only.
#pragma once

#include <string>

namespace clasp::tools {

// What a ProgID stands for here; a field the machine cannot tell is empty.
struct ModuleIdentity {
  std::string prog_id;
  std::string clsid;         // "{5B0F4C21-...}"
  std::string module;        // the server's path as registered, environment expanded (UTF-8)
  std::string file_version;  // "1.0.0.0" from the version resource
  std::string sha256;        // of the module file, lower-case hexadecimal
};

// Reads the registration of `prog_id` in this program's view of the registry
// (its bitness) and the module file it names. Never raises for what is
// missing: the fields stay empty.
ModuleIdentity IdentifyProgId(const std::string& prog_id);

}  // namespace clasp::tools
