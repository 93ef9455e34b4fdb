// The body of Cols: show the retain screen, capture the card, classify, record,
// journal, report, trace.
#include "component/field_watch.h"
#include "component/holdfast.h"
#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"
#include "output/journal.h"
#include "output/trace.h"
#include "report/send_oex.h"

namespace clasp {

using namespace std::literals;
namespace {

constexpr std::size_t kStatusKept = 2;        // characters before the outcome
constexpr std::size_t kStatusOutcome = 3;     // position of the outcome character
constexpr std::size_t kStatusRestFrom = 4;    // first character after it
constexpr char16_t kOutcomeNotRetained = u'0';
constexpr char16_t kOutcomeRetained = u'1';
constexpr char16_t kOutcomeFaultAgain = u'2';
constexpr char16_t kOutcomeFault = u'3';
constexpr std::int16_t kRecordMessageCount = 5;

std::u16string FailureChn(std::int32_t ret_code) {
  return Concat({u"回收卡出错,出错代码为:"sv, DecimalText(ret_code)});
}
std::u16string FailureEng(std::int32_t ret_code) {
  return Concat({kFailurePromptPrefix, DecimalText(ret_code)});
}

}  // namespace

std::int32_t Holdfast::Cols() {
  const Ref<Holdfast> keep_alive(this);
  // A failure before the display answers must not report the previous call's
  // device result, so every call starts from 0.
  fields_.RetCode = 0;
  const FieldWatch watching(*this);
  // The failure path itself is not guarded: its failures are Cols' own.
  try {
    return RetainCard();
  } catch (const Failure& failure) {
    return FailurePath(failure);
  } catch (...) {
    return FailurePath(CurrentFailure());
  }
}

std::int32_t Holdfast::FailurePath(const Failure& failure) {
  Journal(FailureChn(fields_.RetCode), FailureEng(fields_.RetCode));
  WriteObjectLog(fields_.StepTrac, Concat({DecimalText(fields_.RetCode),
                                           DecimalText(failure.Number()),
                                           failure.Description()}));
  return kFailure;
}

void Holdfast::Journal(std::u16string_view chn_prompt, std::u16string_view eng_prompt) {
  std::int16_t time_sig = kTimeSigStandard;
  WriteJournal({fields_.StepTrac, fields_.StepJour, fields_.StepRunModul}, chn_prompt,
               eng_prompt, time_sig);
}

std::int32_t Holdfast::RetainCard() {
  const HostObject& disp = fields_.StepDisp;
  if (fields_.ScreenNoValue == 0) {
    disp.Put(u"ScreenNo"sv, HostValue::I2(kDefaultScreen));
  } else {
    disp.Put(u"ScreenNo"sv, HostValue::I4(fields_.ScreenNoValue));
  }
  fields_.RetCode = ToInt32(disp.Invoke(u"ScreenDisplay"sv));

  fields_.TraceText = Concat({u"Disp"sv, Trim(ToText(disp.Invoke(u"ScreenNo"sv))), u": "sv,
                               DecimalText(fields_.RetCode)});
  WriteObjectLog(fields_.StepTrac, fields_.TraceText);

  // The values were meant for this screen only; blank them whatever it answered.
  for (const std::u16string_view member :
       {u"DisapleVal01"sv, u"DisapleVal02"sv, u"DisapleVal03"sv, u"DisapleVal04"sv}) {
    disp.Put(member, HostValue::Text(u""s));
  }
  if (fields_.RetCode != 0) {
    Journal(FailureChn(fields_.RetCode), FailureEng(fields_.RetCode));
    return kDisplayFailure;
  }

  fields_.RetCode = ToInt32(fields_.StepMks.Invoke(u"CardReaderRetain"sv));
  WriteObjectLog(fields_.StepTrac,
                 Concat({u"CardReaderRetain:"sv, DecimalText(fields_.RetCode)}));

  const HostObject& run = fields_.StepRunModul;
  if (fields_.RetCode == kNotRetained) {
    Journal(u"未吞卡"sv, u"Take  Card"sv);
    SetStatusCharacter(kOutcomeNotRetained);
  } else if (fields_.RetCode == kRetained) {
    SetStatusCharacter(kOutcomeRetained);
    ToInt32(run.Invoke(u"RecordMessage"sv, HostValue::Text(u"CIN"s),
                       HostValue::I2(kRecordMessageCount)));
    Journal(u"吞卡成功"sv, u"Card  retained"sv);
    run.Put(u"ExcepCode"sv, HostValue::Text(u"1004"s));
    SendOex(run, fields_.StepTrac, u"吞卡成功"sv);
  } else {
    // A fault on a card that already faulted keeps its code; any other becomes 3.
    const NullableText status = ToNullableText(run.Invoke(u"TransAction1"sv));
    const bool again = TextEquals(Mid(status, kStatusOutcome, 1), u"2");
    SetStatusCharacter(again ? kOutcomeFaultAgain : kOutcomeFault);
    Journal(u"吞卡时设备错"sv, u"RetractCard Dev Err"sv);
    run.Put(u"ExcepCode"sv, HostValue::Text(u"1002"s));
    SendOex(run, fields_.StepTrac, u"吞卡时设备错"sv);
  }
  return fields_.RetCode;
}

void Holdfast::SetStatusCharacter(char16_t outcome) {
  // Only the outcome character is ours; every other character belongs to
  // other steps and is kept.
  const HostObject& run = fields_.StepRunModul;
  const NullableText kept = Left(ToNullableText(run.Invoke(u"TransAction1"sv)), kStatusKept);
  const NullableText rest = Mid(ToNullableText(run.Invoke(u"TransAction1"sv)), kStatusRestFrom);
  const NullableText status = Join(Join(kept, std::u16string(1, outcome)), rest);
  run.Put(u"TransAction1"sv, status ? HostValue::Text(*status) : HostValue::Null());
}

}  // namespace clasp
