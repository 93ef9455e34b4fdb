#include "server/com/name_index.h"

#include <utility>

namespace clasp {

BSTR NameIndex::TextByContent(std::u16string_view member) {
  for (std::size_t index = 0; index < names_.size(); ++index) {
    KeptName& kept = names_[index];
    if (kept.name != member) continue;
    kept.spelled_at = member.data();
    if (detail::StillReads(kept.text.Get(), member)) {
      File(index);
    } else {
      // Every slot lending the spoilt text goes with it. A lookup that
      // encloses this one (the host called back in from it) may still be
      // reading that text: it is let go only once no lookup is under way.
      Bstr fresh(member);
      if (lookups_ > 0) retired_.push_back(std::move(kept.text));
      kept.text = std::move(fresh);
      Refile();
    }
    return kept.text.Get();
  }
  if (names_.size() == kKeptNames) return nullptr;
  names_.push_back(KeptName{member.data(), std::u16string(member), Bstr(member)});
  File(names_.size() - 1);
  return names_.back().text.Get();
}

void NameIndex::File(std::size_t index) {
  // Slots of names since spelled elsewhere are only found to differ; when
  // they pile up, the index starts again from where each name is now, this
  // one's included.
  if (used_slots_ == kSlotsUsedAtMost) return Refile();
  const KeptName& kept = names_[index];
  std::size_t slot = AddressSlot(kept.spelled_at, kSlotBits);
  while (slots_[slot].used) slot = (slot + 1) % kSlots;
  slots_[slot] = Slot{kept.spelled_at, kept.text.Get(), kept.name.size(), true};
  ++used_slots_;
}

void NameIndex::Refile() {
  slots_.fill(Slot{});
  used_slots_ = 0;
  // Fewer names are kept than fill the index: none of these starts it again.
  for (std::size_t kept = 0; kept < names_.size(); ++kept) File(kept);
}

}  // namespace clasp
