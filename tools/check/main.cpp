// clasp-check: tells a field engineer whether Clasp.Holdfast can be created
// on this terminal by a program of this bitness, and if not, why: through the
// registry, or without registration in one program's folder (--manifest).
// Exit status: 0 when everything is in order, 1 when anything is not, 2 when
// the command line is not understood.
#include <cstdio>
#include <exception>
#include <string>

#include "certificate.h"
#include "diagnosis.h"
#include "options.h"
#include "probe.h"

namespace {

int Run() {
  namespace check = clasp::check;
  const check::Options options = check::ParseOptions(check::CommandLineArguments());
  if (!options.error.empty()) {
    std::fprintf(stderr, "clasp-check: %s\n%s", options.error.c_str(), check::Usage().c_str());
    return check::kExitUsage;
  }
  if (options.help) {
    std::fputs(check::Usage().c_str(), stdout);
    return check::kExitReady;
  }
  if (options.certificate) {
    const check::CertificateCheck result =
        check::CheckCertificate(*options.certificate, CLASP_VERSION);
    std::fputs(result.report.c_str(), result.status == check::kExitUsage ? stderr : stdout);
    return result.status;
  }
  std::string report;
  bool ready = false;
  if (options.manifest_folder) {
    const check::RegFreeFacts facts = check::ProbeFolder(*options.manifest_folder);
    const auto findings = check::Diagnose(facts);
    report = options.json ? check::RenderJson(facts, findings) : check::Render(facts, findings);
    ready = check::AllOk(findings);
  } else {
    const check::Facts facts = check::Probe();
    const auto findings = check::Diagnose(facts);
    report = options.json ? check::RenderJson(facts, findings) : check::Render(facts, findings);
    ready = check::AllOk(findings);
  }
  std::fputs(report.c_str(), stdout);
  return ready ? check::kExitReady : check::kExitProblems;
}

}  // namespace

int main() {
  // Out of memory while reading a hostile manifest, say: a report, not a crash.
  try {
    return Run();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "clasp-check: stopped: %s\n", failure.what());
    return clasp::check::kExitProblems;
  }
}
