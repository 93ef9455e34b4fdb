#include "options.h"

namespace clasp::check {

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  constexpr char kManifestEquals[] = "--manifest=";
  for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h" || argument == "/?") {
      options.help = true;
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--manifest") {
      // A following option is not a folder: "--manifest --json" lacks one.
      if (i + 1 == arguments.size() || arguments[i + 1].starts_with("--")) {
        options.error = "--manifest needs a folder";
      } else {
        options.manifest_folder = arguments[++i];
      }
    } else if (argument == "--certificate") {
      if (i + 1 == arguments.size() || arguments[i + 1].starts_with("--")) {
        options.error = "--certificate needs a file";
      } else {
        options.certificate = arguments[++i];
      }
    } else if (argument.starts_with(kManifestEquals)) {
      options.manifest_folder = argument.substr(sizeof kManifestEquals - 1);
      if (options.manifest_folder->empty()) options.error = "--manifest needs a folder";
    } else {
      options.error = "unknown option: " + argument;
    }
  }
  return options;
}

std::string Usage() {
  return "Usage: clasp-check [--manifest FOLDER] [--json] | --certificate FILE\n"
         "Checks that programs of this bitness can create Clasp.Holdfast, and if not, why.\n"
         "  (no option)        through the registry, as the installer package leaves it\n"
         "  --manifest FOLDER  without registration: the program's manifest in FOLDER, the\n"
         "                     Clasp.Holdfast.manifest and Holdfast.dll beside it, and the\n"
         "                     class created in that activation context\n"
         "  --json             the findings and the DLL's facts (versions, bitness, path,\n"
         "                     signature, verdict) as one JSON object, for an inventory\n"
         "  --certificate FILE whether what is installed is what clasp-sim --certify\n"
         "                     certified in FILE: the Clasp version, and for each ProgID\n"
         "                     the module it resolves to and its SHA-256\n"
         "  --help             this text\n"
         "Run the 32-bit clasp-check for 32-bit programs, the 64-bit one for 64-bit programs.\n"
         "Exit status: 0 ready, 1 a problem found, 2 a command line not understood.\n";
}

}  // namespace clasp::check
