#include "sim/certify_main.h"

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

int CertifyMain(int argc, char** argv) {
  CLI::App app{
      "Certifies your own host objects: every road of Cols runs with your objects in the\n"
      "fields you name and simulated ones in the others, and every access to yours is\n"
      "checked against the host contract (clasp-sim --members lists it).",
      "clasp-sim --certify"};
  app.allow_windows_style_options(false);
  bool certify = false;
  std::vector<std::string> hosts;
  std::string script;
  std::string json_file;
  std::string junit_file;
  std::string html_file;
  std::string clock;
  CertifyRequest request;
  request.log_dir = "clasp-logs";
  app.add_flag("--certify", certify, "Run the certification");
  app.add_option("--host", hosts, "Your own automation object for this field, by ProgID (repeatable)")
      ->allow_extra_args(false)
      ->type_name("Field=ProgID");
  app.add_option("--host-script", script,
                 "A VBScript file whose globals StepDisp, StepMks, ... hold your objects "
                 "(Set StepJour = New MyJournal); nothing to register")
      ->type_name("FILE");
  app.add_option("--json", json_file, "Write the verdicts and findings as JSON")->type_name("FILE");
  app.add_option("--junit", junit_file, "Write JUnit XML: a test case per member and road")
      ->type_name("FILE");
  app.add_option("--html", html_file,
                 "Write one self-contained page: the verdict table and each road's accesses")
      ->type_name("FILE");
  bool no_substitute = false;
  app.add_flag("--no-substitute", no_substitute,
               "Let your objects' own answers decide every road: a road whose driving member "
               "of yours answers otherwise is not reached");
  app.add_option("--log-dir", request.log_dir, "Folder of the simulated hosts' files")
      ->capture_default_str();
  app.add_option("--clock", clock, "Fixed time stamp for the files")
      ->type_name("'YYYY-MM-DD HH:MM:SS'");
  app.footer(
      "Exit status: 0 when certified (every road reached, each of your objects reached,\n"
      "nothing failed; warnings are counted), 1 otherwise, 2 for bad input (an unknown\n"
      "field or ProgID, a script that does not run).");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << "clasp-sim: error: " << error.what() << "\n";
    return kExitBadInput;
  }
  try {
    std::set<HostRole> given;
    for (const std::string& text : hosts) {
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
    if (hosts.empty() && script.empty()) {
      throw InputError("--certify: give your objects with --host Field=ProgID or --host-script FILE");
    }
    request.script = script;
    request.substitute = !no_substitute;
    if (!clock.empty()) {
      const auto fixed = Clock::Fixed(clock);
      if (!fixed) throw InputError("--clock: '" + clock + "' is not 'YYYY-MM-DD HH:MM:SS'");
      request.clock = *fixed;
    }
    const Certification certification = Certify(request);
    const std::string text = RenderCertificationText(certification);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (!json_file.empty()) WriteReport(json_file, RenderCertificationJson(certification));
    if (!junit_file.empty()) WriteReport(junit_file, RenderCertificationJunit(certification));
    if (!html_file.empty()) WriteReport(html_file, RenderCertificationHtml(certification));
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
