// IDispatch <-> HostObject: the one place that knows both directions, above
// the adapter for a host's IDispatch and the IDispatch offered for our own hosts.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "host/host_dispatch.h"
#include "server/com/owners.h"

namespace clasp {

// The host object behind an IDispatch: the original host when the IDispatch is
// one we offered, an adapter otherwise, empty for null.
HostObject HostOfDispatch(IDispatch* dispatch);

// The IDispatch for a host object: the host's own when it is an adapter, a new
// offered one otherwise, empty for an empty host.
ComPtr<IDispatch> DispatchOfHost(const HostObject& host);

}  // namespace clasp
