// Real host objects in the Windows build: created by ProgID and called through
// the server's own adapter, which resolves names through IDispatchEx when the
// object offers it and GetIDsOfNames otherwise, as the component does.
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "host/text.h"
#include "server/com/host_object_adapter.h"
#include "server/com/owners.h"
#include "com/com_support.h"
#include "sim/real_host.h"
#include "sim/scenario.h"

namespace clasp::sim {

ComPtr<IDispatch> CreateDispatch(const std::string& prog_id) {
  const std::u16string name = Utf16(prog_id);
  CLSID clsid;
  HRESULT result = CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(name.c_str()), &clsid);
  if (FAILED(result)) {
    throw InputError("--host: no automation object is registered as '" + prog_id + "' (" +
                     Hex(result) + ")");
  }
  ComPtr<IUnknown> object;
  result = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(IUnknown), object.PutVoid());
  if (FAILED(result)) {
    throw InputError("--host: '" + prog_id + "' could not be created (" + Hex(result) + ")");
  }
  ComPtr<IDispatch> dispatch = QueryAs<IDispatch>(object.Get());
  if (!dispatch) {
    throw InputError("--host: '" + prog_id +
                     "' has no IDispatch, so its members cannot be called by name");
  }
  return dispatch;
}

HostObject CreateRealHost(const std::string& prog_id) {
  return HostObjectAdapter::Wrap(CreateDispatch(prog_id).Get());
}

}  // namespace clasp::sim
