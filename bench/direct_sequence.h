// The host accesses that Cols makes, made directly by a caller that knows the
// answers in advance: what the host would pay without the component.
#pragma once

#include "path_hosts.h"

namespace clasp::bench {

// The accesses of a Cols call that captures the card (hosts of Path::kCapture).
void CaptureDirect(const HostSet& hosts);

// The accesses of a Cols call whose reader raises (hosts of Path::kFailure).
void FailureDirect(const HostSet& hosts);

}  // namespace clasp::bench
