// A host's IDispatch seen as a core host object: members reached by late binding.
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
class HostObjectAdapter final : public HostDispatch {
 public:
  // A new adapter owned by the returned reference. It holds one count on the
  // object: on its IDispatchEx when it offers one, else on `dispatch`. Asking
  // for IDispatchEx is all it does here.
  static HostObject Wrap(IDispatch* dispatch);

  void AddRef() noexcept override;
  void Release() noexcept override;
  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;
  HostValue DefaultValue() override;

  // The interface pointer the adapter holds.
  IDispatch* Dispatch() const noexcept { return dispatch_.Get(); }

 private:
  HostObjectAdapter(ComPtr<IDispatch> dispatch, bool extended) noexcept;
  ~HostObjectAdapter() = default;

  DISPID Resolve(std::u16string_view member) const;
  void Call(DISPID id, WORD flags, DISPPARAMS& params, Variant* result) const;
  IDispatchEx* Extended() const noexcept;

  std::atomic<std::uint32_t> count_{1};
  ComPtr<IDispatch> dispatch_;
  bool extended_;
};

}  // namespace clasp
