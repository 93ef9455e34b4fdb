// Text operations beyond the conversions.
#include "host/text.h"

#include <gtest/gtest.h>

#include <string_view>

namespace clasp {
namespace {

TEST(SameIgnoringCase, OnlyAsciiLettersFoldTheirCase) {
  const struct {
    const char* name;
    std::string_view left;
    std::u16string_view right;
    bool same;
  } rows[] = {
      {"exact", "CardReaderRetain", u"CardReaderRetain", true},
      {"other case", "CardReaderRetain", u"cARDREADERrETAIN", true},
      {"empty", "", u"", true},
      {"longer", "isjrn", u"isjrnx", false},
      {"shorter", "isjrn", u"isjr", false},
      {"one letter apart", "DisapleVal01", u"DisapleVal02", false},
      // Folding by setting bit 5 would wrongly pair these.
      {"@ is not `", "@", u"`", false},
      {"[ is not {", "[", u"{", false},
      // A wide character whose low byte is a letter is not that letter.
      {"no truncation", "a", u"\u0161", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SameIgnoringCase(row.left, row.right), row.same);
    EXPECT_EQ(SameIgnoringCase(row.right, row.left), row.same);
  }
}

}  // namespace
}  // namespace clasp
