// What clasp-check found out about Clasp.Holdfast on this machine, in this
// process's view of the registry. Plain data: the diagnosis reads it and the
// Windows probe fills it in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace clasp::check {

// The two bitnesses of a module, a process and a registry view.
constexpr int kBitsOf32 = 32;
constexpr int kBitsOf64 = 64;

// The state of the type library registration against the DLL's own library.
enum class TypeLibState {
  kMatches,        // registered for this platform and the same as the DLL's own
  kNotRegistered,  // no version of the library is registered
  kOtherVersion,   // only other versions are registered (see other_versions)
  kFileMissing,    // registered, but the file it names is gone
  kDiffers,        // registered, but a different library than the DLL carries
  kNotCompared,    // registered, but the DLL is missing or unreadable
};

// One registry value that is absent or differs from what registration writes.
struct Mismatch {
  std::string key;
  std::string name;      // "" for the default value
  std::string expected;
  std::optional<std::string> found;
  // The expected value is the registered module's own path: it means
  // nothing while that registration is itself wrong.
  bool names_module = false;
};

// Everything the diagnosis needs, as one program of one bitness found it.
struct Facts {
  int process_bits = 0;                  // 32 or 64
  bool other_view_exists = false;        // a 64-bit Windows has a second view
  int other_view_bits = 0;
  bool class_registered = false;         // HKCR\CLSID\{class} exists in this view
  std::optional<std::string> path;       // InprocServer32 in this view
  std::optional<std::string> other_view_path;
  bool progid_leads_to_class = false;    // Clasp.Holdfast names our class
  bool file_exists = false;
  int file_bits = 0;                     // 0: not a module we could read
  std::optional<std::string> file_version;
  std::optional<std::string> product_version;  // of the assembly manifest beside the DLL
  std::optional<std::uint32_t> trust_result;   // WinVerifyTrust's answer for the DLL
  TypeLibState type_library = TypeLibState::kNotRegistered;
  std::string type_library_path;         // the registered file, when there is one
  std::vector<std::string> other_versions;
  std::vector<Mismatch> mismatches;
  std::optional<std::uint32_t> create_result;  // HRESULT of creation; empty: not tried
};

// An assembly as a manifest names it.
struct AssemblyIdentity {
  std::string name;
  std::string version;
  std::string architecture;  // processorArchitecture: x86 or amd64
};

// What clasp-check found in one application's folder for registration-free use.
struct RegFreeFacts {
  int process_bits = 0;
  std::string folder;
  bool folder_exists = false;
  std::vector<std::string> application_manifests;   // every *.exe.manifest there
  std::optional<std::string> application_manifest;  // the first that depends on Clasp.Holdfast
  std::optional<AssemblyIdentity> dependency;       // what that one asks for
  bool assembly_manifest_exists = false;            // Clasp.Holdfast.manifest
  std::optional<AssemblyIdentity> assembly;         // what that one declares
  bool declares_class = false;                      // comClass of ours in Holdfast.dll
  std::string dll_path;
  bool dll_exists = false;
  int dll_bits = 0;
  std::optional<std::string> file_version;
  std::optional<std::uint32_t> trust_result;
  std::optional<std::uint32_t> context_result;  // Win32 error of CreateActCtx; empty: not tried
  std::optional<std::uint32_t> create_result;   // HRESULT of creation in that context
  std::optional<std::string> served_by;         // the Holdfast.dll the instance came from
};

}  // namespace clasp::check
