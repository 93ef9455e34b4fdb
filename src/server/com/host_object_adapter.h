// A host's IDispatch seen as a core host object: members reached by late binding.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <dispex.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "host/host_object.h"
#include "server/com/call_failures.h"
#include "server/com/name_index.h"
#include "server/com/owners.h"

namespace clasp {

// Calls members the way script engines do: names through IDispatchEx::GetDispID
// when the object offers it (script classes offer nothing else), otherwise
// GetIDsOfNames; arguments positional; text by reference as a by-reference BSTR;
// failures carry the number and description the member reported.
//
// An adapter never leaves its component's apartment: the host's interface
// pointer it holds is valid on that thread only, and only that thread copies,
// calls or lets go of it. So its count is a plain one, and every call holds
// one on the adapter itself, counted in place rather than through the table.
class HostObjectAdapter final
    : public RefCounted<HostObjectAdapter, HostDispatch, LocalCount> {
 public:
  // A new adapter owned by the returned reference. It holds one count on the
  // object: on its IDispatchEx when it offers one, else on `dispatch`. Asking
  // for IDispatchEx is all it does here.
  static HostObject Wrap(IDispatch* dispatch);

  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  // A failing member's HRESULT becomes the failure handed back: nothing is raised.
  Outcome<HostValue> TryInvoke(std::u16string_view member,
                               std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;
  HostValue DefaultValue() override;

  // The interface pointer the adapter holds.
  IDispatch* Dispatch() const noexcept { return dispatch_.Get(); }

 private:
  friend RefCounted;
  HostObjectAdapter(ComPtr<IDispatch> dispatch, bool extended) noexcept;
  ~HostObjectAdapter() = default;

  // The member's identifier, looked up now; a name the host lacks gives nothing.
  std::optional<DISPID> Resolve(std::u16string_view member);
  // Calls `member` as a method or property read, its answer left in `answer`:
  // the failure when it failed, else nothing. The arguments come as their two
  // halves, which a copy of the span would read back as one, stalling.
  std::optional<Failure> CallMember(std::u16string_view member, const HostValue* args,
                                    std::size_t count, Variant& answer);
  // Invoke and TryInvoke in one: the answer as a value, a failure given to `fail`.
  template <class Result, class Fail>
  Result Answer(std::u16string_view member, std::span<const HostValue> args, Fail fail);
  // The member's failure when the call failed, nothing when it succeeded.
  std::optional<Failure> Call(DISPID id, WORD flags, DISPPARAMS& params, Variant* result);
  IDispatchEx* Extended() const noexcept;

  ComPtr<IDispatch> dispatch_;
  bool extended_;
  NameIndex names_;
  CallFailures failures_;
};

}  // namespace clasp
