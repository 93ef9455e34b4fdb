// The member names one host is asked for, each made into a BSTR once and lent
// to every lookup of it, found by the address the caller spells it at.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "server/com/address_slot.h"
#include "server/com/owners.h"
#include "server/com/same_units.h"

namespace clasp {

// Name texts only, never identifiers: the host is asked for the identifier at
// every access, as it may change its members at any time.
class NameIndex {
 public:
  // The member's name as a BSTR of ours, made at its first use; null once
  // kKeptNames names are kept. It must not outlive the Lookup it is used in.
  BSTR TextOf(std::u16string_view member);

  // A lookup under way, the host's own callbacks included: a spoilt name text
  // replaced meanwhile is freed only when the last lookup ends.
  class Lookup {
   public:
    explicit Lookup(NameIndex& index) noexcept : index_(index) { ++index_.lookups_; }
    ~Lookup() {
      if (--index_.lookups_ == 0 && !index_.retired_.empty()) index_.retired_.clear();
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

   private:
    NameIndex& index_;
  };

 private:
  // The busiest step object is asked for 19 names; a host that keeps
  // inventing names gets no more of them kept than this.
  static constexpr std::size_t kKeptNames = 20;
  // Slots by spelling address; at most three quarters used, so that a search
  // always meets a free one soon.
  static constexpr std::size_t kSlotBits = 5;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  static constexpr std::size_t kSlotsUsedAtMost = kSlots / 4 * 3;
  static_assert(kKeptNames < kSlotsUsedAtMost);

  // TextOf for a text not found by where it is spelled.
  BSTR TextByContent(std::u16string_view member);
  // Files the kept name `index` under the address it was last spelled at.
  void File(std::size_t index);
  // Files every kept name again, from where each was last spelled.
  void Refile();

  struct KeptName {
    const char16_t* spelled_at;  // where the caller's text was, the first time
    std::u16string name;
    Bstr text;
  };
  std::vector<KeptName> names_;
  // The kept names by the address each was spelled at, with what a lookup
  // compares and lends copied in, so that finding one reads its slot alone.
  struct Slot {
    const char16_t* spelled_at = nullptr;
    BSTR text = nullptr;  // the kept name's own, lent
    std::size_t size = 0;
    bool used = false;
  };
  std::array<Slot, kSlots> slots_{};
  std::size_t used_slots_ = 0;
  int lookups_ = 0;
  std::vector<Bstr> retired_;
};

namespace detail {
// Whether the BSTR `text` still reads exactly as `member`, as the BSTR itself
// says: its length from its prefix, its units, and the terminator after them.
// A host may have written into any of the three.
inline bool StillReads(BSTR text, std::u16string_view member) noexcept {
  const std::u16string_view now = ViewOf(text);
  return now.size() == member.size() && SameUnits(now.data(), member) &&
         now.data()[member.size()] == u'\0';
}
}  // namespace detail

inline BSTR NameIndex::TextOf(std::u16string_view member) {
  // The component spells its members with literals, so the text's address
  // finds the name at once; a text elsewhere with the same content is found
  // by its content. Either way the lent text must still read as the member:
  // a host that wrote into it gets a fresh copy rather than spoiling every
  // later lookup.
  for (std::size_t slot = AddressSlot(member.data(), kSlotBits); slots_[slot].used;
       slot = (slot + 1) % kSlots) {
    const Slot& kept = slots_[slot];
    if (kept.spelled_at == member.data() && kept.size == member.size() &&
        detail::StillReads(kept.text, member)) {
      return kept.text;
    }
  }
  return TextByContent(member);
}

}  // namespace clasp
