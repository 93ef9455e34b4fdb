#include "certify/certify_main.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string_view>

#include <CLI/CLI.hpp>

#include "sim/scenario.h"

namespace clasp::sim {
namespace {

constexpr int kExitBadInput = 2;
constexpr std::string_view kCertifyFlag = "--certify";

void WriteReport(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw InputError("cannot write the report '" + path + "'");
}

}  // namespace

bool WantsCertification(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == kCertifyFlag) return true;
  }
  return false;
}

#ifndef _WIN32
Certification Certify(const CertifyRequest&) {
  throw InputError(
      "--certify needs the Windows build of clasp-sim, which creates automation objects");
}
#endif

namespace {

// Everything the certification's command line takes.
struct CertifyOptions {
  bool certify = false;
  bool no_substitute = false;
  std::vector<std::string> hosts;
  std::string script;
  std::string json_file;
  std::string junit_file;
  std::string html_file;
  std::string certificate_file;
  std::string clock;
  std::string log_dir = "clasp-logs";
};

// The options of the certification mode, declared once for both the mode
// itself and the simulator's --help.
void DeclareOptions(CLI::App& app, CertifyOptions& o) {
  app.allow_windows_style_options(false);
  app.add_flag("--certify", o.certify, "Run the certification");
  app.add_option("--host", o.hosts,
                 "Your own automation object for this field, by ProgID (repeatable)")
      ->allow_extra_args(false)
      ->type_name("Field=ProgID");
  app.add_option("--host-script", o.script,
                 "A VBScript file whose globals StepDisp, StepMks, ... hold your objects "
                 "(Set StepJour = New MyJournal); nothing to register")
      ->type_name("FILE");
  app.add_flag("--no-substitute", o.no_substitute,
               "Let your objects' own answers decide every road: a road whose driving member "
               "of yours answers otherwise is not reached");
  app.add_option("--json", o.json_file, "Write the verdicts and findings as JSON")
      ->type_name("FILE");
  app.add_option("--junit", o.junit_file, "Write JUnit XML: a test case per member and road")
      ->type_name("FILE");
  app.add_option("--html", o.html_file,
                 "Write one self-contained page: the verdict table and each road's accesses")
      ->type_name("FILE");
  app.add_option("--certificate", o.certificate_file,
                 "Write the certificate: provenance, coverage and verdict as one small JSON "
                 "document (clasp-check --certificate FILE compares it with what is installed)")
      ->type_name("FILE");
  app.add_option("--log-dir", o.log_dir, "Folder of the simulated hosts' files")
      ->capture_default_str();
  app.add_option("--clock", o.clock, "Fixed time stamp for the files")
      ->type_name("'YYYY-MM-DD HH:MM:SS'");
  app.footer(
      "Exit status: 0 when certified (every road reached, each of your objects reached,\n"
      "nothing failed; warnings are counted), 1 otherwise, 2 for bad input (an unknown\n"
      "field or ProgID, a script that does not run).");
}

constexpr std::string_view kCertifyAbout =
    "Certifies your own host objects: every road of Cols runs with your objects in the\n"
    "fields you name and simulated ones in the others, and every access to yours is\n"
    "checked against the host contract (clasp-sim --members lists it).";

}  // namespace

std::string CertifyHelp() {
  CLI::App app{std::string(kCertifyAbout), "clasp-sim --certify"};
  CertifyOptions unused;
  DeclareOptions(app, unused);
  return app.help();
}

int CertifyMain(int argc, char** argv) {
  CLI::App app{std::string(kCertifyAbout), "clasp-sim --certify"};
  CertifyOptions o;
  DeclareOptions(app, o);
  CertifyRequest request;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << "clasp-sim: error: " << error.what() << "\n";
    return kExitBadInput;
  }
  try {
    std::set<HostRole> given;
    request.log_dir = o.log_dir;
    for (const std::string& text : o.hosts) {
      const std::size_t equals = text.find('=');
      if (equals == std::string::npos || equals + 1 == text.size()) {
        throw InputError("--host: '" + text + "' is not Field=ProgID");
      }
      const HostRole role = ParseRoleOption("--host", text.substr(0, equals));
      if (!given.insert(role).second) {
        throw InputError("--host: " + text.substr(0, equals) + " is given twice");
      }
      request.hosts.emplace_back(role, text.substr(equals + 1));
    }
    if (o.hosts.empty() && o.script.empty()) {
      throw InputError(
          "--certify: give your objects with --host Field=ProgID or --host-script FILE");
    }
    request.script = o.script;
    request.clasp_version = CLASP_VERSION;
    request.substitute = !o.no_substitute;
    if (!o.clock.empty()) {
      const auto fixed = Clock::Fixed(o.clock);
      if (!fixed) throw InputError("--clock: '" + o.clock + "' is not 'YYYY-MM-DD HH:MM:SS'");
      request.clock = *fixed;
    }
    const Certification certification = Certify(request);
    const std::string text = RenderCertificationText(certification);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (!o.json_file.empty()) WriteReport(o.json_file, RenderCertificationJson(certification));
    if (!o.junit_file.empty()) WriteReport(o.junit_file, RenderCertificationJunit(certification));
    if (!o.html_file.empty()) WriteReport(o.html_file, RenderCertificationHtml(certification));
    if (!o.certificate_file.empty()) {
      WriteReport(o.certificate_file, RenderCertificate(certification));
    }
    return ExitStatus(certification);
  } catch (const InputError& error) {
    std::cerr << "clasp-sim: error: " << error.what() << "\n";
    return kExitBadInput;
  } catch (const std::exception& error) {
    std::cerr << "clasp-sim: cannot certify: " << error.what() << "\n";
    return kExitBadInput;
  }
}

}  // namespace clasp::sim
