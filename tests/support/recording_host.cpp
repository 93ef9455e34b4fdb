#include "support/recording_host.h"

#include "host/text.h"

namespace clasp::testing {

std::size_t AccessLog::Add(std::string line) {
  if (before_each) before_each();
  lines_.push_back(std::move(line));
  return lines_.size() - 1;
}

std::string Show(const HostValue& value) { return Utf8(Describe(value)); }

Ref<RecordingHost> RecordingHost::Create(std::string name, std::shared_ptr<AccessLog> log) {
  return Ref<RecordingHost>::Adopt(new RecordingHost(std::move(name), std::move(log)));
}

RecordingHost& RecordingHost::Returns(const std::u16string& member, HostValue value) {
  return ReturnsInOrder(member, {std::move(value)});
}

RecordingHost& RecordingHost::ReturnsInOrder(const std::u16string& member,
                                             std::vector<HostValue> values) {
  Behaviour& b = behaviours_[member];
  b.answers = std::move(values);
  b.next = 0;
  return *this;
}

RecordingHost& RecordingHost::Raises(const std::u16string& member, Failure failure) {
  behaviours_[member].failure = std::move(failure);
  return *this;
}

RecordingHost& RecordingHost::Lacks(const std::u16string& member) {
  behaviours_[member].missing = true;
  return *this;
}

RecordingHost& RecordingHost::Calls(const std::u16string& member, MemberAction action) {
  behaviours_[member].action = std::move(action);
  return *this;
}

std::optional<HostValue> RecordingHost::Property(const std::u16string& member) const {
  const auto it = properties_.find(member);
  if (it == properties_.end()) return std::nullopt;
  return it->second;
}

const RecordingHost::Behaviour* RecordingHost::Find(std::u16string_view member) const {
  const auto it = behaviours_.find(member);
  return it == behaviours_.end() ? nullptr : &it->second;
}

HostValue RecordingHost::Invoke(std::u16string_view member, std::span<const HostValue> args) {
  const Ref<RecordingHost> keep(this);
  const bool default_member = member == kDefaultMember;
  std::string line = name_ + "." + (default_member ? "[default]" : Utf8(member) + "(");
  for (std::size_t i = 0; i < args.size(); ++i) {
    line += (i ? ", " : "") + Show(args[i]);
  }
  if (!default_member) line += ")";
  const std::size_t index = log_->Add(std::move(line));
  try {
    HostValue answer;
    auto it = behaviours_.find(member);
    if (default_member && it == behaviours_.end()) throw MemberMissingFailure();
    if (it != behaviours_.end()) {
      Behaviour& b = it->second;
      if (b.missing) throw MemberMissingFailure();
      if (b.failure) throw *b.failure;
      if (b.action) {
        answer = b.action(args);
      } else if (!b.answers.empty()) {
        answer = b.answers[std::min(b.next, b.answers.size() - 1)];
        ++b.next;
      }
    } else if (args.empty()) {
      if (auto p = properties_.find(member); p != properties_.end()) answer = p->second;
    }
    log_->Append(index, " -> " + Show(answer));
    return answer;
  } catch (const Failure& failure) {
    log_->Append(index, " !! " + std::to_string(failure.Number()) + " " +
                            Utf8(failure.Description()));
    throw;
  }
}

HostValue RecordingHost::DefaultValue() { return Invoke(kDefaultMember, {}); }

void RecordingHost::Put(std::u16string_view member, const HostValue& value) {
  const Ref<RecordingHost> keep(this);
  const std::size_t index = log_->Add(name_ + "." + Utf8(member) + " = " + Show(value));
  if (const Behaviour* b = Find(member)) {
    std::optional<Failure> failure;
    if (b->missing) failure = MemberMissingFailure();
    if (b->failure) failure = b->failure;
    if (failure) {
      log_->Append(index, " !! " + std::to_string(failure->Number()) + " " +
                              Utf8(failure->Description()));
      throw *failure;
    }
  }
  // Keep a by-reference text as plain text: the caller's variable will not outlive the call.
  properties_.insert_or_assign(std::u16string(member),
                               value.IsByRef() ? HostValue::Text(value.AsText()) : value);
}

HostSet::HostSet()
    : log(std::make_shared<AccessLog>()),
      disp(RecordingHost::Create("StepDisp", log)),
      mks(RecordingHost::Create("StepMks", log)),
      run(RecordingHost::Create("StepRunModul", log)),
      trac(RecordingHost::Create("StepTrac", log)),
      jour(RecordingHost::Create("StepJour", log)) {}

}  // namespace clasp::testing
