// Host objects of our own (simulated or C++ hosts) offered to automation
// callers as IDispatchEx, so that they can be handed to the component over COM.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "host/host_object.h"
#include "server/com/owners.h"

namespace clasp {

// A new IDispatchEx for `host` (not empty): names get dispatch identifiers on
// first use, calls and puts go to the host, its failures come back through
// EXCEPINFO (or an error object when the caller passed none).
ComPtr<IDispatch> OfferHost(const HostObject& host);

// The host object behind `dispatch` when it was made by OfferHost in this
// module, else empty. Calls nothing on `dispatch`: a hostile object may answer
// any question with anything.
HostObject OfferedHost(IDispatch* dispatch) noexcept;

}  // namespace clasp
