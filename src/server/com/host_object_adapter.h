// A host's IDispatch seen as a core host object: members reached by late binding.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <dispex.h>

#include <array>
#include <cstddef>
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
//
// An adapter never leaves its component's apartment: the host's interface
// pointer it holds is valid on that thread only, and only that thread copies,
// calls or lets go of it. So its count is a plain one, and every call holds
// one on the adapter itself, counted in place: an atomic count, or two calls
// through the table for each access, cost more than the rest of the adapter's
// work on it.
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

  // A host that keeps inventing names gets no more of them kept than this.
  static constexpr std::size_t kKeptNames = 64;
  // Slots of the index by spelling address; at most three quarters used, so
  // that a search always meets a free one soon.
  static constexpr std::size_t kNameSlotBits = 7;
  static constexpr std::size_t kNameSlots = std::size_t{1} << kNameSlotBits;
  static constexpr std::size_t kNameSlotsUsedAtMost = kNameSlots / 4 * 3;
  static_assert(kKeptNames < kNameSlotsUsedAtMost);

  // The member's identifier, looked up now; a name the host lacks gives nothing.
  std::optional<DISPID> Resolve(std::u16string_view member);
  // The member's name as a BSTR of ours, made at its first use; null once
  // kKeptNames names are kept.
  BSTR NameText(std::u16string_view member);
  // NameText for a text not found by where it is spelled.
  BSTR NameTextByContent(std::u16string_view member);
  // Files the kept name `index` under the address it was last spelled at.
  void IndexName(std::size_t index);
  // Files every kept name again, from where each was last spelled.
  void ReindexNames();
  // Calls `member` as a method or property read, its answer left in `answer`:
  // the failure when it failed, else nothing. The arguments come as their
  // two halves: a copy of the span reads the caller's halves as one, which
  // the processor cannot forward from the two writes that made them, and
  // that stall cost more than the rest of the call's bookkeeping.
  std::optional<Failure> CallMember(std::u16string_view member, const HostValue* args,
                                    std::size_t count, Variant& answer);
  // The member's failure when the call failed, nothing when it succeeded.
  std::optional<Failure> Call(DISPID id, WORD flags, DISPPARAMS& params, Variant* result);
  IDispatchEx* Extended() const noexcept;
  // Whether the host offers ISupportErrorInfo, asked once at its first call.
  bool OffersErrorObjects();

  ComPtr<IDispatch> dispatch_;
  bool extended_;
  // Unknown until the first call; an object's interfaces never change.
  std::optional<bool> offers_error_objects_;
  // Name texts only, never identifiers: the host is asked for the identifier
  // at every access, as it may change its members at any time.
  struct KeptName {
    const char16_t* spelled_at;  // where the caller's text was, the first time
    std::u16string name;
    Bstr text;
  };
  std::vector<KeptName> names_;
  // The kept names by the address each was spelled at, with what a lookup
  // compares and lends copied in, so that finding one reads its slot alone.
  struct NameSlot {
    const char16_t* spelled_at = nullptr;
    BSTR text = nullptr;  // the kept name's own, lent
    std::size_t size = 0;
    bool used = false;
  };
  std::array<NameSlot, kNameSlots> name_slots_{};
  std::size_t used_name_slots_ = 0;
  // Lookups under way on this adapter, the host's own callbacks included, and
  // the spoilt name texts replaced meanwhile: freed when the last one ends.
  int lookups_ = 0;
  std::vector<Bstr> retired_names_;
  // The failure this host reported last, handed out again while it reads the same.
  std::optional<Failure> last_failure_;
};

}  // namespace clasp
