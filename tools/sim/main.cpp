// clasp-sim: runs the retain-card step against simulated host objects and
// prints what happened, for integrators who have no terminal at hand.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "host/text.h"
#include "certify/certify_main.h"
#include "sim/component.h"
#include "sim/real_host.h"
#include "sim/recording_proxy.h"
#include "sim/render.h"
#include "sim/run.h"
#include "sim/scenario.h"

namespace {

using namespace clasp::sim;

constexpr int kExitRan = 0;
constexpr int kExitCannotRun = 1;
constexpr int kExitBadInput = 2;

struct Options {
  std::string scenario_file;
  std::string screen_no;
  std::string status;
  std::vector<std::string> display_values;
  std::vector<std::pair<std::string, std::string>> shortcuts;  // key, value text
  std::vector<std::string> answers;
  std::vector<std::string> raises;
  std::vector<std::string> lacking;
  std::vector<std::string> unset;
  std::vector<std::string> real_hosts;  // Field=ProgID
  std::string log_dir = "clasp-logs";
  std::string clock;
  std::string colour = "auto";
  bool json = false;
  bool members = false;
};

bool Given(const CLI::App& app, const std::string& name) { return app.count(name) > 0; }

// Everything given on the command line goes over what the scenario file says.
Scenario BuildScenario(const CLI::App& app, const Options& o,
                       const std::vector<std::string>& shortcut_values) {
  Scenario scenario = o.scenario_file.empty() ? Scenario{} : LoadScenario(o.scenario_file);
  if (Given(app, "--screen-no")) scenario.screen_no = clasp::Utf16(o.screen_no);
  if (Given(app, "--status")) SetStatus(scenario, clasp::Utf16(o.status));
  for (const std::string& text : o.display_values) {
    auto [slot, value] = ParseDisplayValueOption("--display-value", text);
    scenario.display_values[slot] = value;
  }
  const auto shortcuts = Shortcuts();
  for (std::size_t i = 0; i < shortcuts.size(); ++i) {
    const std::string option = "--" + std::string(shortcuts[i].key);
    if (Given(app, option)) {
      ApplyShortcut(scenario, shortcuts[i].key, ParseValueOption(option, shortcut_values[i]));
    }
  }
  for (const std::string& text : o.answers) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
      throw InputError("--answer: '" + text + "' is not Object.Member=VALUE");
    }
    scenario.answers[ParseMemberOption("--answer", text.substr(0, equals))] =
        ParseValueOption("--answer", text.substr(equals + 1));
  }
  for (const std::string& text : o.raises) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
      throw InputError("--raise: '" + text + "' is not Object.Member=NUMBER:DESCRIPTION");
    }
    scenario.raises.insert_or_assign(ParseMemberOption("--raise", text.substr(0, equals)),
                                     ParseFailureOption("--raise", text.substr(equals + 1)));
  }
  for (const std::string& text : o.lacking) scenario.lacking.insert(ParseMemberOption("--lack", text));
  for (const std::string& text : o.unset) scenario.unset.insert(ParseRoleOption("--unset", text));
  return scenario;
}

bool UseColour(const std::string& mode) {
  if (mode == "always") return true;
  if (mode == "never") return false;
  if (std::getenv("NO_COLOR") != nullptr) return false;
#ifdef _WIN32
  return false;  // the console of a COM host seldom understands escape codes
#else
  const char* term = std::getenv("TERM");
  return isatty(fileno(stdout)) && !(term && std::string(term) == "dumb");
#endif
}

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string MemberList() {
  std::string out;
  for (int i = 0; i < kHostRoleCount; ++i) {
    const auto role = static_cast<HostRole>(i);
    out += std::string(RoleProperty(role)) + " (" + std::string(RoleTitle(role)) + ")\n";
    for (const MemberInfo& member : Members(role)) {
      out += "  " + DescribeMember(member) + "\n";
    }
  }
  return out;
}

// The fields the integrator's own objects take, checked before anything is created.
std::vector<std::pair<HostRole, std::string>> ParseHostOptions(const Options& o,
                                                               const Scenario& scenario) {
  std::vector<std::pair<HostRole, std::string>> out;
  for (const std::string& text : o.real_hosts) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals + 1 == text.size()) {
      throw InputError("--host: '" + text + "' is not Field=ProgID");
    }
    const HostRole role = ParseRoleOption("--host", text.substr(0, equals));
    for (const auto& [given, prog_id] : out) {
      if (given == role) {
        throw InputError("--host: " + std::string(RoleProperty(role)) + " is given twice (" +
                         prog_id + ", " + text.substr(equals + 1) + "); one object per field");
      }
    }
    if (scenario.unset.contains(role)) {
      throw InputError("--host: " + std::string(RoleProperty(role)) +
                       " is also left unset; give it an object or leave it unset, not both");
    }
    out.emplace_back(role, text.substr(equals + 1));
  }
  return out;
}

// CLI11 takes the word after an option as its value even when that word is
// another option: "--reader --log-dir DIR" would answer "--log-dir" and leave
// DIR to be read as the scenario file. An option's value never starts with "--".
void CheckValuesGiven(const CLI::App& app, int argc, char** argv) {
  constexpr std::string_view kLongOption = "--";
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == kLongOption) return;
    if (!word.starts_with(kLongOption)) continue;
    const CLI::Option* option = app.get_option_no_throw(word);
    if (option == nullptr || option->get_expected_max() == 0) continue;  // a flag takes none
    if (i + 1 == argc) throw InputError(word + ": the value is missing");
    const std::string next = argv[i + 1];
    if (next.starts_with(kLongOption)) {
      throw InputError(word + ": the value is missing (" + next + " is the next option)");
    }
  }
}

std::unique_ptr<Component> MakeComponent() {
#ifdef _WIN32
  return MakeComComponent();
#else
  return MakeLinkedComponent();
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Transcripts are UTF-8 bytes with plain line ends on every platform.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  if (WantsCertification(argc, argv)) return CertifyMain(argc, argv);
  CLI::App app{
      "Runs the retain-card step (Cols) against simulated host objects and prints every\n"
      "host access in order, the result code and its meaning, and the files written.\n"
      "VALUE: 42 (I4), 2.5 (R8), text:abc, i2:5, i4:5, r8:2.5, empty, null, nothing, true, false.",
      "clasp-sim"};
  app.set_version_flag("--version", std::string("clasp-sim ") + CLASP_VERSION,
                       "Print the product version and exit");
  // Same syntax everywhere: a path such as /work/x.json is not an option.
  app.allow_windows_style_options(false);
  Options o;
  app.add_option("scenario", o.scenario_file, "Scenario file (JSON) with the same settings as the options")
      ->check(CLI::ExistingFile);
  app.add_option("--screen-no", o.screen_no, "Text set as the component's ScreenNo (default: not set, screen 420)");
  app.add_option("--status", o.status, "TransAction1 before the step (default 0000)");
  // Repeatable options take one value each, so that a scenario file after
  // them is not read as a second value.
  const auto repeatable = [](CLI::Option* option, const char* type) {
    option->allow_extra_args(false)->type_name(type);
  };
  repeatable(app.add_option("--display-value", o.display_values, "Set before Cols (repeatable)"),
             "DisapleVal0N=VALUE");
  std::vector<std::string> shortcut_values(Shortcuts().size());
  for (std::size_t i = 0; i < Shortcuts().size(); ++i) {
    const Shortcut& s = Shortcuts()[i];
    app.add_option("--" + std::string(s.key), shortcut_values[i],
                   std::string(s.help) + " [" + std::string(s.member) + "]")
        ->type_name("VALUE");
  }
  repeatable(app.add_option("--answer", o.answers,
                            "A method's answer, or a property's value before the step"),
             "Object.Member=VALUE");
  repeatable(app.add_option("--raise", o.raises, "The member fails with this number and description"),
             "Object.Member=NUMBER:DESCRIPTION");
  repeatable(app.add_option("--lack", o.lacking, "The host object has no such member"),
             "Object.Member");
  repeatable(app.add_option("--unset", o.unset, "The host never assigns this object"),
             "StepDisp|StepMks|StepRunModul|StepTrac|StepJour");
  repeatable(app.add_option("--host", o.real_hosts,
                            "Your own automation object for this field, created by ProgID and "
                            "recorded like the simulated ones (Windows build; repeatable)"),
             "Field=ProgID");
  app.add_option("--log-dir", o.log_dir, "Folder of object.log, PrintJournal.log, journal.txt and detail.txt; lines are appended")
      ->capture_default_str();
  app.add_option("--clock", o.clock, "Fixed time stamp for the files (default: the time now)")
      ->type_name("'YYYY-MM-DD HH:MM:SS'");
  app.add_flag("--json", o.json, "Machine-readable transcript");
  app.add_option("--color", o.colour, "auto, always or never")
      ->check(CLI::IsMember({"auto", "always", "never"}))
      ->capture_default_str();
  app.add_flag("--members", o.members, "List every host member the component uses (kind, use, by-reference argument) and exit");
  app.footer(
      "Exit status: 0 when the step ran (whatever its result), 2 for bad input, 1 when the\n"
      "component cannot be created.\n"
      "Examples:\n"
      "  clasp-sim --reader 0                       the card is not retained\n"
      "  clasp-sim --reader 7 --status 0020         a device fault on a card that faulted before\n"
      "  clasp-sim --raise StepMks.CardReaderRetain=1234:jammed\n"
      "  clasp-sim --host StepDisp=Bank.Display --host StepJour=Bank.Journal\n"
      "  clasp-sim scenarios/oex-write-only.json --comm-sign 1 --json\n\n"
      "Certification mode (clasp-sim --certify), which takes only these options:\n" +
      CertifyHelp());

  try {
    CheckValuesGiven(app, argc, argv);
    app.parse(argc, argv);
  } catch (const InputError& error) {
    std::cerr << "clasp-sim: error: " << error.what() << "\n(clasp-sim --help lists the options)\n";
    return kExitBadInput;
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << "clasp-sim: error: " << error.what() << "\n(clasp-sim --help lists the options)\n";
    return kExitBadInput;
  }
  if (o.members) {
    Print(MemberList());
    return kExitRan;
  }

  try {
    const Scenario scenario = BuildScenario(app, o, shortcut_values);
    Clock clock = Clock::System();
    if (Given(app, "--clock")) {
      const auto fixed = Clock::Fixed(o.clock);
      if (!fixed) throw InputError("--clock: '" + o.clock + "' is not 'YYYY-MM-DD HH:MM:SS'");
      clock = *fixed;
    }
    const auto host_options = ParseHostOptions(o, scenario);
    std::unique_ptr<Component> component = MakeComponent();
    // Created after the component, which starts the platform's run time, and
    // released before it; the report too, since it may hold their answers.
    RealHosts real;
    for (const auto& [role, prog_id] : host_options) {
      real.insert_or_assign(role, RealHost{CreateRealHost(prog_id), prog_id, {}});
    }
    const Report report = Run(scenario, *component, LogFiles(o.log_dir, clock), real);
    Print(o.json ? RenderJson(report) : RenderText(report, UseColour(o.colour)));
    return kExitRan;
  } catch (const InputError& error) {
    std::cerr << "clasp-sim: error: " << error.what() << "\n";
    return kExitBadInput;
  } catch (const std::exception& error) {
    std::cerr << "clasp-sim: cannot run: " << error.what() << "\n";
    return kExitCannotRun;
  }
}
