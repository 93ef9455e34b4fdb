// The IDispatch calls that Cols makes on its hosts, made directly by a client
// that knows the answers in advance: what a host pays without the component.
#pragma once

#include "com_hosts.h"

namespace clasp::bench {

void CaptureCalls(const ComHosts& hosts);
void FailureCalls(const ComHosts& hosts);

}  // namespace clasp::bench
