// The dynamically typed value exchanged with host objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "host/host_dispatch.h"

namespace clasp {

// Value kinds, numbered as the platform numbers its automation kinds so that
// the binding can map them one to one. Arrays carry kArray plus their element kind.
enum class Kind : std::uint16_t {
  kEmpty = 0,
  kNull = 1,
  kI2 = 2,
  kI4 = 3,
  kR4 = 4,
  kR8 = 5,
  kCurrency = 6,
  kDate = 7,
  kText = 8,
  kObject = 9,
  kError = 10,
  kBool = 11,
  kUnknown = 13,
  kDecimal = 14,
  kI1 = 16,
  kUI1 = 17,
  kUI2 = 18,
  kUI4 = 19,
  kI8 = 20,
  kUI8 = 21,
  kInt = 22,
  kUInt = 23,
  kArray = 0x2000,
};

// A 96-bit scaled decimal: value = (negative ? -1 : 1) * (high:low) / 10^scale.
struct Decimal {
  std::uint8_t scale = 0;
  bool negative = false;
  std::uint32_t high = 0;
  std::uint64_t low = 0;
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

// A value the core carries but does not interpret (arrays, foreign interfaces).
// The binding that produced it knows how to hand it back unchanged.
class OpaqueValue {
 public:
  virtual ~OpaqueValue() = default;
  // Short readable form for logs and transcripts.
  virtual std::u16string Describe() const = 0;
};

// Text passed by reference to one host call: the callee sees, and may change,
// the caller's own variable. It names that variable and nothing else, so it
// cannot be copied or kept; a HostValue made from it is a call argument only.
class TextRef {
 public:
  explicit TextRef(std::u16string& variable) noexcept : variable_(&variable) {}
  TextRef(const TextRef&) = delete;
  TextRef& operator=(const TextRef&) = delete;

  // The caller's variable.
  std::u16string& Variable() const noexcept { return *variable_; }

 private:
  std::u16string* variable_;
};

// Text a binding answered and keeps in storage of its own: read in place, and
// handed back to that binding with no copy when it goes on to another call
// unread, as the messages of an exchange do. As with an opaque value, only
// the binding that made it knows what it holds; a copy, and the text it is
// read as anywhere else, is the core's own. The storage is read afresh at
// every look: a callee it was lent to may have changed it.
class TextPayload {
 public:
  virtual ~TextPayload() = default;
  virtual std::u16string_view Text() const noexcept = 0;
  // Moves this payload to `room`: builds the new one there, ends this one,
  // and answers the new one.
  virtual TextPayload* MoveTo(void* room) noexcept = 0;
};

// A text payload kept inside the value that carries it: a text answer
// allocates nothing of its own.
class HeldText {
 public:
  // Room for a payload: its virtual table and a pointer to the binding's storage.
  static constexpr std::size_t kRoom = 2 * sizeof(void*);

  template <class Payload, class... From>
  explicit HeldText(std::in_place_type_t<Payload>, From&&... from) noexcept
      : payload_(new (room_) Payload(std::forward<From>(from)...)), type_(&kTypeOf<Payload>) {
    static_assert(std::is_base_of_v<TextPayload, Payload>);
    static_assert(sizeof(Payload) <= kRoom && alignof(Payload) <= alignof(void*));
    static_assert(std::is_nothrow_constructible_v<Payload, From&&...>);
  }
  // A moved-from text holds nothing and reads as empty.
  HeldText(HeldText&& other) noexcept : payload_(other.Release(room_)), type_(other.type_) {}
  HeldText& operator=(HeldText&& other) noexcept {
    if (this != &other) {
      End();
      payload_ = other.Release(room_);
      type_ = other.type_;
    }
    return *this;
  }
  HeldText(const HeldText&) = delete;
  HeldText& operator=(const HeldText&) = delete;
  ~HeldText() { End(); }

  std::u16string_view Text() const noexcept {
    return payload_ ? payload_->Text() : std::u16string_view();
  }
  // The payload when it is a `Payload`, else null: a binding finds its own
  // with one comparison, as it does for every argument of every call.
  template <class Payload>
  const Payload* As() const noexcept {
    return payload_ && type_ == &kTypeOf<Payload> ? static_cast<const Payload*>(payload_)
                                                   : nullptr;
  }

  friend bool operator==(const HeldText& a, const HeldText& b) noexcept {
    return a.Text() == b.Text();
  }

 private:
  // One address per payload type names it, with no run-time type information.
  template <class Payload>
  static constexpr char kTypeOf = 0;

  TextPayload* Release(void* room) noexcept {
    return payload_ ? std::exchange(payload_, nullptr)->MoveTo(room) : nullptr;
  }
  void End() noexcept {
    if (payload_) payload_->~TextPayload();
  }

  alignas(void*) std::byte room_[kRoom];
  TextPayload* payload_;
  const void* type_;
};

// A dynamically typed automation value. Copies are deep except for object
// references (counted) and opaque payloads (shared, immutable). A copy of a
// by-reference argument is the text it holds at that moment: only the argument
// itself, for the length of its call, reaches the caller's variable.
class HostValue {
 public:
  HostValue() = default;  // the empty value
  // The argument form of by-reference text; the variable must outlive the call.
  HostValue(const clasp::TextRef& text) : kind_(Kind::kText), data_(&text.Variable()) {}  // NOLINT
  HostValue(const HostValue& other) : kind_(other.kind_), data_(CopyOf(other)) {}
  HostValue(HostValue&& other) noexcept = default;
  HostValue& operator=(const HostValue& other) {
    if (this != &other) *this = HostValue(other);
    return *this;
  }
  HostValue& operator=(HostValue&& other) noexcept = default;
  ~HostValue() = default;

  static HostValue Empty() { return {}; }
  static HostValue Null() { return HostValue(Kind::kNull, std::monostate{}); }
  static HostValue I2(std::int16_t v) { return HostValue(Kind::kI2, std::int64_t{v}); }
  static HostValue I4(std::int32_t v) { return HostValue(Kind::kI4, std::int64_t{v}); }
  static HostValue R8(double v) { return HostValue(Kind::kR8, v); }
  static HostValue Bool(bool v) { return HostValue(Kind::kBool, std::int64_t{v ? -1 : 0}); }
  static HostValue Text(std::u16string v) { return HostValue(Kind::kText, std::move(v)); }
  // Text made straight into the value, with no string to move in afterwards.
  static HostValue Text(std::u16string_view v) {
    return HostValue(Kind::kText, std::in_place_type<std::u16string>, v);
  }
  static HostValue Text(const char16_t* v) { return Text(std::u16string_view(v)); }
  // Text that is not copied for the value: the argument form of a constant
  // the caller keeps for longer than the call. A copy of it holds its own text.
  static HostValue BorrowedText(const std::u16string& text) {
    return HostValue(Kind::kText, std::in_place_type<const std::u16string*>, &text);
  }
  // Text by reference: the callee sees and may change `variable` during the call.
  static HostValue TextRef(std::u16string& variable) { return HostValue(clasp::TextRef(variable)); }
  // Text a binding answered with, left where it is: a `Payload` made in place.
  template <class Payload, class... From>
  static HostValue Held(From&&... from) noexcept {
    return HostValue(Kind::kText, std::in_place_type<HeldText>, std::in_place_type<Payload>,
                     std::forward<From>(from)...);
  }
  static HostValue Object(HostObject v) { return HostValue(Kind::kObject, std::move(v)); }
  // Any integral kind (kI1, kUI1, kUI2, kUI4, kI8, kUI8, kInt, kUInt, kError), or
  // kCurrency with the value scaled by 10000. Raises Failure for any other kind.
  static HostValue Integer(Kind kind, std::int64_t v) {
    RequireKind(IsIntegerKind(kind));
    return HostValue(kind, v);
  }
  // kR4 or kDate (days since 1899-12-30, fraction is the time of day); raises
  // Failure for any other kind.
  static HostValue Real(Kind kind, double v) {
    RequireKind(kind == Kind::kR4 || kind == Kind::kR8 || kind == Kind::kDate);
    return HostValue(kind, v);
  }
  static HostValue Dec(const Decimal& v) { return HostValue(Kind::kDecimal, v); }
  // A kind the core does not read (arrays, foreign interfaces, records); raises
  // Failure for a kind whose payload the core reads, which this one lacks.
  static HostValue Opaque(Kind kind, std::shared_ptr<const OpaqueValue> v) {
    RequireKind(IsOpaqueKind(kind) && v != nullptr);
    return HostValue(kind, std::move(v));
  }

  Kind GetKind() const noexcept { return kind_; }
  bool IsEmpty() const noexcept { return kind_ == Kind::kEmpty; }
  bool IsNull() const noexcept { return kind_ == Kind::kNull; }
  bool IsByRef() const noexcept { return std::holds_alternative<std::u16string*>(data_); }

  // Payload accessors; each is valid only for the kinds that store it.
  std::int64_t AsInteger() const { return std::get<std::int64_t>(data_); }
  double AsReal() const { return std::get<double>(data_); }
  // Valid while the value lives and is not changed.
  std::u16string_view AsText() const {
    if (auto* own = std::get_if<std::u16string>(&data_)) return *own;
    if (auto* held = std::get_if<HeldText>(&data_)) return held->Text();
    if (auto* ref = std::get_if<std::u16string*>(&data_)) return **ref;
    return *std::get<const std::u16string*>(data_);
  }
  // The payload behind a text a binding answered with, else null.
  const HeldText* AsHeld() const noexcept { return std::get_if<HeldText>(&data_); }
  // The caller's variable behind a text by reference.
  std::u16string& RefTarget() const { return *std::get<std::u16string*>(data_); }
  const HostObject& AsObject() const { return std::get<HostObject>(data_); }
  const Decimal& AsDecimal() const { return std::get<Decimal>(data_); }
  const std::shared_ptr<const OpaqueValue>& AsOpaque() const {
    return std::get<std::shared_ptr<const OpaqueValue>>(data_);
  }
  bool HasInteger() const noexcept { return std::holds_alternative<std::int64_t>(data_); }
  bool HasReal() const noexcept { return std::holds_alternative<double>(data_); }
  bool HasOpaque() const noexcept {
    return std::holds_alternative<std::shared_ptr<const OpaqueValue>>(data_);
  }

  // Same kind and same value; by-reference text compares by its current text.
  friend bool operator==(const HostValue& a, const HostValue& b);

 private:
  using Data = std::variant<std::monostate, std::int64_t, double, std::u16string,
                            std::u16string*, const std::u16string*, HeldText, HostObject,
                            Decimal, std::shared_ptr<const OpaqueValue>>;
  HostValue(Kind kind, Data data) : kind_(kind), data_(std::move(data)) {}
  template <class T, class... From>
  HostValue(Kind kind, std::in_place_type_t<T> type, From&&... from)
      : kind_(kind), data_(type, std::forward<From>(from)...) {}
  // Text not the value's own becomes its own; every other payload is copied.
  // Tested a kind at a time, numbers first, as hosts copy what they answer.
  static Data CopyOf(const HostValue& value) {
    const Data& data = value.data_;
    if (const auto* integer = std::get_if<std::int64_t>(&data)) return Data(*integer);
    if (const auto* own = std::get_if<std::u16string>(&data)) {
      return Data(std::in_place_type<std::u16string>, *own);
    }
    if (value.kind_ == Kind::kText) {
      return Data(std::in_place_type<std::u16string>, value.AsText());
    }
    if (const auto* real = std::get_if<double>(&data)) return Data(*real);
    if (const auto* object = std::get_if<HostObject>(&data)) return Data(*object);
    if (const auto* decimal = std::get_if<Decimal>(&data)) return Data(*decimal);
    if (const auto* opaque = std::get_if<std::shared_ptr<const OpaqueValue>>(&data)) {
      return Data(*opaque);
    }
    return Data();
  }
  static bool IsIntegerKind(Kind kind) noexcept;
  static bool IsOpaqueKind(Kind kind) noexcept;
  // A value whose kind disagrees with its payload would fail far from here.
  static void RequireKind(bool matches);

  Kind kind_ = Kind::kEmpty;
  Data data_;
};

// Readable name of a kind ("I2", "Text", "Array|UI1", ...), used in logs.
std::u16string KindName(Kind kind);
// Readable form of a value with its kind, e.g. `I2 420`, `Text "x"`, `&Text "x"`.
std::u16string Describe(const HostValue& value);

}  // namespace clasp
