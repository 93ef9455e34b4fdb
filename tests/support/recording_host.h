// The one native host double: answers from a table or from a source of its
// own, fails on command, counts references and, given a log, logs every access
// in order. The native tests, the benchmark, the fuzz targets and the Windows
// programs that need a host object of the core's own all use it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "component/holdfast.h"
#include "host/failure.h"
#include "host/host_object.h"
#include "host/host_value.h"
#include "host/ref.h"

namespace clasp::testing {

// One ordered log shared by all hosts of a test, one line per access:
//   StepDisp.ScreenNo = I2 420
//   StepDisp.ScreenDisplay() -> I4 0
//   StepTrac.TraceWrite(Text "p", &Text "line", Text "Clench") -> Empty
//   StepMks.CardReaderRetain() !! 1234 boom
//   Answer.[default] -> I4 7
class AccessLog {
 public:
  std::size_t Add(std::string line);
  void Append(std::size_t index, const std::string& tail) { lines_[index] += tail; }
  const std::vector<std::string>& Lines() const { return lines_; }
  void Clear() { lines_.clear(); }
  // Run before each access is logged: a test joins what happened between.
  std::function<void()> before_each;

 private:
  std::vector<std::string> lines_;
};

// A member's behaviour, given the arguments of the call.
using MemberAction = std::function<HostValue(std::span<const HostValue>)>;
// The answer to any member without a behaviour of its own, given the member, the
// arguments and whether it is a put (whose value is the one argument, and whose
// answer is dropped). It may raise, as a member does.
using AnswerSource =
    std::function<HostValue(std::u16string_view member, std::span<const HostValue> args, bool put)>;

// A host object told what to answer, logging each access when it has a log.
class RecordingHost final : public RefCounted<RecordingHost, HostDispatch> {
 public:
  // Without a log the host only answers, writing no line per access: what a
  // benchmark wants.
  static Ref<RecordingHost> Create(std::string name, std::shared_ptr<AccessLog> log = nullptr);

  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;
  // Answers like Invoke of kDefaultMember; an object not told how has none,
  // and answers what HostDispatch answers for any host without one (438).
  HostValue DefaultValue() override;

  // The name that configures the default member (Returns, Raises, Calls...).
  static constexpr std::u16string_view kDefaultMember = u"";

  // A counted reference for handing to the component.
  HostObject Object() { return HostObject(this); }
  using RefCounted::RefCount;

  // Invoke answers `value` (every call).
  RecordingHost& Returns(const std::u16string& member, HostValue value);
  // Invoke answers these in turn; the last one repeats.
  RecordingHost& ReturnsInOrder(const std::u16string& member, std::vector<HostValue> values);
  // Invoke and Put of `member` raise `failure`.
  RecordingHost& Raises(const std::u16string& member, Failure failure);
  // The object has no such member: 438.
  RecordingHost& Lacks(const std::u16string& member);
  // Invoke runs `action`.
  RecordingHost& Calls(const std::u16string& member, MemberAction action);
  // Every other member, read, called or put, goes to `source`; the default
  // member still has none unless told. Such a host keeps no properties.
  RecordingHost& AnswersFrom(AnswerSource source);

  // The last value put to `member`, if any. A property read without an answer
  // of its own returns it, so puts and reads behave like a real property.
  std::optional<HostValue> Property(const std::u16string& member) const;

 private:
  friend RefCounted;
  // Only an action or the source can drop the last count, and Run holds one
  // while they run: the host keeps itself alive, as the component's adapter does.
  RecordingHost(std::string name, std::shared_ptr<AccessLog> log)
      : name_(std::move(name)), log_(std::move(log)) {
    HoldItselfDuringCalls();
  }
  ~RecordingHost() = default;

  struct Member {
    explicit Member(std::u16string spelt) : name(std::move(spelt)) {}
    std::u16string name;
    bool told = false;  // given a behaviour by Returns, Raises, Lacks or Calls
    std::vector<HostValue> answers;
    std::size_t next = 0;
    std::optional<Failure> failure;
    bool missing = false;
    MemberAction action;
    std::optional<HostValue> property;  // the last value put
  };
  Member* Find(std::u16string_view name);
  Member& Told(const std::u16string& name);
  // Runs an action or the source, keeping the host and logging the outcome.
  template <class Call>
  HostValue Run(std::size_t line, Call call, bool put = false);
  // Logs the start of a call; the outcome is appended to the line returned.
  std::size_t LogCall(std::u16string_view member, std::span<const HostValue> args);
  void LogFailure(std::size_t line, const Failure& failure);

  std::string name_;
  std::shared_ptr<AccessLog> log_;
  AnswerSource source_;
  // In the order first named, searched in that order: a handful per host, so
  // a look along the list is the cheapest way. Each on its own, so that an
  // action may name a new member while its own stays where it is.
  std::vector<std::unique_ptr<Member>> members_;
};

// The five host objects of one component, sharing one log (or, given none,
// logging nothing).
struct HostSet {
  HostSet();
  explicit HostSet(std::shared_ptr<AccessLog> shared);
  // Assigns each host to its field of `component`.
  void GiveTo(Holdfast& component) const;
  // Whether every host holds `expected` counts.
  bool Balanced(std::uint32_t expected) const;
  // The hosts in the order they are assigned.
  std::array<RecordingHost*, 5> All() const;

  std::shared_ptr<AccessLog> log;
  Ref<RecordingHost> disp, mks, run, trac, jour;
};

// Describe() of a value as UTF-8, for building expected log lines.
std::string Show(const HostValue& value);

}  // namespace clasp::testing
