// Host objects of our own (simulated or C++ hosts) offered to automation
// callers as IDispatchEx, so that they can be handed to the component over COM.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "host/host_object.h"
#include "server/com/owners.h"

namespace clasp {

// An IDispatchEx for `host`: names get dispatch identifiers on first use,
// calls and puts go to the host, its failures come back through EXCEPINFO (or
// an error object when the caller passed none). A host that is itself a wrapped
// IDispatch gives that IDispatch back. Empty for an empty host.
ComPtr<IDispatch> DispatchOfHost(const HostObject& host);

// The host object behind an IDispatch made by DispatchOfHost, or empty.
HostObject HostBehindDispatch(IDispatch* dispatch);

}  // namespace clasp
