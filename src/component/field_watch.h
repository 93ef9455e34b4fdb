// How an instance learns which of its host fields a step found empty.
#pragma once

#include <optional>

#include "component/holdfast.h"

namespace clasp {

// Watches the calling thread's empty references while it lives, when the
// instance has a watch of its own, and names the field for that watch. The
// references are the fields themselves (the step passes them on by
// reference), so an address tells which field it is; any other empty
// reference, such as another instance's inside a host call, is not ours.
class Holdfast::FieldWatch final : public EmptyReferenceWatch {
 public:
  explicit FieldWatch(const Holdfast& holdfast) noexcept : holdfast_(holdfast) {
    if (holdfast.watch_) scope_.emplace(*this);
  }
  void Reached(const HostObject& empty, std::u16string_view member,
               const Failure& failure) noexcept override;

 private:
  const Holdfast& holdfast_;
  std::optional<ScopedEmptyReferenceWatch> scope_;
};

}  // namespace clasp
