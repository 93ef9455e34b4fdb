// A host object for tests: answers from a table and logs every access in order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

class RecordingHost final : public HostDispatch {
 public:
  static Ref<RecordingHost> Create(std::string name, std::shared_ptr<AccessLog> log);

  void AddRef() noexcept override { ++count_; }
  void Release() noexcept override {
    if (--count_ == 0) delete this;
  }
  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;
  // Answers like Invoke of kDefaultMember; an object not told how has none (438).
  HostValue DefaultValue() override;

  // The name that configures the default member (Returns, Raises, Calls...).
  static constexpr std::u16string_view kDefaultMember = u"";

  // A counted reference for handing to the component.
  HostObject Object() { return HostObject(this); }

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

  // The last value put to `member`, if any. A property read without an answer
  // of its own returns it, so puts and reads behave like a real property.
  std::optional<HostValue> Property(const std::u16string& member) const;
  std::uint32_t RefCount() const { return count_; }

 private:
  RecordingHost(std::string name, std::shared_ptr<AccessLog> log)
      : name_(std::move(name)), log_(std::move(log)) {}
  ~RecordingHost() = default;

  struct Behaviour {
    std::vector<HostValue> answers;
    std::size_t next = 0;
    std::optional<Failure> failure;
    bool missing = false;
    MemberAction action;
  };
  const Behaviour* Find(std::u16string_view member) const;

  std::uint32_t count_ = 1;
  std::string name_;
  std::shared_ptr<AccessLog> log_;
  std::map<std::u16string, Behaviour, std::less<>> behaviours_;
  std::map<std::u16string, HostValue, std::less<>> properties_;
};

// The five host objects of one component, sharing one log.
struct HostSet {
  HostSet();
  std::shared_ptr<AccessLog> log;
  Ref<RecordingHost> disp, mks, run, trac, jour;
};

// Describe() of a value as UTF-8, for building expected log lines.
std::string Show(const HostValue& value);

}  // namespace clasp::testing
