// Objects as host answers: every conversion reads the default member once and
// converts what it answers; the platform's numbers when there is none.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"
#include "support/failure_of.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using testing::AccessLog;
using testing::RecordingHost;
using testing::TextOrFailure;

// A comparison's outcome as rows spell it: "<", "=", ">" or "null".
std::string OrderText(std::optional<int> order) {
  if (!order) return "null";
  return *order < 0 ? "<" : (*order > 0 ? ">" : "=");
}

struct ObjectCase {
  const char* name;
  // What the default member answers; no value: the object sets it up below.
  std::optional<HostValue> answer;
  std::optional<Failure> raises;
  std::string to_int32;
  std::string to_text;
  std::string compare_with_0;
  std::string nullable_text;
};

TEST(DefaultMember, ObjectsConvertAsWhatTheirDefaultMemberAnswers) {
  const Failure boom(1234, u"boom");
  const ObjectCase cases[] = {
      {"I4 7", HostValue::I4(7), {}, "7", "\"7\"", ">", "\"7\""},
      {"I2 -3", HostValue::I2(-3), {}, "-3", "\"-3\"", "<", "\"-3\""},
      {"retained code", HostValue::I4(10120011), {}, "10120011", "\"10120011\"", ">",
       "\"10120011\""},
      {"text 2.5 rounds to even", HostValue::Text(u"2.5"), {}, "2", "\"2.5\"", ">", "\"2.5\""},
      {"text 0", HostValue::Text(u"0"), {}, "0", "\"0\"", "=", "\"0\""},
      {"text not a number", HostValue::Text(u"abc"), {}, "fails 13", "\"abc\"", "fails 13",
       "\"abc\""},
      {"empty text", HostValue::Text(u""), {}, "fails 13", "\"\"", "fails 13", "\"\""},
      {"empty", HostValue::Empty(), {}, "0", "\"\"", "=", "\"\""},
      {"null", HostValue::Null(), {}, "fails 13", "fails 94", "null", "null"},
      {"true", HostValue::Bool(true), {}, "-1", "\"True\"", "<", "\"True\""},
      {"R8 3.5", HostValue::R8(3.5), {}, "4", "\"3.5\"", ">", "\"3.5\""},
      {"beyond 32 bits", HostValue::R8(4294967296.0), {}, "fails 6", "\"4294967296\"", ">",
       "\"4294967296\""},
      // The platform keeps nothing of the member's own failure.
      {"default member raises", {}, boom, "fails 13", "fails 13", "fails 13", "fails 13"},
      {"no default member", {}, {}, "fails 13", "fails 13", "fails 13", "fails 13"},
  };
  for (const ObjectCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto log = std::make_shared<AccessLog>();
    const Ref<RecordingHost> answer = RecordingHost::Create("Answer", log);
    if (c.answer) answer->Returns(std::u16string(RecordingHost::kDefaultMember), *c.answer);
    if (c.raises) answer->Raises(std::u16string(RecordingHost::kDefaultMember), *c.raises);
    const HostValue value = HostValue::Object(answer->Object());

    EXPECT_EQ(TextOrFailure([&] { return std::to_string(ToInt32(value)); }), c.to_int32);
    EXPECT_EQ(TextOrFailure([&] { return "\"" + Utf8(ToText(value)) + "\""; }), c.to_text);
    EXPECT_EQ(TextOrFailure([&] { return OrderText(CompareWith(value, 0)); }), c.compare_with_0);
    EXPECT_EQ(TextOrFailure([&] {
                const NullableText text = ToNullableText(value);
                return text ? "\"" + Utf8(*text) + "\"" : std::string("null");
              }),
              c.nullable_text);
    // Read once per conversion, never more, never skipped.
    EXPECT_EQ(log->Lines().size(), 4u);
  }
}

TEST(DefaultMember, TestsOnAnObjectFollowTheValueItStandsFor) {
  auto log = std::make_shared<AccessLog>();
  const Ref<RecordingHost> six = RecordingHost::Create("Six", log);
  six->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::Text(u"6"));
  const Ref<RecordingHost> null = RecordingHost::Create("Null", log);
  null->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::Null());

  EXPECT_TRUE(EqualsInt(HostValue::Object(six->Object()), 6));
  EXPECT_FALSE(GreaterThanInt(HostValue::Object(six->Object()), 6));
  EXPECT_TRUE(GreaterThanInt(HostValue::Object(six->Object()), 5));
  // Null makes the test false, as it does for a plain null answer.
  EXPECT_FALSE(EqualsInt(HostValue::Object(null->Object()), 0));
  EXPECT_EQ(log->Lines(), (std::vector<std::string>{
                              "Six.[default] -> Text \"6\"",
                              "Six.[default] -> Text \"6\"",
                              "Six.[default] -> Text \"6\"",
                              "Null.[default] -> Null",
                          }));
}

TEST(DefaultMember, ObjectsAnsweringObjectsAreFollowedToAValue) {
  auto log = std::make_shared<AccessLog>();
  const Ref<RecordingHost> inner = RecordingHost::Create("Inner", log);
  inner->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::I4(42));
  const Ref<RecordingHost> outer = RecordingHost::Create("Outer", log);
  outer->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::Object(inner->Object()));

  EXPECT_EQ(ToInt32(HostValue::Object(outer->Object())), 42);
  EXPECT_EQ(log->Lines(), (std::vector<std::string>{"Outer.[default] -> Object",
                                                    "Inner.[default] -> I4 42"}));
}

// A chain of objects is followed sixteen deep; one object more ends in the type
// mismatch of an object that answers itself, after as many reads.
TEST(DefaultMember, ChainsAreFollowedSixteenObjectsDeep) {
  constexpr int kDeepest = 16;
  for (const int depth : {kDeepest, kDeepest + 1}) {
    SCOPED_TRACE(depth);
    auto log = std::make_shared<AccessLog>();
    std::vector<Ref<RecordingHost>> chain;
    HostValue answer = HostValue::I4(42);
    for (int k = 0; k < depth; ++k) {
      chain.push_back(RecordingHost::Create("Link" + std::to_string(k), log));
      chain.back()->Returns(std::u16string(RecordingHost::kDefaultMember), answer);
      answer = HostValue::Object(chain.back()->Object());
    }
    EXPECT_EQ(TextOrFailure([&] { return std::to_string(ToInt32(answer)); }),
              depth == kDeepest ? "42" : "fails 13");
    EXPECT_EQ(log->Lines().size(), static_cast<std::size_t>(kDeepest));
  }
}

TEST(DefaultMember, AnObjectAnsweringItselfEndsInATypeMismatch) {
  auto log = std::make_shared<AccessLog>();
  const Ref<RecordingHost> loop = RecordingHost::Create("Loop", log);
  loop->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::Object(loop->Object()));
  try {
    ToInt32(HostValue::Object(loop->Object()));
    ADD_FAILURE() << "converted an object that only ever answers itself";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), kTypeMismatch);
  }
  // Bounded: a few reads, then the type mismatch, not a stack overflow.
  EXPECT_GT(log->Lines().size(), 1u);
  EXPECT_LT(log->Lines().size(), 100u);
  // The answer holds a count on the object itself; break the cycle.
  loop->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::Empty());
}

TEST(DefaultMember, AnEmptyObjectReferenceFailsAsAnUnsupportedKind) {
  const HostValue nothing = HostValue::Object(HostObject());
  for (const auto& convert : std::vector<std::function<void()>>{
           [&] { ToInt32(nothing); },
           [&] { ToText(nothing); },
           [&] { ToNullableText(nothing); },
           [&] { CompareWith(nothing, 0); },
       }) {
    try {
      convert();
      ADD_FAILURE() << "an empty reference converted";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kUnsupportedType);
      EXPECT_EQ(failure.Description(), UnsupportedTypeFailure().Description());
    }
  }
}

TEST(DefaultMember, ReadingItOnAnEmptyReferenceFailsAsNotSet) {
  try {
    HostObject().DefaultValue();
    ADD_FAILURE() << "read a default member through an empty reference";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Number(), kObjectNotSet);
  }
}

// A host with members but no default member: what HostDispatch gives it.
TEST(DefaultMember, AHostThatOffersNoneHasNoneAndDoesNotConvert) {
  const Ref<RecordingHost> host = RecordingHost::Create("Plain");
  host->AnswersFrom([](std::u16string_view, std::span<const HostValue>, bool) {
    return HostValue::I4(1);
  });
  const HostObject plain = host->Object();
  EXPECT_EQ(TextOrFailure([&] { return Describe(plain.DefaultValue()), std::string("read"); }),
            "fails " + std::to_string(kMemberMissing));
  const HostValue answer = HostValue::Object(plain);
  EXPECT_EQ(TextOrFailure([&] { return std::to_string(ToInt32(answer)); }),
            "fails " + std::to_string(kTypeMismatch));
}

}  // namespace
}  // namespace clasp
