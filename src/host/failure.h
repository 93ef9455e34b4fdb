// One failure type for everything a host access or conversion can raise, and
// the standard failures hosts of this kind already know from their own runtime.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace clasp {

// A failure: a number and a description, both kept exactly as raised. Copies
// share the texts and never allocate, so a failure can be caught, kept and
// passed on even when memory has run out.
class Failure : public std::exception {
 public:
  Failure(std::int32_t number, std::u16string description);

  // The standard failure `number`, described as hosts expect (see kKnownFailures).
  static Failure Standard(std::int32_t number);

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

// Failure numbers that hosts of this kind already know from their own runtime.
inline constexpr std::int32_t kInvalidArgument = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternalError = 51;
inline constexpr std::int32_t kFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kMemberMissing = 438;
inline constexpr std::int32_t kWrongArgumentCount = 450;
inline constexpr std::int32_t kUnsupportedType = 458;

// A standard failure number with the description hosts expect for it.
struct KnownFailure {
  std::int32_t number;
  std::u16string_view description;
};

// Every standard failure, once: the core, the server and the simulator all
// describe a number from here.
inline constexpr KnownFailure kKnownFailures[] = {
    {kInvalidArgument, u"Invalid procedure call or argument"},
    {kOverflow, u"Overflow"},
    {kOutOfMemory, u"Out of memory"},
    {kTypeMismatch, u"Type mismatch"},
    {kInternalError, u"Internal error"},
    {kFileAccessError, u"Path/File access error"},
    {kPathNotFound, u"Path not found"},
    {kObjectNotSet, u"Object variable or With block variable not set"},
    {kInvalidUseOfNull, u"Invalid use of Null"},
    {kMemberMissing, u"Object doesn't support this property or method"},
    {kWrongArgumentCount, u"Wrong number of arguments or invalid property assignment"},
    {kUnsupportedType, u"Variable uses an Automation type not supported in VBScript"},
};

// The description hosts expect for `number`; empty for a number nobody describes.
std::u16string_view DescriptionOf(std::int32_t number) noexcept;

// Shorthands for the standard failures raised most often.
inline Failure InvalidArgumentFailure() { return Failure::Standard(kInvalidArgument); }
inline Failure OverflowFailure() { return Failure::Standard(kOverflow); }
inline Failure TypeMismatchFailure() { return Failure::Standard(kTypeMismatch); }
inline Failure ObjectNotSetFailure() { return Failure::Standard(kObjectNotSet); }
inline Failure InvalidUseOfNullFailure() { return Failure::Standard(kInvalidUseOfNull); }
inline Failure MemberMissingFailure() { return Failure::Standard(kMemberMissing); }
inline Failure WrongArgumentCountFailure() { return Failure::Standard(kWrongArgumentCount); }
// What converting an empty object reference to a number or text raises.
inline Failure UnsupportedTypeFailure() { return Failure::Standard(kUnsupportedType); }

// Inside a catch block: the exception in flight as a Failure. Exceptions that
// are not ours keep a number the host can still show.
Failure CurrentFailure();

}  // namespace clasp
