// Fuzz target: values of every kind, and text of every shape, through ToInt32,
// ToText and the integer comparisons. Nothing may crash, and every answer must
// agree with the slow exact reference.
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <limits>
#include <memory>

#include "convert_reference.h"
#include "fuzz_input.h"
#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"

namespace clasp::fuzz {
namespace {

// Characters numeric text is made of, so most inputs come close to a number.
// The last few are the platform reader's own symbols and blanks.
constexpr std::u16string_view kNumberAlphabet =
    u"0123456789 +-.,eE&HhOoAaFf\t\r\n5,.0$()\u00a0\u3000dD%";
constexpr std::size_t kMaxText = 64;

class Opaque final : public OpaqueValue {
 public:
  std::u16string Describe() const override { return u"{array}"; }
};

HostValue MakeValue(FuzzInput& in) {
  enum Choice : std::uint8_t {
    kNumberText, kAnyText, kTextByRef, kEmpty, kNull, kI2, kI4, kR8Bits, kR8Nice, kR4,
    kBool, kCurrency, kDecimal, kI1, kUI1, kUI2, kUI4, kI8, kUI8, kInt, kUInt, kDate,
    kError, kObject, kArray, kWholeDate, kChoices
  };
  switch (in.Byte() % kChoices) {
    case kNumberText:
      return HostValue::Text(in.Text(kMaxText, kNumberAlphabet));
    case kAnyText: {
      std::u16string text;
      while (text.size() < kMaxText && !in.Empty()) text.push_back(in.Raw<char16_t>());
      return HostValue::Text(text);
    }
    case kTextByRef: {
      // The variable outlives every use of the value: both live until the input ends.
      static std::u16string variable;
      variable = in.Text(kMaxText, kNumberAlphabet);
      return HostValue::TextRef(variable);
    }
    case kEmpty: return HostValue::Empty();
    case kNull: return HostValue::Null();
    case kI2: return HostValue::I2(in.Raw<std::int16_t>());
    case kI4: return HostValue::I4(in.Raw<std::int32_t>());
    case kR8Bits: return HostValue::R8(in.Raw<double>());
    case kR8Nice: {
      // Halves, quarters and thousandths around the 32-bit edges.
      const double whole = in.Raw<std::int32_t>();
      const double parts[] = {0.5, 0.25, 0.75, 0.001, 0.999, 0.0, 1.5, 2147483647.0};
      return HostValue::R8(whole + parts[in.Byte() % 8] * ((in.Byte() & 1) ? -1 : 1));
    }
    case kR4: return HostValue::Real(Kind::kR4, in.Raw<float>());
    case kBool: return HostValue::Integer(Kind::kBool, in.Raw<std::int16_t>());
    case kCurrency: return HostValue::Integer(Kind::kCurrency, in.Raw<std::int64_t>());
    case kDecimal: {
      Decimal d;
      d.scale = static_cast<std::uint8_t>(in.Byte() % 29);
      d.negative = (in.Byte() & 1) != 0;
      d.high = in.Raw<std::uint32_t>();
      d.low = in.Raw<std::uint64_t>();
      return HostValue::Dec(d);
    }
    case kI1: return HostValue::Integer(Kind::kI1, in.Raw<std::int8_t>());
    case kUI1: return HostValue::Integer(Kind::kUI1, in.Raw<std::uint8_t>());
    case kUI2: return HostValue::Integer(Kind::kUI2, in.Raw<std::uint16_t>());
    case kUI4: return HostValue::Integer(Kind::kUI4, in.Raw<std::uint32_t>());
    case kI8: return HostValue::Integer(Kind::kI8, in.Raw<std::int64_t>());
    case kUI8: return HostValue::Integer(Kind::kUI8, in.Raw<std::int64_t>());
    case kInt: return HostValue::Integer(Kind::kInt, in.Raw<std::int32_t>());
    case kUInt: return HostValue::Integer(Kind::kUInt, in.Raw<std::uint32_t>());
    case kDate: return HostValue::Real(Kind::kDate, in.Raw<double>());
    case kError: return HostValue::Integer(Kind::kError, in.Raw<std::int32_t>());
    case kObject: return HostValue::Object(HostObject());
    case kWholeDate: {
      // Whole days from a little before the year 100 to a little after 9999.
      constexpr std::int32_t kSpan = 3'700'000;
      constexpr std::int32_t kFirst = -700'000;
      return HostValue::Real(Kind::kDate, kFirst + static_cast<std::int32_t>(
                                                       in.Raw<std::uint32_t>() % kSpan));
    }
    default:
      return HostValue::Opaque(static_cast<Kind>(static_cast<std::uint16_t>(Kind::kArray) |
                                                 static_cast<std::uint16_t>(Kind::kUI1)),
                               std::make_shared<Opaque>());
  }
}

[[noreturn]] void Disagree(const std::string& what, const HostValue& value, const std::string& got,
                           const std::string& expected) {
  std::fprintf(stderr, "%s of %s: got %s, the rules say %s\n", what.c_str(),
               Utf8(Describe(value)).c_str(), got.c_str(), expected.c_str());
  std::abort();
}

template <class T, class Show, class Call>
void Check(const std::string& what, const HostValue& value, const Expected<T>& expected, Call call,
           Show show) {
  using Is = typename Expected<T>::Is;
  std::string got;
  bool same = false;
  try {
    const T result = call();
    got = show(result);
    same = expected.is == Is::kValue && result == expected.value;
  } catch (const Failure& failure) {
    got = "failure " + std::to_string(failure.Number());
    same = expected.is == Is::kFailure && failure.Number() == expected.failure;
  }
  // Anything but a Failure escapes here and libFuzzer reports it.
  if (same || expected.is == Is::kUnchecked) return;
  const std::string want = expected.is == Is::kValue ? show(expected.value)
                                                      : "failure " + std::to_string(expected.failure);
  Disagree(what, value, got, want);
}

std::string ShowOrder(const std::optional<int>& order) {
  if (!order) return "no answer";
  return *order < 0 ? "below" : (*order > 0 ? "above" : "equal");
}

std::optional<int> Sign(std::optional<int> order) {
  if (!order) return order;
  return (*order > 0) - (*order < 0);
}

// A conversion's outcome: its value, or the number of its failure.
template <class F>
auto Outcome(F call) -> std::pair<std::optional<decltype(call())>, std::int32_t> {
  try {
    return {call(), 0};
  } catch (const Failure& failure) {
    return {std::nullopt, failure.Number()};
  }
}

// For text the reference cannot read itself, the conversions must at least
// agree with one another: whatever ToInt32 reads, the comparisons read too.
void CheckConsistent(const HostValue& value) {
  constexpr std::int32_t kTypeMismatchNumber = 13;
  constexpr std::int32_t kOverflowNumber = 6;
  const auto [rounded, failure] = Outcome([&] { return ToInt32(value); });
  const auto [order, compare_failure] = Outcome([&] { return CompareWith(value, 0); });
  if ((failure == kTypeMismatchNumber) != (compare_failure == kTypeMismatchNumber)) {
    Disagree("ToInt32 and CompareWith 0", value, "failures " + std::to_string(failure) +
             " and " + std::to_string(compare_failure), "the same reading");
  }
  if (compare_failure != 0 && compare_failure != kTypeMismatchNumber &&
      compare_failure != kOverflowNumber) {
    Disagree("CompareWith 0", value, "failure " + std::to_string(compare_failure),
             "a comparison, a type mismatch or an overflow");
  }
  if (!rounded) return;
  // ToInt32 rounds to the nearest integer, so the number lies within half of it.
  const std::int64_t v = *rounded;
  if (v > INT32_MIN) {
    const auto below = Outcome([&] { return CompareWith(value, static_cast<std::int32_t>(v - 1)); });
    if (!below.first || !*below.first || **below.first <= 0) {
      Disagree("CompareWith " + std::to_string(v - 1), value, "not above",
               "above, as ToInt32 gives " + std::to_string(v));
    }
  }
  if (v < INT32_MAX) {
    const auto above = Outcome([&] { return CompareWith(value, static_cast<std::int32_t>(v + 1)); });
    if (!above.first || !*above.first || **above.first >= 0) {
      Disagree("CompareWith " + std::to_string(v + 1), value, "not below",
               "below, as ToInt32 gives " + std::to_string(v));
    }
  }
}

}  // namespace
}  // namespace clasp::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clasp;
  using namespace clasp::fuzz;
  FuzzInput in(data, size);
  const auto constant_choice = in.Byte();
  // Small constants most of the time: the component compares with 0, 1 and 6.
  const std::int32_t constant = constant_choice < 0x80 ? constant_choice % 8 - 1
                                                       : in.Raw<std::int32_t>();
  const HostValue value = MakeValue(in);
  if (value.GetKind() == Kind::kText && !DecidedText(value.AsText())) CheckConsistent(value);

  Check<std::int32_t>("ToInt32", value, ExpectedInt32(value),
                      [&] { return ToInt32(value); },
                      [](std::int32_t v) { return std::to_string(v); });
  Check<std::u16string>("ToText", value, ExpectedText(value), [&] { return ToText(value); },
                        [](const std::u16string& t) { return "\"" + Utf8(t) + "\""; });
  const auto compared = ExpectedCompare(value, constant);
  Check<std::optional<int>>("CompareWith " + std::to_string(constant), value, compared, [&] { return Sign(CompareWith(value, constant)); },
                            ShowOrder);
  // The two tests the component makes follow from the comparison; null makes both false.
  if (compared.is == Expected<std::optional<int>>::Is::kValue) {
    const auto& order = compared.value;
    const bool equal = order && *order == 0;
    const bool greater = order && *order > 0;
    if (EqualsInt(value, constant) != equal || GreaterThanInt(value, constant) != greater) {
      Disagree("EqualsInt/GreaterThanInt", value, "a different test", ShowOrder(order));
    }
  }
  return 0;
}
