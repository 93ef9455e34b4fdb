#include "server/com/host_object_adapter.h"

#include <dispex.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "host/failure.h"
#include "server/com/address_slot.h"
#include "server/com/default_member.h"
#include "server/com/error.h"
#include "server/com/value.h"

namespace clasp {
namespace {

// Whether `text` starts with the units of `member`. Read a word at a time,
// the last word overlapping the one before when the length is not a whole
// number of words: it runs before every lookup, and a unit at a time cost as
// much as the rest of the adapter's work on a name.
bool SameUnits(const char16_t* text, std::u16string_view member) noexcept {
  const auto* a = reinterpret_cast<const unsigned char*>(text);
  const auto* b = reinterpret_cast<const unsigned char*>(member.data());
  const std::size_t bytes = member.size() * sizeof(char16_t);
  const auto word_at = [](const unsigned char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
  };
  if (bytes < sizeof(std::uint64_t)) return std::memcmp(a, b, bytes) == 0;
  for (std::size_t at = 0; at + sizeof(std::uint64_t) < bytes; at += sizeof(std::uint64_t)) {
    if (word_at(a + at) != word_at(b + at)) return false;
  }
  const std::size_t last = bytes - sizeof(std::uint64_t);
  return word_at(a + last) == word_at(b + last);
}

// Whether the BSTR `text` still reads exactly as `member`, as the BSTR itself
// says: its length from its prefix, its units, and the terminator after them.
// A host may have written into any of the three.
bool StillReads(BSTR text, std::u16string_view member) noexcept {
  const std::u16string_view now = ViewOf(text);
  return now.size() == member.size() && SameUnits(now.data(), member) &&
         now.data()[member.size()] == u'\0';
}

// The VARIANTARGs of one call, last argument first as DISPPARAMS wants them.
// Text by reference points at a BSTR of ours; whatever the callee leaves
// there goes back to the caller's variable, whether the call succeeded or not.
// The component's calls have at most four arguments and one reference: those
// stay inline, so that a call allocates nothing but the texts it passes.
// Text a host answered goes on in the BSTR it came in, lent for the call: an
// exchange passes its messages on unread, and copying them twice cost as much
// as a host access each.
class Arguments {
 public:
  explicit Arguments(std::span<const HostValue> args) : args_(args), values_(args.size()) {
    // Sized once, so that each BSTR's address stays put for the call: inline
    // for the one text by reference a call passes at most, else one place
    // per argument. Counted no further than that: a loop the compiler can
    // turn into vector code saves vector registers at every host access.
    std::size_t references = 0;
    for (const HostValue& arg : args) {
      if (arg.IsByRef() && ++references > inline_.size()) break;
    }
    if (references > inline_.size()) heap_ = std::make_unique<Reference[]>(args.size());
    references_ = heap_ ? heap_.get() : inline_.data();
    for (std::size_t i = 0; i < args.size(); ++i) {
      const HostValue& arg = args[i];
      VARIANTARG& slot = values_[args.size() - 1 - i];
      if (arg.IsByRef()) {
        Reference& reference = references_[used_++];
        reference.target = &arg.RefTarget();
        BSTR* text = reference.text.Put();
        *text = Bstr(arg.AsText()).Detach();
        V_BSTRREF(&slot) = text;
        V_VT(&slot) = VT_BYREF | VT_BSTR;
      } else if (LendableBstr(arg)) {
        ++lent_;
      } else {
        PutVariant(arg, &slot);
      }
    }
    if (lent_ == 0) return;
    // Lent only once nothing more can fail: a slot cleared on the way out of a
    // failed construction would free a text its value still owns.
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (const BSTR lent = LendableBstr(args[i])) {
        VARIANTARG& slot = values_[args.size() - 1 - i];
        V_BSTR(&slot) = lent;
        V_VT(&slot) = VT_BSTR;
      }
    }
  }

  // Lent texts go back to their values before the slots are cleared. A callee
  // that changed a slot it was lent took the text with it (freed it, or
  // coerced it in place), whatever the rules say of arguments by value: its
  // value lets go of the text rather than free it a second time.
  ~Arguments() {
    if (lent_ == 0) return;
    for (std::size_t i = 0; i < args_.size(); ++i) {
      const BSTR lent = LendableBstr(args_[i]);
      if (!lent) continue;
      VARIANTARG& slot = values_[args_.size() - 1 - i];
      if (V_VT(&slot) == VT_BSTR && V_BSTR(&slot) == lent) {
        V_VT(&slot) = VT_EMPTY;
      } else {
        args_[i].AsHeld()->Disown();
      }
    }
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;

  // The callee may have changed the text; the caller's variable follows.
  // Most leave it as it was: then nothing is copied, and nothing allocated.
  void CopyBack() const {
    for (std::size_t i = 0; i < used_; ++i) {
      const Reference& reference = references_[i];
      const std::u16string_view now = ViewOf(reference.text.Get());
      std::u16string& target = *reference.target;
      if (now.size() != target.size() || !SameUnits(now.data(), target)) target.assign(now);
    }
  }

  VARIANTARG* Data() noexcept { return values_.Data(); }
  UINT Count() const noexcept { return static_cast<UINT>(values_.Size()); }

 private:
  struct Reference {
    Bstr text;
    std::u16string* target = nullptr;
  };
  std::span<const HostValue> args_;
  VariantArray values_;
  std::array<Reference, 1> inline_;
  std::unique_ptr<Reference[]> heap_;
  Reference* references_ = nullptr;
  std::size_t used_ = 0;
  std::size_t lent_ = 0;
};

}  // namespace

HostObject HostObjectAdapter::Wrap(IDispatch* dispatch) {
  if (!dispatch) return {};
  // One interface pointer per host: IDispatchEx when offered, else IDispatch.
  ComPtr<IDispatch> held = ComPtr<IDispatch>::Adopt(QueryAs<IDispatchEx>(dispatch).Detach());
  const bool extended = static_cast<bool>(held);
  if (!extended) held = ComPtr<IDispatch>(dispatch);
  return HostObject::Adopt(new HostObjectAdapter(std::move(held), extended));
}

HostObjectAdapter::HostObjectAdapter(ComPtr<IDispatch> dispatch, bool extended) noexcept
    : dispatch_(std::move(dispatch)), extended_(extended) {
  HoldItselfDuringCalls();
}

IDispatchEx* HostObjectAdapter::Extended() const noexcept {
  return extended_ ? static_cast<IDispatchEx*>(dispatch_.Get()) : nullptr;
}

bool HostObjectAdapter::OffersErrorObjects() {
  if (!offers_error_objects_) {
    offers_error_objects_ = static_cast<bool>(QueryAs<ISupportErrorInfo>(dispatch_.Get()));
  }
  return *offers_error_objects_;
}

inline BSTR HostObjectAdapter::NameText(std::u16string_view member) {
  // The component spells its members with literals, so the text's address
  // finds the name at once; a text elsewhere with the same content is found
  // by its content. Either way the lent text must still read as the member:
  // a host that wrote into it gets a fresh copy rather than spoiling every
  // later lookup.
  for (std::size_t slot = AddressSlot(member.data(), kNameSlotBits); name_slots_[slot].used;
       slot = (slot + 1) % kNameSlots) {
    const NameSlot& kept = name_slots_[slot];
    if (kept.spelled_at == member.data() && kept.size == member.size() &&
        StillReads(kept.text, member)) {
      return kept.text;
    }
  }
  return NameTextByContent(member);
}

BSTR HostObjectAdapter::NameTextByContent(std::u16string_view member) {
  for (std::size_t index = 0; index < names_.size(); ++index) {
    KeptName& kept = names_[index];
    if (kept.name != member) continue;
    kept.spelled_at = member.data();
    if (StillReads(kept.text.Get(), member)) {
      IndexName(index);
    } else {
      // Every slot lending the spoiled text goes with it. A lookup that
      // encloses this one (the host called back in from it) may still be
      // reading that text: it is let go only once no lookup is under way.
      Bstr fresh(member);
      if (lookups_ > 0) retired_names_.push_back(std::move(kept.text));
      kept.text = std::move(fresh);
      ReindexNames();
    }
    return kept.text.Get();
  }
  if (names_.size() == kKeptNames) return nullptr;
  names_.push_back(KeptName{member.data(), std::u16string(member), Bstr(member)});
  IndexName(names_.size() - 1);
  return names_.back().text.Get();
}

void HostObjectAdapter::IndexName(std::size_t index) {
  // Slots of names since spelled elsewhere are only found to differ; when
  // they pile up, the index starts again from where each name is now, this
  // one's included.
  if (used_name_slots_ == kNameSlotsUsedAtMost) return ReindexNames();
  const KeptName& kept = names_[index];
  std::size_t slot = AddressSlot(kept.spelled_at, kNameSlotBits);
  while (name_slots_[slot].used) slot = (slot + 1) % kNameSlots;
  name_slots_[slot] = NameSlot{kept.spelled_at, kept.text.Get(), kept.name.size(), true};
  ++used_name_slots_;
}

void HostObjectAdapter::ReindexNames() {
  name_slots_.fill(NameSlot{});
  used_name_slots_ = 0;
  // Fewer names are kept than fill the index: none of these starts it again.
  for (std::size_t kept = 0; kept < names_.size(); ++kept) IndexName(kept);
}

inline std::optional<DISPID> HostObjectAdapter::Resolve(std::u16string_view member) {
  // The name's text is kept; its identifier never is: asked for at every access.
  Bstr unkept;
  BSTR name = NameText(member);
  if (!name) name = (unkept = Bstr(member)).Get();
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = E_NOTIMPL;
  IDispatchEx* extended = Extended();
  ++lookups_;
  if (extended) result = extended->GetDispID(name, fdexNameCaseInsensitive, &id);
  if (!extended || result == E_NOTIMPL) {
    LPOLESTR names[] = {name};
    result = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  }
  if (--lookups_ == 0 && !retired_names_.empty()) retired_names_.clear();
  if (FAILED(result)) return std::nullopt;
  return id;
}

// Inline, as every access makes one: the call into it cost more than its own
// bookkeeping.
inline std::optional<Failure> HostObjectAdapter::Call(DISPID id, WORD flags,
                                                      DISPPARAMS& params, Variant* result) {
  // An error object left by an earlier call must not describe this one. Only
  // a host that offers ISupportErrorInfo can have its failure described by
  // one, so only its calls pay for the clearing: a platform call before each
  // of them was a tenth of a capture's overhead on hosts that offer none.
  if (OffersErrorObjects()) SetErrorInfo(0, nullptr);
  ExcepInfo excep_info;
  HRESULT outcome;
  VARIANT* answer = result ? result->Put() : nullptr;
  if (IDispatchEx* extended = Extended()) {
    outcome = extended->InvokeEx(id, LOCALE_USER_DEFAULT, flags, &params, answer,
                                 excep_info.Put(), nullptr);
  } else {
    UINT argument_error = 0;
    outcome = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, answer,
                                excep_info.Put(), &argument_error);
  }
  if (FAILED(outcome)) {
    // A host that offered no ISupportErrorInfo when asked is not read from
    // later either: its calls were made without the error object cleared.
    return FailureOfCall(outcome, excep_info, OffersErrorObjects() ? dispatch_.Get() : nullptr,
                         Extended() ? __uuidof(IDispatchEx) : __uuidof(IDispatch), last_failure_);
  }
  return std::nullopt;
}

// Each entry below holds a count on the adapter for the call: the host may
// drop the reference we were called through, whatever it does to the
// component. Made part of each entry, as a call of its own into it cost about
// a hundredth of a capture.
[[gnu::always_inline]] inline std::optional<Failure> HostObjectAdapter::CallMember(
    std::u16string_view member, const HostValue* args, std::size_t count, Variant& answer) {
  const std::optional<DISPID> id = Resolve(member);
  if (!id) return MemberMissingFailure();
  if (count == 0) {
    // Most accesses are reads: nothing to build, nothing to copy back.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return Call(*id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none, &answer);
  }
  Arguments arguments(std::span<const HostValue>(args, count));
  DISPPARAMS params{arguments.Data(), nullptr, arguments.Count(), 0};
  std::optional<Failure> failure =
      Call(*id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, params, &answer);
  // Copied back on either road: the callee may have written before failing.
  arguments.CopyBack();
  return failure;
}

// Both entries convert the answer straight into the value they return, with
// no value in between to move from.
Outcome<HostValue> HostObjectAdapter::TryInvoke(std::u16string_view member,
                                                std::span<const HostValue> args) {
  const Ref<HostObjectAdapter> keep_alive(this);
  Variant answer;
  if (std::optional<Failure> failure = CallMember(member, args.data(), args.size(), answer)) {
    return std::move(*failure);
  }
  return TakeHostValue(answer);
}

HostValue HostObjectAdapter::Invoke(std::u16string_view member,
                                    std::span<const HostValue> args) {
  // The failure is made once and raised once, here, for the callers that
  // cannot take it handed back.
  const Ref<HostObjectAdapter> keep_alive(this);
  Variant answer;
  if (std::optional<Failure> failure = CallMember(member, args.data(), args.size(), answer)) {
    throw std::move(*failure);
  }
  return TakeHostValue(answer);
}

void HostObjectAdapter::Put(std::u16string_view member, const HostValue& value) {
  const Ref<HostObjectAdapter> keep_alive(this);
  const std::optional<DISPID> id = Resolve(member);
  if (!id) throw MemberMissingFailure();
  Variant argument = ToVariant(value);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{argument.ArgumentsForInvoke(), &named, 1, 1};
  if (std::optional<Failure> failure = Call(*id, DISPATCH_PROPERTYPUT, params, nullptr)) {
    throw std::move(*failure);
  }
}

HostValue HostObjectAdapter::DefaultValue() {
  const Ref<HostObjectAdapter> keep_alive(this);
  return ReadDefaultMember(dispatch_.Get());
}

}  // namespace clasp
