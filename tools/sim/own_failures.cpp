#include "sim/own_failures.h"

#include <algorithm>

#include "host/failure.h"
#include "host/text.h"
#include "sim/catalogue.h"

namespace clasp::sim {
namespace {

// The failure path's journal entry starts with this trace line: the one
// access that tells where the path began.
constexpr std::u16string_view kPrintLog = u"PrintJournal.log";
constexpr std::u16string_view kFailurePrompt = u"ClaspErr:";

bool TextArgument(const Event& event, std::size_t i) {
  return i < event.args.size() && event.args[i].GetKind() == Kind::kText;
}

bool IsTrace(const Event& event) {
  return event.object == RoleProperty(HostRole::kTrac) && event.member == "TraceWrite" &&
         !event.failure && TextArgument(event, 0) && TextArgument(event, 1);
}

bool StartsFailureJournal(const Event& event) {
  return IsTrace(event) && event.args[0].AsText().ends_with(kPrintLog) &&
         event.args[1].AsText().starts_with(kFailurePrompt);
}

// The failure path's closing trace line ends with the failure's number and description.
bool TracesNotSet(const Event& event) {
  const Failure not_set = ObjectNotSetFailure();
  return IsTrace(event) &&
         event.args[1].AsText().ends_with(DecimalText(not_set.Number()) + not_set.Description());
}

Event OwnFailure(const std::string& fields, std::string note) {
  Event event;
  event.object = fields;
  event.raised_inside = true;
  event.failure = ObjectNotSetFailure();
  event.notes.push_back(std::move(note));
  return event;
}

}  // namespace

void ShowOwnFailures(const Scenario& scenario, Report& report) {
  if (scenario.unset.empty() || report.step.empty()) return;
  // Which of several unset fields the component reached is not visible.
  std::string fields;
  for (const HostRole role : scenario.unset) {
    fields += (fields.empty() ? "" : " or ") + std::string(RoleProperty(role));
  }
  std::vector<Event>& step = report.step;
  const bool escaped =
      report.outcome.failure && report.outcome.failure->Number() == kObjectNotSet;
  const bool traced = std::any_of(step.begin() + 1, step.end(), TracesNotSet);
  if (!escaped && !traced) return;

  // The failure path runs once, at the end: its journal entry is the last one
  // that reports a failure.
  const auto last_start = std::find_if(step.rbegin(), step.rend() - 1, StartsFailureJournal);
  const auto at = last_start == step.rend() - 1 ? step.end() : last_start.base() - 1;
  // When only the failure path's own failure is known, a host failure just
  // before the path is what sent the step there, not an empty field.
  const bool host_failed_first = !traced && at != step.begin() + 1 && (at - 1)->failure;
  if (!host_failed_first) {
    step.insert(at, OwnFailure(fields, "raised inside the component: it reached a host object "
                                       "the host never assigned"));
  }
  if (escaped) {
    step.push_back(OwnFailure(fields, "raised again on the failure path, so Cols fails with it"));
  }
}

}  // namespace clasp::sim
