#include "sim/own_failures.h"

#include <algorithm>

namespace clasp::sim {

Event OwnFailureEvent(const OwnFailure& own) {
  Event event;
  event.object = own.field;
  event.member = own.member;
  event.raised_inside = true;
  event.failure = own.failure;
  return event;
}

void NoteOwnFailures(std::vector<Event>& events, const Outcome& outcome) {
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
      event.notes.push_back(std::string(earlier ? "raised again" : "raised") +
                            " on the failure path, so Cols fails with it");
    } else {
      event.notes.push_back(
          "raised inside the component: it reached a host object the host never assigned");
    }
    earlier = true;
  }
}

}  // namespace clasp::sim
