#include "host/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <utility>
#include <memory>
#include <optional>

#include "host/failure.h"
#include "host/number.h"
#include "host/text.h"
#include "support/failure_of.h"

namespace clasp {
namespace {

struct Int32Case {
  const char* name;
  HostValue value;
  std::optional<std::int32_t> expected;  // no value: must fail
  std::int32_t failure = 0;
};

Decimal Dec(std::uint64_t low, std::uint8_t scale, bool negative = false,
            std::uint32_t high = 0) {
  Decimal d;
  d.high = high;
  d.low = low;
  d.scale = scale;
  d.negative = negative;
  return d;
}

TEST(ToInt32, FollowsTheHostRules) {
  const Int32Case cases[] = {
      {"text 12", HostValue::Text(u"12"), 12},
      {"text with blanks", HostValue::Text(u" 12 "), 12},
      {"tab and line ends are blanks", HostValue::Text(u"\t12\r\n"), 12},
      {"text signed", HostValue::Text(u"-12"), -12},
      {"text plus", HostValue::Text(u"+7"), 7},
      {"2.5 even down", HostValue::R8(2.5), 2},
      {"3.5 even up", HostValue::R8(3.5), 4},
      {"-2.5", HostValue::R8(-2.5), -2},
      {"-3.5", HostValue::R8(-3.5), -4},
      {"0.5", HostValue::R8(0.5), 0},
      {"-0.5", HostValue::R8(-0.5), 0},
      {"1.5", HostValue::R8(1.5), 2},
      {"2.4999", HostValue::R8(2.4999), 2},
      {"2.5001", HostValue::R8(2.5001), 3},
      {"text 2.5", HostValue::Text(u"2.5"), 2},
      {"text 3.5", HostValue::Text(u"3.5"), 4},
      {"text 2.50000000000000000001", HostValue::Text(u"2.50000000000000000001"), 3},
      {"text 2.51: a 5 with one digit after it is above one half", HostValue::Text(u"2.51"), 3},
      {"text 1e3", HostValue::Text(u"1e3"), 1000},
      {"text 1E+3", HostValue::Text(u"1E+3"), 1000},
      {"text 25e-1", HostValue::Text(u"25e-1"), 2},
      {"text 1,000", HostValue::Text(u"1,000"), 1000},
      {"text .5", HostValue::Text(u".5"), 0},
      {"text .7", HostValue::Text(u".7"), 1},
      {"zeros after a separator lead", HostValue::Text(u"0,000000000000000000001"), 1},
      {"text 1.", HostValue::Text(u"1."), 1},
      {"text &HFF", HostValue::Text(u"&HFF"), 255},
      {"text &O17", HostValue::Text(u"&O17"), 15},
      {"H after a digit is no radix marker", HostValue::Text(u"0h1"), std::nullopt,
       kTypeMismatch},
      {"an ampersand before a digit is no radix marker", HostValue::Text(u"&12"), std::nullopt,
       kTypeMismatch},
      {"hex letters at both ends, either case", HostValue::Text(u"&HaF"), 175},
      {"hex letters at both ends, other case", HostValue::Text(u"&hAf"), 175},
      {"text .05e2", HostValue::Text(u".05e2"), 5},
      {"max", HostValue::I4(2147483647), 2147483647},
      {"text max", HostValue::Text(u"2147483647"), 2147483647},
      {"text min", HostValue::Text(u"-2147483648"), std::numeric_limits<std::int32_t>::min()},
      {"R8 min - 0.5 rounds to even min", HostValue::R8(-2147483648.5),
       std::numeric_limits<std::int32_t>::min()},
      {"2147483648", HostValue::R8(2147483648.0), std::nullopt, kOverflow},
      {"text 2147483648", HostValue::Text(u"2147483648"), std::nullopt, kOverflow},
      {"2147483647.5 rounds up out of range", HostValue::R8(2147483647.5), std::nullopt,
       kOverflow},
      {"text -2147483649", HostValue::Text(u"-2147483649"), std::nullopt, kOverflow},
      {"text 1e30", HostValue::Text(u"1e30"), std::nullopt, kOverflow},
      {"text 2^64 must not wrap to 0", HostValue::Text(u"18446744073709551616"), std::nullopt,
       kOverflow},
      {"I8 too big", HostValue::Integer(Kind::kI8, 1LL << 40), std::nullopt, kOverflow},
      {"empty text", HostValue::Text(u""), std::nullopt, kTypeMismatch},
      {"blank text", HostValue::Text(u"   "), std::nullopt, kTypeMismatch},
      {"abc", HostValue::Text(u"abc"), std::nullopt, kTypeMismatch},
      {"12abc", HostValue::Text(u"12abc"), std::nullopt, kTypeMismatch},
      {"lone sign", HostValue::Text(u"-"), std::nullopt, kTypeMismatch},
      {"exponent without digits", HostValue::Text(u"1e"), std::nullopt, kTypeMismatch},
      {"null", HostValue::Null(), std::nullopt, kTypeMismatch},
      {"empty object reference", HostValue::Object(HostObject()), std::nullopt, kUnsupportedType},
      {"empty value", HostValue::Empty(), 0},
      {"true", HostValue::Bool(true), -1},
      {"false", HostValue::Bool(false), 0},
      {"I2", HostValue::I2(-5), -5},
      {"UI4 max overflows", HostValue::Integer(Kind::kUI4, 4294967295LL), std::nullopt,
       kOverflow},
      // Held in 64 bits, the largest UI8 values must not wrap round to small negatives.
      {"UI8 max overflows", HostValue::Integer(Kind::kUI8, -1), std::nullopt, kOverflow},
      {"currency 2.5", HostValue::Integer(Kind::kCurrency, 25000), 2},
      {"currency 3.5", HostValue::Integer(Kind::kCurrency, 35000), 4},
      {"currency -1.2345", HostValue::Integer(Kind::kCurrency, -12345), -1},
      {"decimal 2.5", HostValue::Dec(Dec(25, 1)), 2},
      {"decimal 2.7", HostValue::Dec(Dec(27, 1)), 3},
      {"decimal 2.51", HostValue::Dec(Dec(251, 2)), 3},
      {"decimal -3.50", HostValue::Dec(Dec(350, 2, true)), -4},
      {"date noon", HostValue::Real(Kind::kDate, 1.5), 2},
      {"decimal beyond 32 bits", HostValue::Dec(Dec(4294967301, 0)), std::nullopt, kOverflow},
      {"decimal -2^32 overflows, its high word counted in full",
       HostValue::Dec(Dec(4294967296, 0, true)), std::nullopt, kOverflow},
      {"infinity", HostValue::R8(std::numeric_limits<double>::infinity()), std::nullopt,
       kOverflow},
      {"R8 1e20", HostValue::R8(1e20), std::nullopt, kOverflow},
      {"NaN", HostValue::R8(std::numeric_limits<double>::quiet_NaN()), std::nullopt, kOverflow},
      // The en-US reader's symbols around the number.
      {"dollar", HostValue::Text(u"$5"), 5},
      {"dollar after", HostValue::Text(u"5 $"), 5},
      {"parentheses negate", HostValue::Text(u"(5)"), -5},
      {"parentheses and minus", HostValue::Text(u"(-5)"), -5},
      {"trailing minus", HostValue::Text(u"5-"), -5},
      {"plus then minus", HostValue::Text(u"+-12"), -12},
      {"open parenthesis unanswered", HostValue::Text(u"(5"), std::nullopt, kTypeMismatch},
      {"close parenthesis alone", HostValue::Text(u"5)"), std::nullopt, kTypeMismatch},
      {"two minus signs", HostValue::Text(u"--1"), std::nullopt, kTypeMismatch},
      {"minus on both sides", HostValue::Text(u"-1-"), std::nullopt, kTypeMismatch},
      {"no exponent after a dollar", HostValue::Text(u"$5e1"), std::nullopt, kTypeMismatch},
      {"comma first", HostValue::Text(u",5"), std::nullopt, kTypeMismatch},
      {"comma after", HostValue::Text(u"5 ,"), 5},
      {"Unicode blanks", HostValue::Text(u"\u00a012\u3000"), 12},
      {"zero-width space is no blank", HostValue::Text(u"\u200b1"), std::nullopt,
       kTypeMismatch},
      {"NUL ends the text", HostValue::Text(std::u16string(u"1\0" u"2", 3)), 1},
      {"exponent wraps at 32 bits", HostValue::Text(u"1e4294967297"), 10},
      // A digit after the lowest exponent takes the power one step further: it wraps.
      {"zero digit past the lowest power", HostValue::Text(u".e-02147483648,0"), 0},
      {"digit past the lowest power wraps high", HostValue::Text(u".e-02147483648,1"),
       std::nullopt, kOverflow},
      {"one below the lowest power", HostValue::Text(u"1.e-2147483647,0"), 0},
      // &H / &O are 32-bit patterns; their sign is ignored.
      {"&HFFFFFFFF", HostValue::Text(u"&HFFFFFFFF"), -1},
      {"&H80000000", HostValue::Text(u"&H80000000"), std::numeric_limits<std::int32_t>::min()},
      {"&O37777777777", HostValue::Text(u"&O37777777777"), -1},
      {"&H100000000", HostValue::Text(u"&H100000000"), std::nullopt, kOverflow},
      {"&H beyond 64 bits, whose low bits read 1",
       HostValue::Text(u"&H10000000000000001"), std::nullopt, kOverflow},
      {"-&H1", HostValue::Text(u"-&H1"), 1},
      {"&H after a dollar", HostValue::Text(u"$&H1"), std::nullopt, kTypeMismatch},
      {"&H with a point", HostValue::Text(u"&H1.5"), std::nullopt, kTypeMismatch},
      {"&H with a comma", HostValue::Text(u"&H1,F"), std::nullopt, kTypeMismatch},
      {"&O stops at 8", HostValue::Text(u"&O18"), std::nullopt, kTypeMismatch},
      {"&O with a comma", HostValue::Text(u"&O1,7"), std::nullopt, kTypeMismatch},
      {"# is no symbol", HostValue::Text(u"#5"), std::nullopt, kTypeMismatch},
      {"no radix after %", HostValue::Text(u"%H1"), std::nullopt, kTypeMismatch},
      {"( answered by ]", HostValue::Text(u"(5]"), std::nullopt, kTypeMismatch},
      {"trailing plus", HostValue::Text(u"5+"), 5},
      {"plus on both sides", HostValue::Text(u"+5+"), std::nullopt, kTypeMismatch},
      {"no radix after &I", HostValue::Text(u"&I1"), std::nullopt, kTypeMismatch},
      {"nor after &i", HostValue::Text(u"&i1"), std::nullopt, kTypeMismatch},
      {"nor after &P", HostValue::Text(u"&P1"), std::nullopt, kTypeMismatch},
      {"nor after &x", HostValue::Text(u"&x1"), std::nullopt, kTypeMismatch},
      // The reader's less obvious roads: what each part of a number may hold.
      {"&H alone", HostValue::Text(u"&H"), std::nullopt, kTypeMismatch},
      {"E is a hex digit, not an exponent", HostValue::Text(u"&H1E"), 30},
      {"no exponent in an &O form", HostValue::Text(u"&O1e1"), std::nullopt, kTypeMismatch},
      {"signs and commas inside the exponent", HostValue::Text(u"500e-,+2"), 5},
      {"digits after the exponent are the number's", HostValue::Text(u"1e1,5"), 150},
      {"no point after the exponent", HostValue::Text(u"1e1.5"), std::nullopt, kTypeMismatch},
      {"no blank inside the exponent", HostValue::Text(u"1e 1"), std::nullopt, kTypeMismatch},
      {"zeros after a bare point", HostValue::Text(u".005e3"), 5},
      {"only zeros after a bare point", HostValue::Text(u"-.00"), 0},
      {"zero with an exponent", HostValue::Text(u"0e5"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.expected) {
      EXPECT_EQ(ToInt32(c.value), *c.expected);
    } else {
      try {
        const std::int32_t got = ToInt32(c.value);
        ADD_FAILURE() << "converted to " << got;
      } catch (const Failure& f) {
        EXPECT_EQ(f.Number(), c.failure);
      }
    }
  }
}

TEST(ToInt32, EveryPlatformBlankSurroundsANumber) {
  for (const char16_t blank : {u'\t', u'\n', u'\v', u'\f', u'\r', u' ', u'\u0085', u'\u00a0',
                               u'\u1680', u'\u2000', u'\u2005', u'\u200a', u'\u2028',
                               u'\u2029', u'\u202f', u'\u205f', u'\u3000'}) {
    SCOPED_TRACE(static_cast<int>(blank));
    const std::u16string text = std::u16string(1, blank) + u"12" + std::u16string(1, blank);
    EXPECT_EQ(ToInt32(HostValue::Text(text)), 12);
  }
  // Their neighbours are not blanks.
  for (const char16_t other : {u'\b', u'\x0e', u'\u0084', u'\u1fff', u'\u200b', u'\u202e',
                               u'\u2fff', u'\u3001'}) {
    SCOPED_TRACE(static_cast<int>(other));
    EXPECT_THROW(ToInt32(HostValue::Text(std::u16string(1, other) + u"12")), Failure);
  }
}

TEST(ParseNumber, ReadsNoFurtherThanTheView) {
  const std::u16string text = u"12";
  const auto number = detail::ParseNumber(std::u16string_view(text).substr(0, 1));
  ASSERT_TRUE(number.has_value());
  EXPECT_EQ(number->digits, "1");
  // Zeros at either end are not digits: they move the exponent instead.
  const auto hundreds = detail::ParseNumber(u"001200");
  ASSERT_TRUE(hundreds.has_value());
  EXPECT_EQ(hundreds->digits, "12");
  EXPECT_EQ(hundreds->exponent, 2);
}

// What the exact readers make of a value: its sign, its whole part (of 19 digits
// at most, one of 20 marked huge, so that rounding up never wraps) and where its
// fraction lies.
TEST(ExactNumber, EveryReaderGivesSignWholeAndFraction) {
  constexpr std::uint64_t kNineteenNines = 9'999'999'999'999'999'999ull;
  using detail::Fraction;
  const struct {
    const char* name;
    detail::Number number;
    bool negative;
    std::optional<std::uint64_t> whole;  // no value: huge, the fraction unread
    Fraction fraction = Fraction::kZero;
  } cases[] = {
      {"text of 19 nines", detail::FromText(*detail::ParseNumber(u"9999999999999999999")), false,
       kNineteenNines},
      {"text 1e19", detail::FromText(*detail::ParseNumber(u"1e19")), false, std::nullopt},
      {"text -0.01", detail::FromText(*detail::ParseNumber(u"-0.01")), true, 0,
       Fraction::kBelowHalf},
      {"scaled 19 nines", detail::FromScaled(false, 0, kNineteenNines, 0), false, kNineteenNines},
      {"scaled 10^19", detail::FromScaled(false, 0, kNineteenNines + 1, 0), false, std::nullopt},
      {"double below 10^19", detail::FromDouble(std::nextafter(1e19, 0.0)), false,
       9'999'999'999'999'997'952ull},
      {"double 10^19", detail::FromDouble(1e19), false, std::nullopt},
      {"double -0.25", detail::FromDouble(-0.25), true, 0, Fraction::kBelowHalf},
      {"double -0", detail::FromDouble(-0.0), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.number.negative, c.negative);
    EXPECT_EQ(c.number.huge, !c.whole.has_value());
    if (c.whole) {
      EXPECT_EQ(c.number.whole, *c.whole);
      EXPECT_EQ(c.number.fraction, c.fraction);
    }
  }
}

TEST(ToText, IntegersTextEmptyAndNull) {
  const struct {
    const char* name;
    HostValue value;
    std::u16string expected;
  } cases[] = {
      {"I2", HostValue::I2(420), u"420"},
      {"negative I4", HostValue::I4(-7), u"-7"},
      {"min I4", HostValue::I4(std::numeric_limits<std::int32_t>::min()), u"-2147483648"},
      {"text", HostValue::Text(u" a b "), u" a b "},
      {"empty", HostValue::Empty(), u""},
      {"true", HostValue::Bool(true), u"True"},
      {"false", HostValue::Bool(false), u"False"},
      {"any truth but 0 is True", HostValue::Integer(Kind::kBool, 1), u"True"},
      {"R8", HostValue::R8(2.5), u"2.5"},
      {"currency", HostValue::Integer(Kind::kCurrency, 15000), u"1.5"},
      {"negative currency", HostValue::Integer(Kind::kCurrency, -15000), u"-1.5"},
      {"currency below one", HostValue::Integer(Kind::kCurrency, 5), u"0.0005"},
      {"single precision keeps 7 digits", HostValue::Real(Kind::kR4, 1234567.0), u"1234567"},
      {"and rounds the 8th", HostValue::Real(Kind::kR4, 16777216.0), u"1.677722E+07"},
      {"doubles keep 15 digits", HostValue::R8(123456789012345.0), u"123456789012345"},
      {"and round the 16th", HostValue::R8(1234567890123456.0), u"1.23456789012346E+15"},
      {"negative zero", HostValue::R8(-0.0), u"0"},
      {"negative R8", HostValue::R8(-2.5), u"-2.5"},
      {"R8 1", HostValue::R8(1), u"1"},
      {"exponent form", HostValue::R8(1e20), u"1E+20"},
      {"infinity", HostValue::R8(-std::numeric_limits<double>::infinity()), u"-INF"},
      {"date and time", HostValue::Real(Kind::kDate, 36526.75), u"1/1/2000 6:00:00 PM"},
      {"whole day: date alone", HostValue::Real(Kind::kDate, 2), u"1/1/1900"},
      {"within the first day: time alone", HostValue::Real(Kind::kDate, 0),
       u"12:00:00 AM"},
      {"a time within the first day", HostValue::Real(Kind::kDate, 0.25), u"6:00:00 AM"},
      {"before day 0 the fraction counts forward", HostValue::Real(Kind::kDate, -1.25),
       u"12/29/1899 6:00:00 AM"},
      {"half a second rounds up", HostValue::Real(Kind::kDate, 1 + 0.5 / 86400),
       u"12/31/1899 12:00:01 AM"},
      {"seconds below one half are dropped",
       HostValue::Real(Kind::kDate, 36526 + (12 * 3600 + 34 * 60 + 56.4) / 86400),
       u"1/1/2000 12:34:56 PM"},
      {"the last second of a day stays in it",
       HostValue::Real(Kind::kDate, 36526 + 86399.4 / 86400), u"1/1/2000 11:59:59 PM"},
      {"seconds above one half round up",
       HostValue::Real(Kind::kDate, 36526 + 86313.6 / 86400), u"1/1/2000 11:58:34 PM"},
      {"seconds round into the next minute", HostValue::Real(Kind::kDate, 1 + 119.6 / 86400),
       u"12/31/1899 12:02:00 AM"},
      {"seconds round into the next hour",
       HostValue::Real(Kind::kDate, 36526 + (12 * 3600 + 59 * 60 + 59.6) / 86400),
       u"1/1/2000 1:00:00 PM"},
      {"half a second short of midnight rounds into the next day",
       HostValue::Real(Kind::kDate, 2 - 0.49 / 86400), u"1/1/1900 12:00:00 AM"},
      {"last day of a 31-day month", HostValue::Real(Kind::kDate, 36556), u"1/31/2000"},
      {"leap day", HostValue::Real(Kind::kDate, 36585), u"2/29/2000"},
      {"the day after it", HostValue::Real(Kind::kDate, 36586), u"3/1/2000"},
      {"last day of a 30-day month", HostValue::Real(Kind::kDate, 36646), u"4/30/2000"},
      {"last day of a year", HostValue::Real(Kind::kDate, 36525), u"12/31/1999"},
      {"first of March", HostValue::Real(Kind::kDate, 33298), u"3/1/1991"},
      {"a hair before midnight", HostValue::Real(Kind::kDate, 2 - 1e-11),
       u"1/1/1900 12:00:00 AM"},
      {"first representable day", HostValue::Real(Kind::kDate, -657434), u"1/1/100"},
      {"last representable day", HostValue::Real(Kind::kDate, 2958465.5),
       u"12/31/9999 12:00:00 PM"},
      {"decimal keeps its scale's digits only", HostValue::Dec(Dec(12340, 3)), u"12.34"},
      {"decimal of 96 bits", HostValue::Dec(Dec(0, 0, false, 1)), u"18446744073709551616"},
      {"decimal with zero low bits", HostValue::Dec(Dec(42949672960, 0)), u"42949672960"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(c.value), c.expected);
  }
  EXPECT_THROW(ToText(HostValue::Null()), Failure);
  EXPECT_THROW(ToText(HostValue::Object(HostObject())), Failure);
  EXPECT_EQ(ToNullableText(HostValue::Null()), std::nullopt);
  for (const double beyond : {2958466.0, -657435.0}) {
    SCOPED_TRACE(beyond);
    try {
      ToText(HostValue::Real(Kind::kDate, beyond));
      ADD_FAILURE() << "a date beyond the years 100 to 9999 converted";
    } catch (const Failure& f) {
      EXPECT_EQ(f.Number(), 5);
    }
  }
}

TEST(Compare, NumericWithEmptyAsZeroAndNullFalse) {
  const struct {
    const char* name;
    HostValue value;
    std::int32_t constant;
    std::optional<int> expected;  // sign of the comparison; none for null
  } cases[] = {
      {"6 = 6", HostValue::I4(6), 6, 0},
      {"text 6 = 6", HostValue::Text(u"6"), 6, 0},
      {"text 6.0 = 6", HostValue::Text(u" 6.0 "), 6, 0},
      {"empty = 0", HostValue::Empty(), 0, 0},
      {"5.5 > 5", HostValue::R8(5.5), 5, 1},
      {"5.5 < 6", HostValue::R8(5.5), 6, -1},
      {"-0.5 < 0", HostValue::R8(-0.5), 0, -1},
      {"-1.5 > -2", HostValue::Text(u"-1.5"), -2, 1},
      {"-1 < 0", HostValue::I4(-1), 0, -1},
      {"-1 = -1", HostValue::I4(-1), -1, 0},
      {"true < 0", HostValue::Bool(true), 0, -1},
      {"huge > 1", HostValue::Text(u"1e40"), 1, 1},
      {"huge negative < 1", HostValue::Text(u"-1e40"), 1, -1},
      {"null", HostValue::Null(), 0, std::nullopt},
      {"text reads as a double", HostValue::Text(u"6.00000000000000001"), 6, 0},
      {"single precision", HostValue::Real(Kind::kR4, 16777216.0), 16777217, 0},
      {"infinity", HostValue::R8(std::numeric_limits<double>::infinity()), 6, 1},
      {"&H pattern", HostValue::Text(u"&HFFFFFFFF"), -1, 0},
      {"currency", HostValue::Integer(Kind::kCurrency, 60001), 6, 1},
      {"decimal", HostValue::Dec(Dec(599, 2)), 6, -1},
      {"decimal a tenth above", HostValue::Dec(Dec(61, 1)), 6, 1},
      {"-2 < 5", HostValue::I4(-2), 5, -1},
      {"1 > -2", HostValue::I4(1), -2, 1},
      {"currency -1.5 > -2", HostValue::Integer(Kind::kCurrency, -15000), -2, 1},
      {"currency 2.5 > 2", HostValue::Integer(Kind::kCurrency, 25000), 2, 1},
      {"currency -2.5 < -2", HostValue::Integer(Kind::kCurrency, -25000), -2, -1},
      {"currency 1 > -1", HostValue::Integer(Kind::kCurrency, 10000), -1, 1},
      {"currency -1 < 1", HostValue::Integer(Kind::kCurrency, -10000), 1, -1},
      {"decimal beyond 64 bits > 6", HostValue::Dec(Dec(0, 0, false, 1)), 6, 1},
      {"decimal beyond 64 bits, negative, < 6", HostValue::Dec(Dec(0, 0, true, 1)), 6, -1},
      {"I2 -1 < 0", HostValue::I2(-1), 0, -1},
      {"I2 7 > 6", HostValue::I2(7), 6, 1},
      {"empty > -1", HostValue::Empty(), -1, 1},
      {"empty < 1", HostValue::Empty(), 1, -1},
      {"I4 smallest < largest", HostValue::I4(std::numeric_limits<std::int32_t>::min()),
       std::numeric_limits<std::int32_t>::max(), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto order = CompareWith(c.value, c.constant);
    ASSERT_EQ(order.has_value(), c.expected.has_value());
    if (order) {
      EXPECT_EQ((*order > 0) - (*order < 0), *c.expected);
    }
  }
  EXPECT_FALSE(EqualsInt(HostValue::Null(), 0));
  EXPECT_FALSE(GreaterThanInt(HostValue::Null(), 0));
  for (const char16_t* text : {u"", u"abc", u"6x"}) {
    SCOPED_TRACE(Utf8(text));
    EXPECT_THROW(EqualsInt(HostValue::Text(text), 0), Failure);
  }
  // Beyond the double range a text overflows, as the platform's reading does.
  EXPECT_THROW(EqualsInt(HostValue::Text(u"1e400"), 0), Failure);
  EXPECT_THROW(EqualsInt(HostValue::R8(std::numeric_limits<double>::quiet_NaN()), 0), Failure);
}

// Stands in for the server's platform conversions and says which values reach it.
class RecordingConversions final : public PlatformConversions {
 public:
  std::int32_t ToInt32(const HostValue&) const override { return ++calls, kAnswer; }
  std::u16string ToText(const HostValue&) const override { return ++calls, u"platform"; }
  int CompareWith(const HostValue&, std::int32_t) const override { return ++calls, 0; }
  static constexpr std::int32_t kAnswer = 77;
  mutable int calls = 0;
};

class NoDescription final : public OpaqueValue {
 public:
  std::u16string Describe() const override { return {}; }
};

TEST(Convert, EveryWholeNumberKindReadsAsItsNumber) {
  const struct {
    Kind kind;
    std::int64_t held;
    std::u16string text;
  } cases[] = {
      {Kind::kI1, -5, u"-5"},
      {Kind::kI2, -300, u"-300"},
      {Kind::kI4, -70000, u"-70000"},
      {Kind::kI8, -5, u"-5"},
      {Kind::kInt, -5, u"-5"},
      {Kind::kUI1, 200, u"200"},
      {Kind::kUI2, 65535, u"65535"},
      {Kind::kUI4, 70000, u"70000"},
      {Kind::kUI8, 7, u"7"},
      {Kind::kUInt, 7, u"7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(KindName(c.kind)));
    const HostValue value = HostValue::Integer(c.kind, c.held);
    const auto held = static_cast<std::int32_t>(c.held);
    EXPECT_EQ(ToInt32(value), held);
    EXPECT_EQ(ToText(value), c.text);
    EXPECT_TRUE(EqualsInt(value, held));
    EXPECT_TRUE(GreaterThanInt(value, held - 1));
    EXPECT_FALSE(GreaterThanInt(value, held));
  }
  // The largest unsigned 64-bit value is held in the bits of -1.
  const HostValue largest = HostValue::Integer(Kind::kUI8, -1);
  EXPECT_EQ(ToText(largest), u"18446744073709551615");
  EXPECT_TRUE(GreaterThanInt(largest, std::numeric_limits<std::int32_t>::max()));
  // An error code holds an integer too, but it is no number.
  const HostValue error = HostValue::Integer(Kind::kError, 5);
  EXPECT_EQ(testing::FailureOf([&] { return ToInt32(error); }), kTypeMismatch);
  EXPECT_EQ(testing::FailureOf([&] { return ToText(error); }), kTypeMismatch);
  EXPECT_EQ(testing::FailureOf([&] { return EqualsInt(error, 5); }), kTypeMismatch);
}

TEST(PlatformConversions, TakeTheKindsTheCoreLeavesToThePlatformOnly) {
  RecordingConversions platform;
  const Conversions convert(platform);
  const HostValue left[] = {
      HostValue::Real(Kind::kDate, 1.5),
      HostValue::Integer(Kind::kCurrency, 15000),
      HostValue::Dec(Dec(25, 1)),
      HostValue::Opaque(static_cast<Kind>(static_cast<int>(Kind::kArray) |
                                          static_cast<int>(Kind::kUI1)),
                        std::make_shared<NoDescription>()),
  };
  for (const HostValue& value : left) {
    SCOPED_TRACE(Utf8(Describe(value)));
    EXPECT_EQ(convert.ToInt32(value), RecordingConversions::kAnswer);
    EXPECT_EQ(convert.ToText(value), u"platform");
    EXPECT_TRUE(convert.EqualsInt(value, 3));
  }
  EXPECT_EQ(platform.calls, 3 * static_cast<int>(std::size(left)));
  const HostValue kept[] = {HostValue::Text(u"12"), HostValue::I2(12), HostValue::R8(12),
                            HostValue::Bool(true), HostValue::Empty()};
  for (const HostValue& value : kept) {
    SCOPED_TRACE(Utf8(Describe(value)));
    convert.ToInt32(value);
    convert.ToText(value);
    convert.CompareWith(value, 0);
  }
  EXPECT_EQ(platform.calls, 3 * static_cast<int>(std::size(left)));
  // Without the platform's, a date follows the core's own rule (1.5 rounds to
  // even) and an array has no number.
  EXPECT_EQ(Conversions().ToInt32(left[0]), 2);
  EXPECT_THROW(Conversions().ToInt32(left[3]), Failure);
  EXPECT_EQ(platform.calls, 3 * static_cast<int>(std::size(left)));
}

TEST(TextOperations, TrimMidJoinAndNull) {
  EXPECT_EQ(Trim(u"  420  "), u"420");
  EXPECT_EQ(Trim(u"\t420\t"), u"\t420\t");  // spaces only
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(Mid(std::u16string(u"ABCDEF"), 3, 1), u"C");
  EXPECT_EQ(Mid(std::u16string(u"AB"), 3, 1), u"");
  EXPECT_EQ(Mid(std::u16string(u"AB"), 0, 1), u"");  // positions count from 1
  EXPECT_EQ(Mid(std::u16string(u"ABCDEF"), 4), u"DEF");
  EXPECT_EQ(Left(std::u16string(u"A"), 2), u"A");
  EXPECT_EQ(Mid(std::nullopt, 3, 1), std::nullopt);
  EXPECT_EQ(Join(std::u16string(u"AB"), std::nullopt), std::nullopt);
  EXPECT_EQ(Join(std::u16string(u"AB"), std::u16string(u"1")), u"AB1");
  EXPECT_TRUE(TextEquals(std::u16string(u"2"), u"2"));
  EXPECT_FALSE(TextEquals(std::u16string(u"2 "), u"2"));
  EXPECT_THROW(TextEquals(std::nullopt, u"2"), Failure);
}

TEST(Utf, RoundTripsChineseAndReplacesBrokenInput) {
  const std::u16string chinese = u"回收卡出错,出错代码为:";
  EXPECT_EQ(Utf16(Utf8(chinese)), chinese);
  // Each encoded length at its edges, both ways: trace and journal texts cross
  // here, and a wrong bit would garble them without failing.
  const struct {
    const char* utf8;
    std::u16string utf16;
  } exact[] = {
      {"A", u"A"},
      {"\x7f", u"\x7f"},
      {"\xc2\x80", u"\u0080"},
      {"\xc3\xa9", u"\u00e9"},
      {"\xdf\xbf", u"\u07ff"},
      {"\xe0\xa0\x80", u"\u0800"},
      {"\xed\x9f\xbf", u"\ud7ff"},
      {"\xee\x80\x80", u"\ue000"},
      {"\xef\xbf\xbd", u"\ufffd"},
      {"\xef\xbf\xbf", u"\uffff"},
      {"\xf0\x90\x80\x80", u"\U00010000"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xf1\x80\x80\x80", u"\U00040000"},
      {"\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
  };
  for (const auto& c : exact) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf16(c.utf8), c.utf16);
    EXPECT_EQ(Utf8(c.utf16), c.utf8);
  }
  EXPECT_EQ(Utf16(std::string(1, '\0')), std::u16string(1, u'\0'));
  // Broken input: every byte that starts no valid sequence becomes one U+FFFD.
  const struct {
    const char* name;
    const char* utf8;
    std::u16string utf16;
  } broken[] = {
      {"stray byte", "\xff", u"\xfffd"},
      {"continuation bytes alone", "\xbf\xbf", u"\xfffd\xfffd"},
      {"three continuation bytes", "\xbf\xbf\xbf", u"\xfffd\xfffd\xfffd"},
      {"four continuation bytes", "\x80\x90\x80\x80", u"\xfffd\xfffd\xfffd\xfffd"},
      {"no five-byte leads", "\xf8\x90\x80\x80", u"\xfffd\xfffd\xfffd\xfffd"},
      {"overlong two bytes", "\xc0\xaf", u"\xfffd\xfffd"},
      {"highest overlong two bytes", "\xc1\xbf", u"\xfffd\xfffd"},
      {"overlong three bytes", "\xe0\x9f\xbf", u"\xfffd\xfffd\xfffd"},
      {"highest overlong four bytes", "\xf0\x8f\xbf\xbf", u"\xfffd\xfffd\xfffd\xfffd"},
      {"encoded surrogate", "\xed\xa0\x80", u"\xfffd\xfffd\xfffd"},
      {"encoded last low surrogate", "\xed\xbf\xbf", u"\xfffd\xfffd\xfffd"},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", u"\xfffd\xfffd\xfffd\xfffd"},
      {"cut short", "\xe5\x90", u"\xfffd\xfffd"},
      {"continuation missing", "\xc3" "A", u"\xfffd" u"A"},
      {"lead byte where a continuation belongs", "\xc3\xc3", u"\xfffd\xfffd"},
  };
  for (const auto& c : broken) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16(c.utf8), c.utf16);
  }
  // Unpaired surrogates cannot be encoded: each becomes U+FFFD.
  const struct {
    const char* name;
    std::u16string_view utf16;
    const char* utf8;
  } unpaired[] = {
      {"high before a letter", u"\xd800" u"A", "\xef\xbf\xbd" "A"},
      {"two lows", u"\xdc00\xdc00", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"high before U+E000", u"A\xd800\xe000", "A\xef\xbf\xbd\xee\x80\x80"},
      {"high at the end", u"\xd83d", "\xef\xbf\xbd"},
      {"last low alone", u"\xdfff", "\xef\xbf\xbd"},
      {"U+D7FF before a low", u"\xd7ff\xdc00", "\xed\x9f\xbf\xef\xbf\xbd"},
      {"two highs", u"\xd800\xdbff", "\xef\xbf\xbd\xef\xbf\xbd"},
      // The view ends after the high surrogate: what follows in memory is not its pair.
      {"view ends after a high", std::u16string_view(u"\xd83d\xde00", 1), "\xef\xbf\xbd"},
  };
  for (const auto& c : unpaired) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(c.utf16), c.utf8);
  }
  // Digits are made in 64 bits down to 32, then in 32: both sides of the seam.
  const std::pair<std::int64_t, std::u16string_view> decimals[] = {
      {std::numeric_limits<std::int64_t>::min(), u"-9223372036854775808"},
      {std::numeric_limits<std::int64_t>::max(), u"9223372036854775807"},
      {4294967295, u"4294967295"},
      {4294967296, u"4294967296"},
      {-4294967296, u"-4294967296"},
      {10000000000, u"10000000000"},
      {0, u"0"},
  };
  for (const auto& [number, text] : decimals) EXPECT_EQ(DecimalText(number), text) << number;
}

}  // namespace
}  // namespace clasp
