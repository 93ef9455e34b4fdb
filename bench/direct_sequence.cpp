#include "direct_sequence.h"

#include <initializer_list>

#include "output/trace.h"

namespace clasp::bench {
namespace {

constexpr std::int16_t kDefaultScreenNumber = 420;
constexpr std::int16_t kTimeSig = 1;
constexpr std::int16_t kCinCount = 5;

// Made in place, as Cols makes its texts.
HostValue Text(std::u16string_view text) { return HostValue::Text(text); }

// What a careful caller keeps rather than copies for every call, as Cols does:
// the trace writer's constant arguments and the journal's prompts.
const std::u16string kObjectLog(kObjectLogPath);
const std::u16string kPrintJournalLog(kPrintJournalLogPath);
const std::u16string kObjectSource(kObjectLogSource);
const std::u16string kNoSource;
const std::u16string kRetainedChn = u"吞卡成功";
const std::u16string kRetainedEng = u"Card  retained";
const std::u16string kFailureChn = u"回收卡出错,出错代码为:0";
const std::u16string kFailureEng = u"ClaspErr:0";

HostValue Call(HostDispatch& host, std::u16string_view member,
               std::initializer_list<HostValue> args = {}) {
  return host.Invoke(member, std::span<const HostValue>(args.begin(), args.size()));
}

// The line handed by reference, written into one kept buffer as Cols writes
// its lines: a string made for each line would put the floor above Cols.
std::u16string g_line;

void TraceLine(HostDispatch& trac, const std::u16string& path, std::u16string_view text,
               const std::u16string& source) {
  g_line.assign(text);
  Call(trac, u"TraceWrite",
       {HostValue::BorrowedText(path), HostValue::TextRef(g_line),
        HostValue::BorrowedText(source)});
}

void ShowScreen(const HostSet& h, std::u16string_view trace_line) {
  HostDispatch& disp = *h.disp;
  disp.Put(u"ScreenNo", HostValue::I2(kDefaultScreenNumber));
  Call(disp, u"ScreenDisplay");
  Call(disp, u"ScreenNo");
  TraceLine(*h.trac, kObjectLog, trace_line, kObjectSource);
  for (std::u16string_view member :
       {u"DisapleVal01", u"DisapleVal02", u"DisapleVal03", u"DisapleVal04"}) {
    disp.Put(member, Text(u""));
  }
}

void JournalEntry(const HostSet& h, const std::u16string& chn, const std::u16string& eng) {
  HostDispatch& jour = *h.jour;
  TraceLine(*h.trac, kPrintJournalLog, eng, kNoSource);
  jour.Put(u"TimeSig", HostValue::I2(kTimeSig));
  jour.Put(u"ChnPromptString", HostValue::BorrowedText(chn));
  jour.Put(u"EngPromptString", HostValue::BorrowedText(eng));
  Call(jour, u"JournalWriteMsg");
  jour.Put(u"isjrn", Call(*h.run, u"IsJRNDevice"));
}

void Exchange(const HostSet& h, std::u16string_view trace_line) {
  HostDispatch& run = *h.run;
  Call(run, u"ControlNum");
  std::u16string detail_flag = u"1";
  Call(run, u"WriteDetailFileName",
       {Text(u"CRD"), Text(u"0"), Text(u"0"), HostValue::TextRef(detail_flag)});
  Call(run, u"PackMessage", {Text(u"OEX")});
  Call(run, u"CommSign");
  Call(run, u"IsWriteOnly");
  {
    HostValue message = Call(run, u"SendMessage");
    HostValue length = Call(run, u"SendMessageLen");
    Call(run, u"StepCommWrite", {std::move(message), std::move(length)});
  }
  Call(run, u"IsUnPackOex");
  {
    HostValue time_out = Call(run, u"TimeOutComm");
    HostValue message = Call(run, u"RecieveMessage");
    HostValue length = Call(run, u"RecieveMessageLen");
    Call(run, u"StepCommRead", {std::move(time_out), std::move(message), std::move(length)});
  }
  Call(run, u"UnpackMessage", {Text(u"OEX")});
  TraceLine(*h.trac, kObjectLog, trace_line, kObjectSource);
}

}  // namespace

void CaptureDirect(const HostSet& h) {
  ShowScreen(h, u"Disp420: 0");
  Call(*h.mks, u"CardReaderRetain");
  TraceLine(*h.trac, kObjectLog, u"CardReaderRetain:10120011", kObjectSource);
  HostDispatch& run = *h.run;
  Call(run, u"TransAction1");
  Call(run, u"TransAction1");
  run.Put(u"TransAction1", Text(u"0010"));
  Call(run, u"RecordMessage", {Text(u"CIN"), HostValue::I2(kCinCount)});
  JournalEntry(h, kRetainedChn, kRetainedEng);
  run.Put(u"ExcepCode", Text(u"1004"));
  Exchange(h, u"WD 吞卡成功");
}

void FailureDirect(const HostSet& h) {
  ShowScreen(h, u"Disp420: 0");
  try {
    Call(*h.mks, u"CardReaderRetain");
  } catch (const Failure&) {
    JournalEntry(h, kFailureChn, kFailureEng);
    TraceLine(*h.trac, kObjectLog, u"01234Card jammed", kObjectSource);
  }
}

}  // namespace clasp::bench
