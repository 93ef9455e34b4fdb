// The component's own failures in the record of a step, where they happen.
#pragma once

#include <vector>

#include "sim/component.h"
#include "sim/report.h"

namespace clasp::sim {

// The record of a failure the component raised itself, as it told it: no
// host was called, so the line stands for the component alone.
Event OwnFailureEvent(const OwnFailure& own);

// Says what each own failure among `events` meant. One that ends the record
// of a Cols that failed with it is why Cols failed; the others sent the step
// to its failure path (or failed the member that reached them).
void NoteOwnFailures(std::vector<Event>& events, const Outcome& outcome);

}  // namespace clasp::sim
