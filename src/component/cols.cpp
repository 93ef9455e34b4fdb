// The body of Cols: show the retain screen, capture the card, classify, record,
// journal, report, trace.
#include <optional>
#include <utility>

#include "component/holdfast.h"
#include "component/nesting.h"
#include "component/unset_fields.h"
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

// The journal prompts of the roads, made once: the journal lends them to its puts.
const std::u16string kNotRetainedChn = u"未吞卡";
const std::u16string kNotRetainedEng = u"Take  Card";
const std::u16string kRetainedChn = u"吞卡成功";
const std::u16string kRetainedEng = u"Card  retained";
const std::u16string kFaultChn = u"吞卡时设备错";
const std::u16string kFaultEng = u"RetractCard Dev Err";

}  // namespace

std::int32_t Holdfast::Cols() {
  const NestingGuard nesting;
  const Ref<Holdfast> keep_alive(this);
  // A failure before the display answers must not report the previous call's
  // device result, so every call starts from 0.
  fields_.RetCode = 0;
  unset_->Forget();
  // The failure path runs after the try, not in it: its own failures are Cols'
  // own, and a device's failure handed back by RetainCard reaches it unwound.
  std::optional<Failure> failure;
  try {
    Outcome<std::int32_t> outcome = RetainCard();
    if (!outcome.Failed()) return outcome.Value();
    failure.emplace(std::move(outcome).TakeFailure());
  } catch (...) {
    failure.emplace(CurrentFailure());
  }
  return FailurePath(*failure);
}

Outcome<std::int32_t> Holdfast::RetainCard() {
  const HostObject& disp = Field(&Fields::StepDisp);
  if (fields_.ScreenNoValue == 0) {
    disp.Put(u"ScreenNo"sv, HostValue::I2(kDefaultScreen));
  } else {
    disp.Put(u"ScreenNo"sv, HostValue::I4(fields_.ScreenNoValue));
  }
  // The two devices hand their failures back: a device that raises is an
  // everyday road, not an accident.
  Outcome<HostValue> shown = disp.TryInvoke(u"ScreenDisplay"sv);
  if (shown.Failed()) return std::move(shown).TakeFailure();
  fields_.RetCode = convert_.ToInt32(shown.Value());

  {
    // Written into the field's own buffer, which keeps its size from call to
    // call; reserved first, so that the field changes only when it all fits.
    const std::u16string screen_text = convert_.ToText(disp.Invoke(u"ScreenNo"sv));
    const std::u16string_view screen = TrimmedPart(screen_text);
    const DecimalDigits ret_code(fields_.RetCode);
    constexpr std::u16string_view kBefore = u"Disp"sv;
    constexpr std::u16string_view kBetween = u": "sv;
    std::u16string& line = fields_.TraceText;
    line.reserve(kBefore.size() + screen.size() + kBetween.size() +
                 std::u16string_view(ret_code).size());
    line.assign(kBefore).append(screen).append(kBetween).append(ret_code);
  }
  WriteObjectLog(Field(&Fields::StepTrac), convert_, lines_, {fields_.TraceText});

  // The values were meant for this screen only; blank them whatever it answered.
  const HostValue blank = HostValue::Text(u""sv);
  for (const std::u16string_view member :
       {u"DisapleVal01"sv, u"DisapleVal02"sv, u"DisapleVal03"sv, u"DisapleVal04"sv}) {
    disp.Put(member, blank);
  }
  if (fields_.RetCode != 0) {
    FailureJournal();
    return kDisplayFailure;
  }

  Outcome<HostValue> retained = Field(&Fields::StepMks).TryInvoke(u"CardReaderRetain"sv);
  if (retained.Failed()) return std::move(retained).TakeFailure();
  fields_.RetCode = convert_.ToInt32(retained.Value());
  WriteObjectLog(Field(&Fields::StepTrac), convert_, lines_,
                 {u"CardReaderRetain:"sv, DecimalDigits(fields_.RetCode)});

  const HostObject& run = Field(&Fields::StepRunModul);
  if (fields_.RetCode == kNotRetained) {
    Journal(kNotRetainedChn, kNotRetainedEng);
    SetStatusCharacter(kOutcomeNotRetained);
  } else if (fields_.RetCode == kRetained) {
    SetStatusCharacter(kOutcomeRetained);
    convert_.ToInt32(run.Invoke(u"RecordMessage"sv,
                                {HostValue::Text(u"CIN"sv), HostValue::I2(kRecordMessageCount)}));
    Journal(kRetainedChn, kRetainedEng);
    run.Put(u"ExcepCode"sv, HostValue::Text(u"1004"sv));
    SendOex(run, Field(&Fields::StepTrac), convert_, u"吞卡成功"sv);
  } else {
    // A fault on a card that already faulted keeps its code; any other becomes 3.
    const NullableText status = convert_.ToNullableText(run.Invoke(u"TransAction1"sv));
    const bool again = TextEquals(Mid(status, kStatusOutcome, 1), u"2");
    SetStatusCharacter(again ? kOutcomeFaultAgain : kOutcomeFault);
    Journal(kFaultChn, kFaultEng);
    run.Put(u"ExcepCode"sv, HostValue::Text(u"1002"sv));
    SendOex(run, Field(&Fields::StepTrac), convert_, u"吞卡时设备错"sv);
  }
  return fields_.RetCode;
}

void Holdfast::SetStatusCharacter(char16_t outcome) {
  // Only the outcome character is ours; every other character belongs to
  // other steps and is kept. The host's status is read twice, once for what
  // comes before the outcome and once for what comes after, and each reading
  // is converted before the next is made.
  const HostObject& run = Field(&Fields::StepRunModul);
  const NullableText before = convert_.ToNullableText(run.Invoke(u"TransAction1"sv));
  const NullableText after = convert_.ToNullableText(run.Invoke(u"TransAction1"sv));
  // Joining with null gives null, and null goes back as null.
  if (!before || !after) {
    run.Put(u"TransAction1"sv, HostValue::Null());
    return;
  }
  // Built in one buffer: this runs on every road that reaches the reader.
  const std::u16string_view kept = std::u16string_view(*before).substr(0, kStatusKept);
  const std::u16string_view rest = after->size() >= kStatusRestFrom
                                       ? std::u16string_view(*after).substr(kStatusRestFrom - 1)
                                       : std::u16string_view();
  std::u16string status;
  status.reserve(kept.size() + 1 + rest.size());
  status.append(kept).append(1, outcome).append(rest);
  run.Put(u"TransAction1"sv, HostValue::Text(std::move(status)));
}

std::int32_t Holdfast::FailurePath(const Failure& failure) {
  FailureJournal();
  WriteObjectLog(Field(&Fields::StepTrac), convert_, lines_,
                 {DecimalDigits(fields_.RetCode), DecimalDigits(failure.Number()),
                  failure.Description()});
  return kFailure;
}

void Holdfast::FailureJournal() {
  const DecimalDigits digits(fields_.RetCode);
  BufferedText chn(failure_chn_, {u"回收卡出错,出错代码为:"sv, digits});
  BufferedText eng(failure_eng_, {kFailurePromptPrefix, digits});
  Journal(chn.Text(), eng.Text());
}

void Holdfast::Journal(const std::u16string& chn_prompt, const std::u16string& eng_prompt) {
  std::int16_t time_sig = kTimeSigStandard;
  WriteJournal({Field(&Fields::StepTrac), Field(&Fields::StepJour), Field(&Fields::StepRunModul)},
               convert_, lines_, chn_prompt, eng_prompt, time_sig);
}

}  // namespace clasp
