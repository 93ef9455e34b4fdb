#include "null_host.h"

#include "host/text.h"
#include "report/send_oex.h"

namespace clasp::bench {
namespace {

constexpr std::int32_t kDeviceFaultCode = 7;
constexpr std::int32_t kDisplayFaultCode = 5;
constexpr std::int16_t kScreenAnswer = 420;
constexpr std::int16_t kJournalDevice = 1;
constexpr std::int16_t kUnpackWanted = 1;
constexpr std::int32_t kMessageLength = 64;
constexpr std::int32_t kTimeOut = 30;
constexpr std::int32_t kReaderFailure = 1234;

}  // namespace

Ref<NullHost> NullHost::Create(std::string name, std::vector<std::string>* log) {
  return Ref<NullHost>::Adopt(new NullHost(std::move(name), log));
}

NullHost& NullHost::Answers(std::u16string member, HostValue value) {
  answers_.emplace_back(std::move(member), std::move(value));
  return *this;
}

NullHost& NullHost::Raises(std::u16string member, Failure failure) {
  raises_.emplace(std::move(member), std::move(failure));
  return *this;
}

void NullHost::Record(std::u16string_view member, std::span<const HostValue> args, bool put) {
  std::string line = name_ + "." + Utf8(member) + (put ? " = " : "(");
  for (std::size_t i = 0; i < args.size(); ++i) {
    line += (i ? ", " : "") + Utf8(Describe(args[i]));
  }
  log_->push_back(line + (put ? "" : ")"));
}

HostValue NullHost::Invoke(std::u16string_view member, std::span<const HostValue> args) {
  if (log_) Record(member, args, false);
  if (raises_ && raises_->first == member) throw raises_->second;
  for (const auto& [name, value] : answers_) {
    if (name == member) return value;
  }
  return {};
}

void NullHost::Put(std::u16string_view member, const HostValue& value) {
  if (log_) Record(member, std::span<const HostValue>(&value, 1), true);
}

Hosts::Hosts(Path path, std::vector<std::string>* log)
    : disp(NullHost::Create("StepDisp", log)),
      mks(NullHost::Create("StepMks", log)),
      run(NullHost::Create("StepRunModul", log)),
      trac(NullHost::Create("StepTrac", log)),
      jour(NullHost::Create("StepJour", log)) {
  disp->Answers(u"ScreenDisplay",
                HostValue::I4(path == Path::kDisplayFailure ? kDisplayFaultCode : 0))
      .Answers(u"ScreenNo", HostValue::I2(kScreenAnswer));
  switch (path) {
    case Path::kCapture: mks->Answers(u"CardReaderRetain", HostValue::I4(kRetained)); break;
    case Path::kDeviceFault:
      mks->Answers(u"CardReaderRetain", HostValue::I4(kDeviceFaultCode));
      break;
    case Path::kFailure:
      mks->Raises(u"CardReaderRetain", Failure(kReaderFailure, u"Card jammed"));
      break;
    case Path::kDisplayFailure: break;
  }
  // The members used most come first: the host looks answers up in order.
  run->Answers(u"TransAction1", HostValue::Text(u"0000"))
      .Answers(u"IsJRNDevice", HostValue::I2(kJournalDevice))
      .Answers(u"RecordMessage", HostValue::I4(0))
      .Answers(u"ControlNum", HostValue::I4(0))
      .Answers(u"WriteDetailFileName", HostValue::I4(0))
      .Answers(u"PackMessage", HostValue::I4(0))
      .Answers(u"CommSign", HostValue::I4(0))
      .Answers(u"IsWriteOnly", HostValue::I4(0))
      .Answers(u"SendMessage", HostValue::Text(u"OEX0000000000000"))
      .Answers(u"SendMessageLen", HostValue::I4(kMessageLength))
      .Answers(u"StepCommWrite", HostValue::I4(0))
      .Answers(u"IsUnPackOex", HostValue::I2(kUnpackWanted))
      .Answers(u"TimeOutComm", HostValue::I4(kTimeOut))
      .Answers(u"RecieveMessage", HostValue::Text(u""))
      .Answers(u"RecieveMessageLen", HostValue::I4(0))
      .Answers(u"StepCommRead", HostValue::I4(0))
      .Answers(u"UnpackMessage", HostValue::I4(0));
  trac->Answers(u"TraceWrite", HostValue::I4(0));
  jour->Answers(u"JournalWriteMsg", HostValue::I4(0));
}

void Hosts::GiveTo(Holdfast& component) const {
  component.StepDisp(HostObject(disp.Get()));
  component.StepMks(HostObject(mks.Get()));
  component.StepRunModul(HostObject(run.Get()));
  component.StepTrac(HostObject(trac.Get()));
  component.StepJour(HostObject(jour.Get()));
}

bool Hosts::Balanced(std::uint32_t expected) const {
  for (const NullHost* host : {disp.Get(), mks.Get(), run.Get(), trac.Get(), jour.Get()}) {
    if (host->RefCount() != expected) return false;
  }
  return true;
}

}  // namespace clasp::bench
