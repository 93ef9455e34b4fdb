// Every instance the registered server makes converts host answers with the
// platform's own rules: the module hands them to each instance it makes, and
// this program, whose copy of the core is not the module's, hands it nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server.h"

namespace clasp::testing {
namespace {

// A byte array is text to the platform (its bytes taken two to a character)
// and a type mismatch to the core's own rules, which would send Cols down the
// failure path. The screen number read back shows which of the two read it.
struct ByteAnswerRow {
  const char* name;
  std::vector<BYTE> bytes;
  const char* first_trace;
};

TEST(ServerConversions, ByteArrayAnswerReadsAsThePlatformReadsIt) {
  const ByteAnswerRow rows[] = {
      {"the text 421", {'4', 0, '2', 0, '1', 0}, "Disp421: 0"},
      {"padded text, trimmed", {' ', 0, '7', 0, ' ', 0}, "Disp7: 0"},
      {"an odd byte count: the last byte makes no character", {'9', 0, '5'}, "Disp9: 0"},
      {"no bytes", {}, "Disp: 0"},
  };
  for (const ByteAnswerRow& row : rows) {
    SCOPED_TRACE(row.name);
    const ComPtr<IDispatch> component = CreateByProgId();
    ASSERT_TRUE(component);
    ComHostSet hosts;
    hosts.disp->Returns(L"ScreenNo", MakeBytes(row.bytes).Get());
    hosts.mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get());
    hosts.AssignTo(component.Get());
    EXPECT_EQ(RunCols(component.Get()), kRetained);
    const std::vector<std::string> lines = TraceLines(*hosts.log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), row.first_trace);
  }
}

}  // namespace
}  // namespace clasp::testing
