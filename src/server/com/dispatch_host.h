// A host object reached by late binding through its IDispatch.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <dispex.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "host/host_object.h"
#include "server/com/owners.h"

namespace clasp {

// Calls members the way script engines do: names through IDispatchEx::GetDispID
// when the object offers it (script classes offer nothing else), otherwise
// GetIDsOfNames; arguments positional; text by reference as a by-reference BSTR;
// failures carry the number and description the member reported.
class DispatchHost final : public HostDispatch {
 public:
  // A new wrapper holding one count on `dispatch`, owned by the returned reference.
  static HostObject Wrap(IDispatch* dispatch);

  void AddRef() noexcept override;
  void Release() noexcept override;
  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;
  HostValue DefaultValue() override;

  IDispatch* Dispatch() const noexcept { return dispatch_.Get(); }

 private:
  explicit DispatchHost(IDispatch* dispatch);
  ~DispatchHost() = default;

  DISPID Resolve(std::u16string_view member) const;
  void Call(DISPID id, WORD flags, DISPPARAMS& params, Variant* result) const;

  std::atomic<std::uint32_t> count_{1};
  ComPtr<IDispatch> dispatch_;
  ComPtr<IDispatchEx> dispatch_ex_;
};

// The host object behind an IDispatch: the original host when the IDispatch is
// one of our own wrappers, a DispatchHost otherwise, empty for null.
HostObject HostOfDispatch(IDispatch* dispatch);

}  // namespace clasp
