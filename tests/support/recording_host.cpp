#include "support/recording_host.h"

#include <cstring>

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
  Member& m = Told(member);
  m.answers = std::move(values);
  m.next = 0;
  return *this;
}

RecordingHost& RecordingHost::Raises(const std::u16string& member, Failure failure) {
  Told(member).failure = std::move(failure);
  return *this;
}

RecordingHost& RecordingHost::Lacks(const std::u16string& member) {
  Told(member).missing = true;
  return *this;
}

RecordingHost& RecordingHost::Calls(const std::u16string& member, MemberAction action) {
  Told(member).action = std::move(action);
  return *this;
}

RecordingHost& RecordingHost::AnswersFrom(AnswerSource source) {
  source_ = std::move(source);
  return *this;
}

std::optional<HostValue> RecordingHost::Property(const std::u16string& member) const {
  for (const auto& m : members_) {
    if (m->name == member) return m->property;
  }
  return std::nullopt;
}

RecordingHost::Member* RecordingHost::Find(std::u16string_view name) {
  // Compared as bytes: the same code units are the same bytes, and memcmp
  // compares many at a time where char16_t's own compare takes one.
  for (const auto& m : members_) {
    if (m->name.size() == name.size() &&
        std::memcmp(m->name.data(), name.data(), name.size() * sizeof(char16_t)) == 0) {
      return m.get();
    }
  }
  return nullptr;
}

RecordingHost::Member& RecordingHost::Told(const std::u16string& name) {
  Member* m = Find(name);
  if (!m) m = members_.emplace_back(std::make_unique<Member>(name)).get();
  m->told = true;
  return *m;
}

HostValue RecordingHost::Invoke(std::u16string_view member, std::span<const HostValue> args) {
  const std::size_t line = log_ ? LogCall(member, args) : 0;
  Member* m = Find(member);
  const bool told = m && m->told;
  // A told failure is raised from this frame, before anything that would need
  // undoing: without a log the host costs what one that only answers does.
  if (told ? m->missing : member == kDefaultMember) {
    if (log_) LogFailure(line, MemberMissingFailure());
    throw MemberMissingFailure();
  }
  if (told && m->failure) {
    if (log_) LogFailure(line, *m->failure);
    throw *m->failure;
  }
  if (told ? static_cast<bool>(m->action) : static_cast<bool>(source_)) {
    return Run(line, [&] { return told ? m->action(args) : source_(member, args, false); });
  }
  const HostValue* answer = nullptr;  // none: Empty
  if (told && !m->answers.empty()) {
    answer = &m->answers[std::min(m->next, m->answers.size() - 1)];
    ++m->next;
  } else if (!told && m && m->property && args.empty()) {
    answer = &*m->property;
  }
  if (log_) log_->Append(line, " -> " + Show(answer ? *answer : HostValue()));
  return answer ? *answer : HostValue();
}

HostValue RecordingHost::DefaultValue() {
  const Member* m = Find(kDefaultMember);
  if (m && m->told) return Invoke(kDefaultMember, {});
  const std::size_t line = log_ ? LogCall(kDefaultMember, {}) : 0;
  return Run(line, [this] { return HostDispatch::DefaultValue(); });
}

void RecordingHost::Put(std::u16string_view member, const HostValue& value) {
  const std::size_t line = log_ ? log_->Add(name_ + "." + Utf8(member) + " = " + Show(value)) : 0;
  Member* m = Find(member);
  const bool told = m && m->told;
  if (told && m->failure) {
    if (log_) LogFailure(line, *m->failure);
    throw *m->failure;
  }
  if (told && m->missing) {
    if (log_) LogFailure(line, MemberMissingFailure());
    throw MemberMissingFailure();
  }
  if (!told && source_) {
    Run(line, [&] { return source_(member, std::span<const HostValue>(&value, 1), true); }, true);
    return;
  }
  if (!m) m = members_.emplace_back(std::make_unique<Member>(std::u16string(member))).get();
  // A copy of by-reference text is plain text: the caller's variable will not
  // outlive the call.
  m->property = value;
}

template <class Call>
HostValue RecordingHost::Run(std::size_t line, Call call, bool put) {
  // An action or the source may drop the last count on this host.
  const Ref<RecordingHost> keep(this);
  try {
    HostValue answer = call();
    if (log_ && !put) log_->Append(line, " -> " + Show(answer));
    return answer;
  } catch (const Failure& failure) {
    if (log_) LogFailure(line, failure);
    throw;
  }
}

std::size_t RecordingHost::LogCall(std::u16string_view member, std::span<const HostValue> args) {
  const bool default_member = member == kDefaultMember;
  std::string line = name_ + "." + (default_member ? "[default]" : Utf8(member) + "(");
  for (std::size_t i = 0; i < args.size(); ++i) {
    line += (i ? ", " : "") + Show(args[i]);
  }
  if (!default_member) line += ")";
  return log_->Add(std::move(line));
}

void RecordingHost::LogFailure(std::size_t line, const Failure& failure) {
  log_->Append(line, " !! " + std::to_string(failure.Number()) + " " +
                         Utf8(failure.Description()));
}

HostSet::HostSet() : HostSet(std::make_shared<AccessLog>()) {}

HostSet::HostSet(std::shared_ptr<AccessLog> shared)
    : log(std::move(shared)),
      disp(RecordingHost::Create("StepDisp", log)),
      mks(RecordingHost::Create("StepMks", log)),
      run(RecordingHost::Create("StepRunModul", log)),
      trac(RecordingHost::Create("StepTrac", log)),
      jour(RecordingHost::Create("StepJour", log)) {}

void HostSet::GiveTo(Holdfast& component) const {
  component.StepDisp(disp->Object());
  component.StepMks(mks->Object());
  component.StepRunModul(run->Object());
  component.StepTrac(trac->Object());
  component.StepJour(jour->Object());
}

bool HostSet::Balanced(std::uint32_t expected) const {
  for (const RecordingHost* host : All()) {
    if (host->RefCount() != expected) return false;
  }
  return true;
}

std::array<RecordingHost*, 5> HostSet::All() const {
  return {disp.Get(), mks.Get(), run.Get(), trac.Get(), jour.Get()};
}

}  // namespace clasp::testing
