// A host's IDispatch seen as a core host object: members reached by late binding.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <dispex.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host_object.h"
#include "server/com/owners.h"

namespace clasp {

// Calls members the way script engines do: names through IDispatchEx::GetDispID
// when the object offers it (script classes offer nothing else), otherwise
// GetIDsOfNames; arguments positional; text by reference as a by-reference BSTR;
// failures carry the number and description the member reported.
class HostObjectAdapter final
    : public RefCounted<HostObjectAdapter, HostDispatch, SharedCount> {
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
  // The member's name as a BSTR of ours, made at its first use; null once
  // kKeptNames names are kept.
  BSTR NameText(std::u16string_view member);
  // NameText for a text not found by where it is spelled.
  BSTR NameTextByContent(std::u16string_view member);
  // Calls `member` as a method or property read: the failure when it failed,
  // else nothing, with its answer in `answer`.
  std::optional<Failure> CallMember(std::u16string_view member, std::span<const HostValue> args,
                                    HostValue& answer);
  // The member's failure when the call failed, nothing when it succeeded.
  std::optional<Failure> Call(DISPID id, WORD flags, DISPPARAMS& params,
                              Variant* result) const;
  IDispatchEx* Extended() const noexcept;

  ComPtr<IDispatch> dispatch_;
  bool extended_;
  // Name texts only, never identifiers: the host is asked for the identifier
  // at every access, as it may change its members at any time.
  struct KeptName {
    const char16_t* spelled_at;  // where the caller's text was, the first time
    std::u16string name;
    Bstr text;
  };
  std::vector<KeptName> names_;
};

}  // namespace clasp
