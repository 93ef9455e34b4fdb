// Inputs the fuzz targets found, kept so the faults stay fixed.
#include <gtest/gtest.h>

#include <limits>

#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"
#include "support/failure_of.h"

namespace clasp {
namespace {

using testing::FailureOf;

// An exponent that sums to the 32-bit maximum, then trailing zeros: counting
// those zeros into the 32-bit sum overflowed it (undefined behaviour, and in
// practice a wrap that made the number tiny and read it as 0).
TEST(Regression, TrailingZerosAfterTheLargestExponentStayHuge) {
  for (const char16_t* text : {u"10e2147483647", u"1000e2147483647", u"10.0e2147483647"}) {
    SCOPED_TRACE(Utf8(text));
    const HostValue value = HostValue::Text(text);
    EXPECT_EQ(FailureOf([&] { ToInt32(value); }), kOverflow);
    EXPECT_EQ(FailureOf([&] { CompareWith(value, 0); }), kOverflow);
  }
}

// A NaN single compared equal to every constant, so a host answering one made
// every test of the exchange pass; it overflows, as a NaN double does.
TEST(Regression, NanOverflowsInComparisonsOfEveryPrecision) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const HostValue& value : {HostValue::Real(Kind::kR4, nan), HostValue::R8(nan)}) {
    SCOPED_TRACE(Utf8(Describe(value)));
    EXPECT_EQ(FailureOf([&] { CompareWith(value, 0); }), kOverflow);
    EXPECT_EQ(FailureOf([&] { EqualsInt(value, 6); }), kOverflow);
    EXPECT_EQ(FailureOf([&] { ToInt32(value); }), kOverflow);
  }
}

}  // namespace
}  // namespace clasp
