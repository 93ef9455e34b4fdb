#include "certificate.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/module_identity.h"
#include "common/sha256.h"
#include "facts.h"
#include "options.h"

namespace clasp::check {
namespace {

using nlohmann::json;

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Paths are compared as the platform compares them: without regard to case.
bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringOrdinal(PathOf(a).c_str(), -1, PathOf(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string Text(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) {
    throw std::invalid_argument(std::string("no text '") + key + "'");
  }
  return it->get<std::string>();
}

// One comparison's line, and whether it matched.
class Lines {
 public:
  void Same(const std::string& what) { text_ += "  same     " + what + "\n"; }
  void Differs(const std::string& what) {
    text_ += "  differs  " + what + "\n";
    ++differences_;
  }
  int Differences() const { return differences_; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  int differences_ = 0;
};

// A certified object made from a registered class: its module and digest now.
void CompareClass(const json& object, const std::string& name, Lines& lines) {
  const std::string prog_id = Text(object, "prog_id");
  const std::string module = Text(object, "module");
  const std::string digest = Text(object, "sha256");
  const tools::ModuleIdentity now = tools::IdentifyProgId(prog_id);
  const std::string who = name + "  " + prog_id;
  if (now.module.empty()) {
    lines.Differs(who + ": not registered now (certified with " + module + ")");
    return;
  }
  if (!SamePath(now.module, module)) {
    lines.Differs(who + ": resolves to " + now.module + " now, to " + module + " when certified");
  }
  if (now.sha256 != digest) {
    lines.Differs(who + ": " + now.module + " has SHA-256 " +
                  (now.sha256.empty() ? std::string("(unreadable)") : now.sha256) +
                  " now, " + digest + " when certified");
  } else if (SamePath(now.module, module)) {
    lines.Same(who + "  " + now.module + "  sha256 " + digest);
  }
}

void CompareScript(const json& object, const std::string& name, Lines& lines) {
  const std::string script = Text(object, "script");
  const std::string digest = Text(object, "sha256");
  const auto now = tools::Sha256OfFile(PathOf(script));
  if (now == digest) {
    lines.Same(name + "  script " + script + "  sha256 " + digest);
  } else {
    lines.Differs(name + "  script " + script + ": SHA-256 " + now.value_or("(unreadable)") +
                  " now, " + digest + " when certified");
  }
}

}  // namespace

CertificateCheck CheckCertificate(const std::string& path, std::string_view clasp_version) {
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in) return {kExitUsage, "clasp-check: cannot read the certificate '" + path + "'\n"};
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  try {
    const json certificate = json::parse(bytes);
    if (!certificate.is_object() ||
        certificate.value("certificate", "") != "clasp-host-certification") {
      throw std::invalid_argument("not a Clasp host certificate");
    }
    const json& provenance = certificate.at("provenance");
    Lines lines;
    const std::string certified_version = Text(provenance, "clasp_version");
    if (certified_version == clasp_version) {
      lines.Same("Clasp version " + certified_version);
    } else {
      lines.Differs("Clasp version: " + std::string(clasp_version) + " now, " + certified_version +
                    " when certified");
    }
    const int bits = provenance.at("bits").get<int>();
    const int own_bits = sizeof(void*) == sizeof(std::uint64_t) ? kBitsOf64 : kBitsOf32;
    if (bits != own_bits) {
      lines.Differs("bitness: certified for " + std::to_string(bits) +
                    "-bit programs; this is the " + std::to_string(own_bits) +
                    "-bit check, which sees the other registration");
    }
    if (!certificate.at("certified").get<bool>()) {
      lines.Differs("the certificate records no certification: " + Text(certificate, "verdict"));
    }
    CompareClass(provenance.at("component"), "component", lines);
    for (const json& object : provenance.at("objects")) {
      const std::string field = Text(object, "field");
      if (object.contains("script")) {
        CompareScript(object, field, lines);
      } else {
        CompareClass(object, field, lines);
      }
    }
    std::string report = "Certificate " + path + " (" + Text(certificate, "verdict") + "; made " +
                         Text(provenance, "utc_time") + " UTC, " + std::to_string(bits) +
                         "-bit)\n" + lines.Text();
    if (lines.Differences() == 0) {
      return {kExitReady, report + "Result: what is installed is what was certified\n"};
    }
    const int n = lines.Differences();
    return {kExitProblems, report + "Result: " + std::to_string(n) +
                               (n == 1 ? " difference" : " differences") +
                               " from what was certified\n"};
  } catch (const std::exception& error) {
    return {kExitUsage, "clasp-check: '" + path + "' is not a certificate: " + error.what() + "\n"};
  }
}

}  // namespace clasp::check
