#include "host/host_object.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "host/convert.h"
#include "host/failure.h"
#include "host/host_value.h"
#include "host/text.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using testing::AccessLog;
using testing::RecordingHost;

// A payload for kinds the core carries without reading.
class Unread final : public OpaqueValue {
 public:
  std::u16string Describe() const override { return u""; }
};

TEST(HostObject, EmptyReferenceFailsAsNotSet) {
  const HostObject empty;
  try {
    empty.Invoke(u"Anything");
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.Number(), kObjectNotSet);
    EXPECT_EQ(f.Description(), u"Object variable or With block variable not set");
  }
  EXPECT_THROW(empty.Put(u"Anything", HostValue::I2(1)), Failure);
}

TEST(HostObject, MemberFailuresKeepTheirNumberAndDescription) {
  auto log = std::make_shared<AccessLog>();
  auto host = RecordingHost::Create("Host", log);
  host->Lacks(u"Gone").Raises(u"Boom", Failure(1234, u"boom"));
  const HostObject object = host->Object();
  try {
    object.Invoke(u"Gone");
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.Number(), kMemberMissing);
  }
  try {
    object.Put(u"Boom", HostValue::Empty());
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.Number(), 1234);
    EXPECT_EQ(f.Description(), u"boom");
  }
  EXPECT_EQ(log->Lines(), (std::vector<std::string>{
                              "Host.Gone() !! 438 Object doesn't support this property or method",
                              "Host.Boom = Empty !! 1234 boom"}));
}

// The handed-back road must carry exactly what the raising road raises, and
// make the one access the host sees either way.
TEST(HostObject, TryInvokeHandsBackWhatInvokeRaises) {
  const struct {
    const char* name;
    bool set;
    const char16_t* member;
    std::optional<std::int32_t> number;  // none: the member answers 5
    std::u16string description;
  } rows[] = {
      {"answers", true, u"Fine", std::nullopt, u""},
      {"raises", true, u"Boom", 1234, u"boom"},
      {"missing", true, u"Gone", kMemberMissing, u"Object doesn't support this property or method"},
      {"reference not set", false, u"Fine", kObjectNotSet,
       u"Object variable or With block variable not set"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto log = std::make_shared<AccessLog>();
    auto host = RecordingHost::Create("Host", log);
    host->Returns(u"Fine", HostValue::I4(5)).Lacks(u"Gone").Raises(u"Boom", Failure(1234, u"boom"));
    const HostObject object = row.set ? host->Object() : HostObject();
    Outcome<HostValue> outcome = object.TryInvoke(row.member);
    ASSERT_EQ(outcome.Failed(), row.number.has_value());
    if (row.number) {
      EXPECT_EQ(outcome.GetFailure().Number(), *row.number);
      EXPECT_EQ(outcome.GetFailure().Description(), row.description);
      EXPECT_THROW(std::move(outcome).ValueOrRaise(), Failure);
    } else {
      EXPECT_EQ(outcome.Value(), HostValue::I4(5));
    }
    EXPECT_EQ(log->Lines().size(), row.set ? 1u : 0u);
  }
}

TEST(HostObject, ArgumentsArePositionalAndTextByReferenceIsShared) {
  auto log = std::make_shared<AccessLog>();
  auto host = RecordingHost::Create("Host", log);
  host->Calls(u"Change", [](std::span<const HostValue> args) {
    args[1].RefTarget() = u"changed";
    return HostValue::I4(static_cast<std::int32_t>(args.size()));
  });
  std::u16string variable = u"original";
  const HostValue answer = host->Object().Invoke(u"Change", HostValue::I2(1),
                                                 HostValue::TextRef(variable));
  EXPECT_EQ(variable, u"changed");
  EXPECT_EQ(answer, HostValue::I4(2));
  EXPECT_EQ(log->Lines().front(), "Host.Change(I2 1, &Text \"original\") -> I4 2");
}

TEST(HostObject, CopiesMovesAndResetsCountExactly) {
  auto log = std::make_shared<AccessLog>();
  auto host = RecordingHost::Create("Host", log);
  ASSERT_EQ(host->RefCount(), 1u);
  {
    HostObject a = host->Object();
    EXPECT_EQ(host->RefCount(), 2u);
    HostObject b = a;
    EXPECT_EQ(host->RefCount(), 3u);
    HostObject c = std::move(b);
    EXPECT_EQ(host->RefCount(), 3u);
    c = a;  // same object: no net change
    EXPECT_EQ(host->RefCount(), 3u);
    a.Reset();
    EXPECT_EQ(host->RefCount(), 2u);
    const HostValue held = HostValue::Object(c);
    EXPECT_EQ(host->RefCount(), 3u);
  }
  EXPECT_EQ(host->RefCount(), 1u);
}

TEST(HostObject, HostDroppingItsLastReferenceMidCallSurvivesTheCall) {
  auto log = std::make_shared<AccessLog>();
  auto host = RecordingHost::Create("Host", log);
  auto* raw = host.Get();
  HostObject only = host->Object();
  host.Reset();  // `only` holds the last count
  raw->Calls(u"DropMe", [&only](std::span<const HostValue>) {
    only.Reset();
    return HostValue::I4(1);
  });
  EXPECT_EQ(only.Invoke(u"DropMe"), HostValue::I4(1));
  EXPECT_FALSE(only);
}

}  // namespace
}  // namespace clasp

namespace clasp {
namespace {

TEST(HostValue, ACopyOfTextByReferenceIsTheTextAtThatMoment) {
  static_assert(!std::is_copy_constructible_v<TextRef>);
  std::u16string variable = u"before";
  std::optional<HostValue> kept;
  {
    const HostValue argument = TextRef(variable);
    ASSERT_TRUE(argument.IsByRef());
    kept = argument;
    HostValue assigned;
    assigned = argument;
    EXPECT_FALSE(assigned.IsByRef());
    EXPECT_EQ(assigned, HostValue::Text(u"before"));
  }
  // The copy is kept past the call; it must not reach the variable any more.
  variable = u"after, and long enough to move the text elsewhere";
  EXPECT_FALSE(kept->IsByRef());
  EXPECT_EQ(kept->AsText(), u"before");
}

// The binding's storage is let go once, by whichever value holds it last, and
// read as it is at each look; a copy is the core's own text.
TEST(HostValue, HeldTextIsReleasedOnceAndCopiesOwnTheirText) {
  static int released = 0;
  static std::u16string storage;
  // A binding's payload over storage of its own.
  class Stored final : public TextPayload {
   public:
    explicit Stored(std::u16string* at) noexcept : at_(at) {}
    ~Stored() override { released += at_ ? 1 : 0; }
    std::u16string_view Text() const noexcept override { return at_ ? std::u16string_view(*at_) : std::u16string_view(); }
    TextPayload* MoveTo(void* room) noexcept override {
      TextPayload* moved = new (room) Stored(std::exchange(at_, nullptr));
      this->~Stored();
      return moved;
    }

   private:
    std::u16string* at_;
  };
  const auto held = [&] {
    storage = u"OEX0123456789";
    return HostValue::Held<Stored>(&storage);
  };
  released = 0;
  std::optional<HostValue> copy;
  {
    HostValue moved = held();
    copy = moved;
    HostValue last = HostValue::Held<Stored>(nullptr);
    last = std::move(moved);
    EXPECT_EQ(last.AsText(), u"OEX0123456789");
    EXPECT_NE(last.AsHeld()->As<Stored>(), nullptr);
    // A callee it was lent to shortened it in place: read as it is now.
    storage.resize(3);
    EXPECT_EQ(last.AsText(), u"OEX");
    storage = u"OEX0123456789";
    EXPECT_EQ(released, 0);
  }
  EXPECT_EQ(released, 1);
  storage = u"overwritten";
  EXPECT_EQ(copy->AsText(), u"OEX0123456789");
  EXPECT_EQ(copy->AsHeld(), nullptr);
}

TEST(HostValue, AKindThatDisagreesWithItsPayloadIsRefusedWhereMade) {
  struct Row {
    const char* name;
    std::function<HostValue()> make;
  };
  const auto opaque = std::make_shared<const Unread>();
  const Row rows[] = {
      {"Integer as text", [] { return HostValue::Integer(Kind::kText, 1); }},
      {"Integer as object", [] { return HostValue::Integer(Kind::kObject, 1); }},
      {"Integer as R8", [] { return HostValue::Integer(Kind::kR8, 1); }},
      {"Integer as empty", [] { return HostValue::Integer(Kind::kEmpty, 1); }},
      {"Real as I4", [] { return HostValue::Real(Kind::kI4, 1.5); }},
      {"Real as decimal", [] { return HostValue::Real(Kind::kDecimal, 1.5); }},
      {"Opaque as text", [&] { return HostValue::Opaque(Kind::kText, opaque); }},
      {"Opaque as I2", [&] { return HostValue::Opaque(Kind::kI2, opaque); }},
      {"Opaque as date", [&] { return HostValue::Opaque(Kind::kDate, opaque); }},
      {"Opaque without payload", [] { return HostValue::Opaque(Kind::kUnknown, nullptr); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      row.make();
      ADD_FAILURE() << "made";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Number(), kInternalError);
    }
  }
  // The kinds each maker is for still work.
  EXPECT_EQ(ToInt32(HostValue::Integer(Kind::kUI1, 200)), 200);
  EXPECT_EQ(ToInt32(HostValue::Real(Kind::kDate, 2.0)), 2);
  EXPECT_TRUE(HostValue::Opaque(static_cast<Kind>(0x2011), opaque).HasOpaque());
}

// Whole-sequence expectations compare values with ==: a loose equality would
// let a wrong kind or a copied text pass for the right one.
TEST(HostValue, EqualValuesHaveTheSameKindFormAndContent) {
  std::u16string variable = u"5";
  std::u16string other = u"6";
  const struct {
    const char* name;
    HostValue a, b;
    bool equal;
  } cases[] = {
      {"same kind and value", HostValue::I4(5), HostValue::I4(5), true},
      {"I2 and I4", HostValue::I2(5), HostValue::I4(5), false},
      {"I4 and I2", HostValue::I4(5), HostValue::I2(5), false},
      {"different value", HostValue::I4(5), HostValue::I4(6), false},
      {"same truth, a kind past text", HostValue::Bool(true), HostValue::Bool(true), true},
      {"text and the same text by reference", HostValue::Text(u"5"), HostValue::TextRef(variable),
       false},
      {"text by reference and the same text", HostValue::TextRef(variable), HostValue::Text(u"5"),
       false},
      {"two references to one text", HostValue::TextRef(variable), HostValue::TextRef(variable),
       true},
      {"references to different texts", HostValue::TextRef(variable), HostValue::TextRef(other),
       false},
      {"references to different texts, the greater first", HostValue::TextRef(other),
       HostValue::TextRef(variable), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a == c.b, c.equal);
  }
}

// Transcripts show values by Describe: signs, kinds and scales as they are.
TEST(HostValue, DescribeShowsKindSignAndScale) {
  const struct {
    HostValue value;
    std::u16string text;
  } cases[] = {
      {HostValue::Integer(Kind::kI8, -5), u"I8 -5"},
      {HostValue::Integer(Kind::kInt, -5), u"Int -5"},
      {HostValue::Integer(Kind::kI1, -5), u"I1 -5"},
      {HostValue::Integer(Kind::kUI4, 4294967295LL), u"UI4 4294967295"},
      {HostValue::Integer(Kind::kUI8, -1), u"UI8 18446744073709551615"},
      {HostValue::Integer(Kind::kCurrency, 0), u"Currency 0.0000"},
      {HostValue::Integer(Kind::kBool, 1), u"Bool True"},
      {HostValue::Integer(Kind::kCurrency, -15000), u"Currency -1.5000"},
      {HostValue::Dec(Decimal{0, false, 0, 5}), u"Decimal 5"},
      {HostValue::Dec(Decimal{1, true, 0, 25}), u"Decimal -2.5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.text));
    EXPECT_EQ(Describe(c.value), c.text);
  }
}

}  // namespace
}  // namespace clasp
