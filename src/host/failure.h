// One failure type for everything a host access or conversion can raise, and
// the standard failures hosts of this kind already know from their own runtime.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace clasp {

// A failure: a number and a description, both kept exactly as raised. Copies
// share the texts and never allocate, so a failure can be caught, kept and
// passed on even when memory has run out.
class Failure : public std::exception {
 public:
  Failure(std::int32_t number, std::u16string description);

  // The standard failure `number`, described as hosts expect (see kKnownFailures).
  // The known ones share texts made once: a host's failure on a hot road then
  // costs no allocation at all.
  static Failure Standard(std::int32_t number);

  std::int32_t Number() const noexcept { return number_; }
  const std::u16string& Description() const noexcept { return texts_->description; }
  // "number description" in UTF-8, made the first time it is asked for: almost
  // every failure is caught and reported without anybody reading it.
  const char* what() const noexcept override;

 private:
  struct Texts {
    explicit Texts(std::u16string text) noexcept : description(std::move(text)) {}
    ~Texts();
    Texts(const Texts&) = delete;
    Texts& operator=(const Texts&) = delete;
    std::u16string description;
    // Made by what(); copies on several threads may race to make it.
    mutable std::atomic<const std::string*> what{nullptr};
  };
  Failure(std::int32_t number, std::shared_ptr<const Texts> texts) noexcept
      : number_(number), texts_(std::move(texts)) {}

  std::int32_t number_;
  std::shared_ptr<const Texts> texts_;
};

// A value, or the failure that took its place: a host's failure handed back
// where unwinding it would cost more than the work around it. The failure is
// the same Failure a raise would carry, and ValueOrRaise raises it where a
// caller cannot handle it.
template <class T>
class Outcome {
 public:
  Outcome(T value) noexcept(std::is_nothrow_move_constructible_v<T>)  // NOLINT: implicit
      : state_(std::in_place_index<0>, std::move(value)) {}
  Outcome(Failure failure) noexcept  // NOLINT: implicit
      : state_(std::in_place_index<1>, std::move(failure)) {}

  bool Failed() const noexcept { return state_.index() != 0; }
  // Valid only when it did not fail.
  T& Value() noexcept { return *std::get_if<0>(&state_); }
  // Valid only when it failed.
  const Failure& GetFailure() const noexcept { return *std::get_if<1>(&state_); }
  // The same, moved out: a copy counts its shared texts up and down again.
  Failure TakeFailure() && noexcept { return std::move(*std::get_if<1>(&state_)); }
  T ValueOrRaise() && {
    if (Failed()) throw GetFailure();
    return std::move(Value());
  }

 private:
  std::variant<T, Failure> state_;
};

// Failure numbers that hosts of this kind already know from their own runtime.
inline constexpr std::int32_t kInvalidArgument = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kOutOfStackSpace = 28;
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
    {kOutOfStackSpace, u"Out of stack space"},
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
