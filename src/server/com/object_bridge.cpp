#include "server/com/object_bridge.h"

#include "server/com/host_object_adapter.h"
#include "server/com/offered_dispatch.h"

namespace clasp {

HostObject HostOfDispatch(IDispatch* dispatch) {
  if (!dispatch) return {};
  if (HostObject original = OfferedHost(dispatch)) return original;
  return HostObjectAdapter::Wrap(dispatch);
}

ComPtr<IDispatch> DispatchOfHost(const HostObject& host) {
  if (!host) return {};
  if (auto* adapter = dynamic_cast<HostObjectAdapter*>(host.Get())) {
    return ComPtr<IDispatch>(adapter->Dispatch());
  }
  return OfferHost(host);
}

}  // namespace clasp
