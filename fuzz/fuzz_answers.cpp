#include "fuzz_answers.h"

#include <memory>

#include "host/convert.h"

namespace clasp::fuzz {
namespace {

// Text a host might answer: status strings, numbers, blanks, the Chinese prompts.
constexpr std::u16string_view kAnswerAlphabet = u"0123456789 2,.-+eE&HAB\u541e\u5361";
constexpr std::size_t kMaxAnswerText = 12;
constexpr std::size_t kMaxDescription = 8;
constexpr int kMaxSideEffects = 4;

enum Action : std::uint8_t {
  kZero, kRetainedCode, kAnyI4, kAnyI2, kText, kEmpty, kNull, kAnyR8, kBool, kObject,
  kOtherKind,
  // not answers
  kRaise, kMissing, kDropComponent, kEmptyReference, kRewriteByRef, kActions
};

class Payload final : public OpaqueValue {
 public:
  explicit Payload(Session& session) : session_(session) { ++session_.live_payloads; }
  ~Payload() override { --session_.live_payloads; }
  std::u16string Describe() const override { return u"{payload}"; }

 private:
  Session& session_;
};

void EmptyReference(Holdfast& component, std::uint8_t which) {
  switch (which % 5) {
    case 0: component.StepDisp(HostObject()); break;
    case 1: component.StepMks(HostObject()); break;
    case 2: component.StepRunModul(HostObject()); break;
    case 3: component.StepTrac(HostObject()); break;
    default: component.StepJour(HostObject()); break;
  }
}

// The answers of one host. Every copy counts itself live in the session, so a
// host that outlives everyone who held it leaves its count behind.
class Answers {
 public:
  explicit Answers(Session& session) : session_(&session) { ++session_->live_hosts; }
  Answers(const Answers& other) : session_(other.session_) { ++session_->live_hosts; }
  Answers& operator=(const Answers&) = delete;
  ~Answers() { --session_->live_hosts; }

  HostValue operator()(std::u16string_view member, std::span<const HostValue> args, bool put) {
    HostValue answer = Act(member, args);
    if (put) return answer;
    Session& s = *session_;
    s.last.answer_converts = true;
    try {
      ToInt32(answer);
    } catch (const Failure&) {
      s.last.answer_converts = false;
    }
    if (member == u"CardReaderRetain") {
      s.reader_called = true;
      s.reader_code.reset();
      if (s.last.answer_converts) s.reader_code = ToInt32(answer);
    }
    return answer;
  }

 private:
  // Runs the side effects the input asks for, then answers or raises.
  HostValue Act(std::u16string_view member, std::span<const HostValue> args);
  HostValue Answer(std::uint8_t choice);

  Session* session_;
};

HostValue Answers::Act(std::u16string_view member, std::span<const HostValue> args) {
  Session& s = *session_;
  FuzzInput& in = s.input;
  s.last = {std::u16string(member), std::nullopt, true};
  for (int side = 0; side <= kMaxSideEffects; ++side) {
    const auto action = static_cast<Action>(in.Byte() % kActions);
    switch (action) {
      case kRaise: {
        const auto number = in.Raw<std::int32_t>();
        Failure failure(number, in.Text(in.Byte() % kMaxDescription, kAnswerAlphabet));
        s.last.raised = failure;
        throw failure;
      }
      case kMissing:
        s.last.raised = MemberMissingFailure();
        throw MemberMissingFailure();
      case kDropComponent:
        s.component.Reset();
        continue;
      case kEmptyReference:
        if (s.running) EmptyReference(*s.running, in.Byte());
        continue;
      case kRewriteByRef:
        for (const HostValue& arg : args) {
          if (arg.IsByRef()) arg.RefTarget() = in.Text(kMaxAnswerText, kAnswerAlphabet);
        }
        continue;
      default:
        return Answer(action);
    }
  }
  return HostValue::I4(0);
}

HostValue Answers::Answer(std::uint8_t choice) {
  FuzzInput& in = session_->input;
  switch (choice) {
    case kZero: return HostValue::I4(0);
    case kRetainedCode: return HostValue::I4(kRetained);
    case kAnyI4: return HostValue::I4(in.Raw<std::int32_t>());
    case kAnyI2: return HostValue::I2(in.Raw<std::int16_t>());
    case kText: return HostValue::Text(in.Text(in.Byte() % kMaxAnswerText, kAnswerAlphabet));
    case kEmpty: return HostValue::Empty();
    case kNull: return HostValue::Null();
    case kAnyR8: return HostValue::R8(in.Raw<double>());
    case kBool: return HostValue::Bool(in.Byte() & 1);
    case kObject: {
      const std::uint8_t which = in.Byte();
      if (which == 0) return HostValue::Object(HostObject());
      if (which == 1 || session_->pool.empty()) {
        return HostValue::Object(HostObject::Adopt(MakeHost(*session_).Detach()));
      }
      return HostValue::Object(HostObject(session_->pool[which % session_->pool.size()]));
    }
    default:
      break;
  }
  switch (in.Byte() % 6) {
    case 0: {
      Decimal d;
      d.scale = static_cast<std::uint8_t>(in.Byte() % 29);
      d.negative = (in.Byte() & 1) != 0;
      d.low = in.Raw<std::uint64_t>();
      return HostValue::Dec(d);
    }
    case 1: return HostValue::Integer(Kind::kCurrency, in.Raw<std::int64_t>());
    case 2: return HostValue::Integer(Kind::kI8, in.Raw<std::int64_t>());
    case 3: return HostValue::Integer(Kind::kError, in.Raw<std::int32_t>());
    case 4: return HostValue::Real(Kind::kDate, in.Raw<double>());
    default:
      return HostValue::Opaque(static_cast<Kind>(static_cast<std::uint16_t>(Kind::kArray) |
                                                 static_cast<std::uint16_t>(Kind::kI4)),
                               std::make_shared<Payload>(*session_));
  }
}

}  // namespace

Ref<RecordingHost> MakeHost(Session& session) {
  Ref<RecordingHost> host = RecordingHost::Create("Fuzz");
  host->AnswersFrom(Answers(session));
  return host;
}

}  // namespace clasp::fuzz
