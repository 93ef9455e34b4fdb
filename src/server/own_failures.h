// What Clasp.Holdfast offers tools that record a step, beside its automation
// interface: the failures it raises itself (a host field left unset), told at
// the moment they happen. No host sees those failures, so without this a
// recording of the step could only guess where they stand.
//
// In-process only: the interfaces are not in the type library and have no
// proxies, and the texts a sink receives are borrowed for the call.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "server/guid_text.h"

namespace clasp {

inline constexpr GUID kIidOwnFailureSink = GuidFromText(u"{5C0CA0D0-1120-4C5B-8C1E-DD3CB3BB338F}");
inline constexpr GUID kIidOwnFailureWatch = GuidFromText(u"{D21927FF-DC63-4D25-811F-96BCC42E486A}");

// Implemented by the tool. `field` is the unset field ("StepJour"), `member`
// what the step was reaching on it ("TimeSig"; empty for a default member),
// then the failure it raises. What the sink answers is ignored.
struct IOwnFailureSink : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Raised(LPCOLESTR field, LPCOLESTR member, LONG number,
                                           LPCOLESTR description) = 0;
};

// Answered by Clasp.Holdfast. Tells `sink` of this instance's own failures
// until called again; null stops. The instance holds a count on the sink
// meanwhile, so a tool takes it back (Watch(nullptr)) before letting go.
struct IOwnFailureWatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Watch(IOwnFailureSink* sink) = 0;
};

}  // namespace clasp
