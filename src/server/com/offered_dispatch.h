// Host objects of our own (simulated or C++ hosts) offered to automation
// callers as IDispatchEx, so that they can be handed to the component over COM.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>

#include "host/host_object.h"
#include "server/com/owners.h"

namespace clasp {

// How many names one offered object gives identifiers to. The hosts' contract
// has a few dozen; past this many a new name is unknown, so that a caller
// asking for ever new names cannot grow the object without end.
inline constexpr std::size_t kMostOfferedNames = 256;

// A new IDispatchEx for `host` (not empty): names get dispatch identifiers on
// first use (up to kMostOfferedNames of them), calls and puts go to the host, its failures come back through
// EXCEPINFO (or an error object when the caller passed none).
ComPtr<IDispatch> OfferHost(const HostObject& host);

// The host object behind `dispatch` when it was made by OfferHost in this
// module, else empty. Calls nothing on `dispatch`: a hostile object may answer
// any question with anything.
HostObject OfferedHost(IDispatch* dispatch) noexcept;

}  // namespace clasp
