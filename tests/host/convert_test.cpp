#include "host/convert.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <memory>
#include <optional>

#include "host/failure.h"
#include "host/text.h"

namespace clasp {
namespace {

struct Int32Case {
  const char* name;
  HostValue value;
  std::optional<std::int32_t> expected;  // no value: must fail
  std::int32_t failure = 0;
};

Decimal Dec(std::uint64_t low, std::uint8_t scale, bool negative = false) {
  Decimal d;
  d.low = low;
  d.scale = scale;
  d.negative = negative;
  return d;
}

TEST(ToInt32, FollowsTheHostRules) {
  const Int32Case cases[] = {
      {"text 12", HostValue::Text(u"12"), 12},
      {"text with blanks", HostValue::Text(u" 12 "), 12},
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
      {"text 1e3", HostValue::Text(u"1e3"), 1000},
      {"text 1E+3", HostValue::Text(u"1E+3"), 1000},
      {"text 25e-1", HostValue::Text(u"25e-1"), 2},
      {"text 1,000", HostValue::Text(u"1,000"), 1000},
      {"text .5", HostValue::Text(u".5"), 0},
      {"text 1.", HostValue::Text(u"1."), 1},
      {"text &HFF", HostValue::Text(u"&HFF"), 255},
      {"text &O17", HostValue::Text(u"&O17"), 15},
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
      {"currency 2.5", HostValue::Integer(Kind::kCurrency, 25000), 2},
      {"currency 3.5", HostValue::Integer(Kind::kCurrency, 35000), 4},
      {"currency -1.2345", HostValue::Integer(Kind::kCurrency, -12345), -1},
      {"decimal 2.5", HostValue::Dec(Dec(25, 1)), 2},
      {"decimal -3.50", HostValue::Dec(Dec(350, 2, true)), -4},
      {"date noon", HostValue::Real(Kind::kDate, 1.5), 2},
      {"infinity", HostValue::R8(std::numeric_limits<double>::infinity()), std::nullopt,
       kOverflow},
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
      {"-&H1", HostValue::Text(u"-&H1"), 1},
      {"&H after a dollar", HostValue::Text(u"$&H1"), std::nullopt, kTypeMismatch},
      {"&H with a point", HostValue::Text(u"&H1.5"), std::nullopt, kTypeMismatch},
      {"&H with a comma", HostValue::Text(u"&H1,F"), std::nullopt, kTypeMismatch},
      {"&O stops at 8", HostValue::Text(u"&O18"), std::nullopt, kTypeMismatch},
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
      {"R8", HostValue::R8(2.5), u"2.5"},
      {"currency", HostValue::Integer(Kind::kCurrency, 15000), u"1.5"},
      {"negative zero", HostValue::R8(-0.0), u"0"},
      {"exponent form", HostValue::R8(1e20), u"1E+20"},
      {"infinity", HostValue::R8(-std::numeric_limits<double>::infinity()), u"-INF"},
      {"date and time", HostValue::Real(Kind::kDate, 36526.75), u"1/1/2000 6:00:00 PM"},
      {"whole day: date alone", HostValue::Real(Kind::kDate, 2), u"1/1/1900"},
      {"within the first day: time alone", HostValue::Real(Kind::kDate, 0),
       u"12:00:00 AM"},
      {"before day 0 the fraction counts forward", HostValue::Real(Kind::kDate, -1.25),
       u"12/29/1899 6:00:00 AM"},
      {"half a second short of midnight rounds into the next day",
       HostValue::Real(Kind::kDate, 2 - 0.49 / 86400), u"1/1/1900 12:00:00 AM"},
      {"first representable day", HostValue::Real(Kind::kDate, -657434), u"1/1/100"},
      {"last representable day", HostValue::Real(Kind::kDate, 2958465.5),
       u"12/31/9999 12:00:00 PM"},
      {"decimal keeps its scale's digits only", HostValue::Dec(Dec(12340, 3)), u"12.34"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(c.value), c.expected);
  }
  EXPECT_THROW(ToText(HostValue::Null()), Failure);
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

TEST(PlatformConversions, TakeTheKindsTheCoreLeavesToThePlatformOnly) {
  RecordingConversions platform;
  std::optional<ScopedPlatformConversions> installed(std::in_place, &platform);
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
    EXPECT_EQ(ToInt32(value), RecordingConversions::kAnswer);
    EXPECT_EQ(ToText(value), u"platform");
    EXPECT_TRUE(EqualsInt(value, 3));
  }
  EXPECT_EQ(platform.calls, 3 * static_cast<int>(std::size(left)));
  const HostValue kept[] = {HostValue::Text(u"12"), HostValue::I2(12), HostValue::R8(12),
                            HostValue::Bool(true), HostValue::Empty()};
  for (const HostValue& value : kept) {
    SCOPED_TRACE(Utf8(Describe(value)));
    ToInt32(value);
    ToText(value);
    CompareWith(value, 0);
  }
  EXPECT_EQ(platform.calls, 3 * static_cast<int>(std::size(left)));
  installed.reset();
  // Without the platform an array has no number.
  EXPECT_THROW(ToInt32(left[3]), Failure);
}

TEST(PlatformConversions, AScopePutsBackWhatItFound) {
  RecordingConversions outer;
  RecordingConversions inner;
  const HostValue date = HostValue::Real(Kind::kDate, 1.5);
  {
    const ScopedPlatformConversions outer_scope(&outer);
    {
      const ScopedPlatformConversions inner_scope(&inner);
      ToInt32(date);
    }
    ToInt32(date);
    ToInt32(date);
  }
  EXPECT_EQ(inner.calls, 1);
  EXPECT_EQ(outer.calls, 2);
  EXPECT_EQ(ToInt32(date), 2);  // the core's own rule again: 1.5 rounds to even
  EXPECT_EQ(outer.calls, 2);
}

TEST(TextOperations, TrimMidJoinAndNull) {
  EXPECT_EQ(Trim(u"  420  "), u"420");
  EXPECT_EQ(Trim(u"\t420\t"), u"\t420\t");  // spaces only
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(Mid(std::u16string(u"ABCDEF"), 3, 1), u"C");
  EXPECT_EQ(Mid(std::u16string(u"AB"), 3, 1), u"");
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
  EXPECT_EQ(Utf16("\xff"), u"\xfffd");
  EXPECT_EQ(DecimalText(std::numeric_limits<std::int64_t>::min()), u"-9223372036854775808");
}

}  // namespace
}  // namespace clasp
