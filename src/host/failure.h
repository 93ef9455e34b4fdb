// One failure type for everything a host access or conversion can raise.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace clasp {

// Failure numbers that hosts of this kind already know from their own runtime.
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInternalError = 51;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kMemberMissing = 438;
inline constexpr std::int32_t kWrongArgumentCount = 450;

// A failure: a number and a description, both kept exactly as raised. Copies
// share the texts and never allocate, so a failure can be caught, kept and
// passed on even when memory has run out.
class Failure : public std::exception {
 public:
  Failure(std::int32_t number, std::u16string description);

  std::int32_t Number() const noexcept { return number_; }
  const std::u16string& Description() const noexcept { return texts_->description; }
  const char* what() const noexcept override { return texts_->what.c_str(); }

 private:
  struct Texts {
    std::u16string description;
    std::string what;
  };
  std::int32_t number_;
  std::shared_ptr<const Texts> texts_;
};

// The standard failures, with the descriptions hosts expect for them.
Failure OverflowFailure();
Failure TypeMismatchFailure();
Failure ObjectNotSetFailure();
Failure InvalidUseOfNullFailure();
Failure MemberMissingFailure();
Failure WrongArgumentCountFailure();

// Inside a catch block: the exception in flight as a Failure. Exceptions that
// are not ours keep a number the host can still show.
Failure CurrentFailure();

}  // namespace clasp
