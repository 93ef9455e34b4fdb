// The standard failures and how exceptions that are not failures are read.
#include "host/failure.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <set>
#include <stdexcept>
#include <string>

#include "host/encoding.h"

namespace clasp {
namespace {

TEST(KnownFailures, EachNumberOnceAndDescribed) {
  std::set<std::int32_t> numbers;
  for (const KnownFailure& known : kKnownFailures) {
    SCOPED_TRACE(known.number);
    EXPECT_TRUE(numbers.insert(known.number).second) << "described twice";
    EXPECT_FALSE(known.description.empty());
    EXPECT_EQ(DescriptionOf(known.number), known.description);
    // Made once and shared, so that raising a known failure needs no memory.
    EXPECT_EQ(Failure::Standard(known.number).what(), Failure::Standard(known.number).what());
  }
  for (const std::int32_t unknown : {0, -1, 1234, kWrongArgumentCount + 1}) {
    SCOPED_TRACE(unknown);
    EXPECT_TRUE(DescriptionOf(unknown).empty());
    const Failure failure = Failure::Standard(unknown);
    EXPECT_EQ(failure.Number(), unknown);
    EXPECT_TRUE(failure.Description().empty());
  }
}

TEST(KnownFailures, ShorthandsRaiseTheirOwnNumber) {
  const struct {
    const char* name;
    std::function<Failure()> make;
    std::int32_t number;
  } rows[] = {
      {"invalid argument", InvalidArgumentFailure, kInvalidArgument},
      {"overflow", OverflowFailure, kOverflow},
      {"type mismatch", TypeMismatchFailure, kTypeMismatch},
      {"object not set", ObjectNotSetFailure, kObjectNotSet},
      {"invalid use of null", InvalidUseOfNullFailure, kInvalidUseOfNull},
      {"member missing", MemberMissingFailure, kMemberMissing},
      {"wrong argument count", WrongArgumentCountFailure, kWrongArgumentCount},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Failure failure = row.make();
    EXPECT_EQ(failure.Number(), row.number);
    EXPECT_EQ(failure.Description(), DescriptionOf(row.number));
  }
}

TEST(CurrentFailure, ReadsWhatIsInFlight) {
  const struct {
    const char* name;
    std::function<void()> raise;
    std::int32_t number;
    std::u16string description;
  } rows[] = {
      {"a failure as raised", [] { throw Failure(1234, u"offline"); }, 1234, u"offline"},
      {"out of memory", [] { throw std::bad_alloc(); }, kOutOfMemory, u"Out of memory"},
      {"another exception keeps its text", [] { throw std::runtime_error("bad \xe5\x8d\xa1"); },
       kInternalError, u"bad \u5361"},
      {"anything else", [] { throw 42; }, kInternalError, u"Internal error"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      row.raise();
      FAIL() << "nothing raised";
    } catch (...) {
      const Failure failure = CurrentFailure();
      EXPECT_EQ(failure.Number(), row.number);
      EXPECT_EQ(failure.Description(), row.description);
      EXPECT_EQ(std::string(failure.what()),
                std::to_string(row.number) + " " + Utf8(row.description));
    }
  }
}

}  // namespace
}  // namespace clasp
