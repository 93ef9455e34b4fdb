#include "sim/inside_failures.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "host/encoding.h"
#include "host/failure.h"
#include "host/host_value.h"
#include "sim/catalogue.h"

namespace clasp::sim {

Event InsideFailureEvent(const InsideFailure& inside) {
  Event event;
  event.object = Utf8(inside.field);
  event.member = Utf8(inside.member);
  event.raised_inside = true;
  event.failure = inside.failure;
  return event;
}

namespace {

constexpr std::string_view kHoldfast = "Holdfast";
// The failure path's first access is its journal trace line, "ClaspErr:<code>";
// its last, the trace line naming the failure.
constexpr std::string_view kFailurePathTracer = "StepTrac";
constexpr std::string_view kFailurePathMember = "TraceWrite";
constexpr std::u16string_view kFailurePathText = u"ClaspErr:";
constexpr std::size_t kTraceTextArgument = 1;

// The text a trace line carries; nothing when `event` is no trace line.
std::optional<std::u16string_view> TraceText(const Event& event) {
  if (event.object != kFailurePathTracer || event.member != kFailurePathMember ||
      event.args.size() <= kTraceTextArgument ||
      event.args[kTraceTextArgument].GetKind() != Kind::kText) {
    return std::nullopt;
  }
  return event.args[kTraceTextArgument].AsText();
}

bool StartsFailurePath(const Event& event) {
  const std::optional<std::u16string_view> text = TraceText(event);
  return text && text->starts_with(kFailurePathText);
}

// Whether `event` is a trace line ending in the number and description of the
// failure an unset field raises: how the failure path closes after one.
bool TracesObjectNotSet(const Event& event) {
  const Failure failure = ObjectNotSetFailure();
  const std::optional<std::u16string_view> text = TraceText(event);
  return text &&
         text->ends_with(Utf16(std::to_string(failure.Number())) + failure.Description());
}

bool HostFailed(const Event& event) {
  return event.object != kHoldfast && !event.raised_inside && event.failure.has_value();
}

// An inside failure placed on the unset fields; `named` when something public
// (the member's failure, the failure path's closing line) names it.
Event PlacedInsideFailure(const std::set<HostRole>& unset, const Failure& failure, bool named) {
  std::string fields;
  for (HostRole role : unset) {
    if (!fields.empty()) fields += " or ";
    fields += RoleProperty(role);
  }
  Event event;
  event.object = fields;
  event.raised_inside = true;
  event.failure = failure;
  event.notes.push_back(
      "placed from what the component did in public: through COM the simulator cannot see " +
      (unset.size() == 1 ? "which member of " + fields + " it reached"
                         : std::string("which of these fields, or which member, it reached")));
  if (!named) {
    event.notes.push_back(
        "the failure path did not finish, so nothing public names this failure: it stands "
        "here as the unset field's, the likeliest one");
  }
  return event;
}

}  // namespace

void PlaceInsideFailures(std::vector<Event>& events, const std::set<HostRole>& unset) {
  if (unset.empty()) return;
  std::vector<Event> placed;
  // One member of the component at a time, with the host accesses it caused.
  for (std::size_t begin = 0; begin < events.size();) {
    std::size_t end = begin + 1;
    while (end < events.size() && events[end].object != kHoldfast) ++end;
    const Event& member = events[begin];
    const Event& last = events[end - 1];
    // A failure path that ran to its end names the failure in its last line;
    // one that failed itself leaves that failure unnamed.
    const bool named = TracesObjectNotSet(last);
    bool failure_path = false;
    for (std::size_t i = begin; i < end; ++i) {
      // A failure path entered right after an access that went well.
      if (i > begin && StartsFailurePath(events[i]) && !HostFailed(events[i - 1]) &&
          (named || member.failure)) {
        placed.push_back(PlacedInsideFailure(unset, ObjectNotSetFailure(), named));
      }
      failure_path = failure_path || StartsFailurePath(events[i]);
      placed.push_back(events[i]);
    }
    const bool host_failed_last = end - 1 > begin && HostFailed(last);
    if (member.failure && member.failure->Number() == ObjectNotSetFailure().Number() &&
        !(host_failed_last && last.failure->Number() == member.failure->Number())) {
      // Cols fails only from its failure path; a failure path nobody saw
      // start, after no host failed, was entered by a first inside failure too.
      if (member.member == "Cols" && !failure_path && !host_failed_last) {
        placed.push_back(PlacedInsideFailure(unset, ObjectNotSetFailure(), false));
      }
      placed.push_back(PlacedInsideFailure(unset, *member.failure, true));
    }
    begin = end;
  }
  events = std::move(placed);
}

void NoteInsideFailures(std::vector<Event>& events, const Outcome& outcome) {
  const auto is_own = [](const Event& event) { return event.raised_inside; };
  const auto last = std::find_if(events.rbegin(), events.rend(), is_own);
  if (last == events.rend()) return;
  // The failure that escaped Cols is the last thing the step did.
  const bool escaped = outcome.failure && last == events.rbegin() &&
                       outcome.failure->Number() == last->failure->Number();
  bool earlier = false;
  for (Event& event : events) {
    if (!event.raised_inside) continue;
    if (escaped && &event == &*last) {
      event.notes.insert(event.notes.begin(), std::string(earlier ? "raised again" : "raised") +
                                                  " on the failure path, so Cols fails with it");
    } else {
      event.notes.insert(
          event.notes.begin(),
          "raised inside the component: it reached a host object the host never assigned");
    }
    earlier = true;
  }
}

}  // namespace clasp::sim
