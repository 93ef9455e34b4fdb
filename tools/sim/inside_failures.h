// Failures raised inside the component, in the record of a step, where they happen.
#pragma once

#include <set>
#include <vector>

#include "sim/component.h"
#include "sim/report.h"

namespace clasp::sim {

// The record of a failure the component raised itself, as it told it: no
// host was called, so the line stands for the component alone.
Event InsideFailureEvent(const InsideFailure& inside);

// Places the failures the component raised itself when it could not tell
// them (through COM), from what it did in public: a member that failed, or a
// step that went to its failure path, right after host accesses that all went
// well. Such a failure can only stand for one of the `unset` fields; which
// member reached it stays unknown. Runs before NoteInsideFailures.
void PlaceInsideFailures(std::vector<Event>& events, const std::set<HostRole>& unset);

// Says what each inside failure among `events` meant. One that ends the record
// of a Cols that failed with it is why Cols failed; the others sent the step
// to its failure path (or failed the member that reached them).
void NoteInsideFailures(std::vector<Event>& events, const Outcome& outcome);

}  // namespace clasp::sim
