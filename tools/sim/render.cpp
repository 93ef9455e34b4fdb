#include "sim/render.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "component/holdfast.h"
#include "host/text.h"
#include "report/send_oex.h"
#include "sim/sim_host.h"

namespace clasp::sim {
namespace {

constexpr int kNumberWidth = 4;
constexpr std::size_t kStateWidth = 28;

struct Palette {
  bool on;
  std::string Paint(const char* code, const std::string& text) const {
    return on ? std::string("\x1b[") + code + "m" + text + "\x1b[0m" : text;
  }
  std::string Heading(const std::string& t) const { return Paint("1", t); }
  std::string Dim(const std::string& t) const { return Paint("2", t); }
  std::string Note(const std::string& t) const { return Paint("36", t); }
  std::string Bad(const std::string& t) const { return Paint("31", t); }
  std::string Good(const std::string& t) const { return Paint("32", t); }
  std::string Warn(const std::string& t) const { return Paint("33", t); }
};

std::string FailureText(const Failure& failure) {
  return "failure " + std::to_string(failure.Number()) + ": " + Utf8(failure.Description());
}

bool ByRef(const Event& event, std::size_t i) {
  return i < event.by_ref.size() && event.by_ref[i];
}

std::string AccessText(const Event& event) {
  std::string line = event.object + "." + event.member;
  if (event.missing) return line + ": no such member";
  if (event.access == Access::kPut) {
    if (!event.args.empty()) line += " = " + ShowTyped(event.args[0], ByRef(event, 0));
  } else if (event.access == Access::kCall) {
    line += "(";
    for (std::size_t i = 0; i < event.args.size(); ++i) {
      line += (i ? ", " : "") + ShowTyped(event.args[i], ByRef(event, i));
    }
    line += ")";
  }
  return line;
}

void RenderEvent(const Event& event, const Palette& p, std::string& out) {
  char number[16] = "";
  if (event.number > 0) std::snprintf(number, sizeof number, "%*d", kNumberWidth, event.number);
  out += "  " + p.Dim(event.number > 0 ? number : std::string(kNumberWidth, ' ')) + "  ";
  const bool own_assignment = event.object == "Holdfast" && event.access == Access::kPut &&
                              event.args.empty();
  if (event.skipped) {
    out += event.object + "." + event.member + " " + p.Warn(event.notes.front()) + "\n";
    return;
  }
  if (event.raised_inside) {
    out += event.object + " (never assigned)" +
           (event.member.empty() ? std::string() : ", reaching " + event.member) + " -> " +
           p.Bad(FailureText(*event.failure)) + "\n";
    for (const std::string& note : event.notes) {
      out += std::string(kNumberWidth + 6, ' ') + p.Note("\u21b3 " + note) + "\n";
    }
    return;
  }
  if (own_assignment) {
    // The host handing the component one of its objects: the note says which.
    out += event.object + "." + event.member + " = " +
           (event.notes.empty() ? std::string() : event.notes.front()) + "\n";
    return;
  }
  out += AccessText(event);
  if (event.failure) {
    out += " -> " + p.Bad(FailureText(*event.failure));
  } else if (event.answer && !(event.object == "Holdfast" && event.member == "Cols")) {
    out += " -> " + ShowTyped(*event.answer);
  }
  out += "\n";
  for (const std::string& note : event.notes) {
    out += std::string(kNumberWidth + 6, ' ') + p.Note("\u21b3 " + note) + "\n";
  }
}

std::string ResultLine(const Report& report, const Palette& p) {
  const Outcome& outcome = report.outcome;
  if (!outcome.result) {
    return p.Bad("Cols failed with " + FailureText(*outcome.failure)) +
           "\n  (the failure path could not write its own journal entry and trace line, so the "
           "host receives the failure)";
  }
  const std::int32_t code = *outcome.result;
  const std::string line = "Result " + std::to_string(code) + ": " + ResultMeaning(report);
  if (code == kRetained || code == kNotRetained) return p.Good(line);
  if (code == kFailure) return p.Bad(line);
  return p.Warn(line);
}

nlohmann::ordered_json EventJson(const Event& event) {
  static constexpr const char* kAccessNames[] = {"get", "call", "put"};
  nlohmann::ordered_json out{{"object", event.object}, {"member", event.member}};
  if (event.number > 0) out["n"] = event.number;
  if (event.skipped) {
    out["skipped"] = true;
  } else if (event.raised_inside) {
    out["raised_inside"] = true;
  } else if (event.missing) {
    out["missing"] = true;
  } else {
    out["access"] = kAccessNames[static_cast<int>(event.access)];
    nlohmann::ordered_json args = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < event.args.size(); ++i) {
      args.push_back(ValueJson(event.args[i], ByRef(event, i)));
    }
    if (event.access == Access::kPut) {
      if (!args.empty()) out["value"] = args[0];
    } else {
      out["args"] = args;
    }
  }
  if (event.answer) out["answer"] = ValueJson(*event.answer, false);
  if (event.failure) {
    out["failure"] = {{"number", event.failure->Number()},
                      {"description", Utf8(event.failure->Description())}};
  }
  if (!event.notes.empty()) out["notes"] = event.notes;
  return out;
}

}  // namespace

std::string ResultMeaning(const Report& report) {
  if (!report.outcome.result) return "no result: the failure reached the host";
  const std::int32_t result = *report.outcome.result;
  // The reader's answer as the step read it, if the reader was reached and answered.
  std::optional<std::int32_t> reader_code;
  auto event = report.step.begin();
  for (; event != report.step.end(); ++event) {
    if (event->object == "StepMks" && event->member == "CardReaderRetain") {
      if (event->answer) reader_code = CodeOf(*event->answer);
      break;
    }
  }
  // The failure path's first access hands its English prompt to the print-journal log.
  bool failure_path = false;
  for (; event != report.step.end() && !failure_path; ++event) {
    failure_path = event->object == "StepTrac" && event->member == "TraceWrite" &&
                   event->args.size() > 1 && event->args[1].GetKind() == Kind::kText &&
                   event->args[1].AsText().starts_with(kFailurePromptPrefix);
  }
  const std::string failure = "failure inside the step (its number and description end the last object.log line)";
  if (result == kFailure && (failure_path || reader_code != kFailure)) return failure;
  if (!reader_code) {
    return result == kDisplayFailure
               ? "display failure (the retain screen failed; the reader was not called)"
               : failure;
  }
  if (result == kNotRetained) return "card not retained (the reader answered 0)";
  if (result == kRetained) return "card retained";
  if (result == kDisplayFailure) return "device fault (the reader's own code, the same number as a display failure)";
  if (result == kFailure) return "device fault (the reader's own code, the same number as a failure inside the step)";
  return "device fault (the reader's own code)";
}

std::string RenderText(const Report& report, bool colour) {
  const Palette p{colour};
  std::string out = p.Heading("Scenario " + report.scenario) +
                    (report.description.empty() ? "" : ": " + report.description) + "\n\n";
  out += p.Heading("Set-up") + "\n";
  for (const Event& event : report.setup) RenderEvent(event, p, out);
  out += "\n" + p.Heading("Cols") + "\n";
  out += p.Dim("  (numbered: the component's accesses to the hosts, values with their kinds,"
               " & by reference, -> the answer; \u21b3 what the simulated host did)") + "\n";
  for (const Event& event : report.step) RenderEvent(event, p, out);
  if (!report.state.empty()) {
    out += "\n" + p.Heading("Afterwards") + "\n";
    for (const StateLine& line : report.state) {
      const std::string& name = line.name;
      out += "  " + name + std::string(name.size() < kStateWidth ? kStateWidth - name.size() : 1, ' ') +
             line.shown + "\n";
    }
  }
  out += "\n" + p.Heading("Files written") + "\n";
  if (report.files.empty()) out += "  none\n";
  for (const FileWritten& file : report.files) {
    out += "  " + file.path + " (" + std::to_string(file.lines) +
           (file.lines == 1 ? " line" : " lines") + " appended)\n";
  }
  // The outcome last, where a reader's eye lands.
  out += "\n" + ResultLine(report, p) + "\n";
  return out;
}

std::string RenderJson(const Report& report) {
  nlohmann::ordered_json out{{"scenario", report.scenario}, {"description", report.description}};
  out["setup"] = nlohmann::ordered_json::array();
  for (const Event& event : report.setup) out["setup"].push_back(EventJson(event));
  out["cols"] = nlohmann::ordered_json::array();
  for (std::size_t i = 1; i < report.step.size(); ++i) out["cols"].push_back(EventJson(report.step[i]));
  if (report.outcome.result) {
    out["result"] = {{"code", *report.outcome.result},
                     {"meaning", ResultMeaning(report)}};
  } else {
    out["result"] = {{"failure",
                      {{"number", report.outcome.failure->Number()},
                       {"description", Utf8(report.outcome.failure->Description())}}}};
  }
  out["afterwards"] = nlohmann::ordered_json::object();
  for (const StateLine& line : report.state) {
    if (line.values) out["afterwards"].update(*line.values);
  }
  out["files"] = nlohmann::ordered_json::array();
  for (const FileWritten& file : report.files) {
    out["files"].push_back({{"path", file.path}, {"lines", file.lines}});
  }
  return out.dump(2) + "\n";
}

}  // namespace clasp::sim
