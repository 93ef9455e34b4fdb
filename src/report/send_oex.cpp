#include "report/send_oex.h"

#include "host/text.h"
#include "output/trace.h"

namespace clasp {

using namespace std::literals;
namespace {

constexpr std::int32_t kControlNumForFlag2 = 6;
constexpr std::int32_t kCommReady = 0;
constexpr std::int32_t kWriteOnlyAbove = 0;
constexpr std::int32_t kUnpackWanted = 1;

std::int32_t Exchange(const HostObject& run, const HostObject& trac, Conversions convert,
                      std::u16string_view report_text) {
  std::u16string detail_flag =
      convert.EqualsInt(run.Invoke(u"ControlNum"sv), kControlNumForFlag2) ? u"2" : u"1";
  // The module may rewrite the flag through the reference; we never read it back.
  // Arguments are made in place throughout, with no copy on the way.
  convert.ToInt32(run.Invoke(u"WriteDetailFileName"sv,
                             {HostValue::Text(u"CRD"sv), HostValue::Text(u"0"sv),
                              HostValue::Text(u"0"sv), HostValue::TextRef(detail_flag)}));
  if (convert.ToInt32(run.Invoke(u"PackMessage"sv, {HostValue::Text(u"OEX"sv)})) != 0) {
    return kFailure;
  }
  if (!convert.EqualsInt(run.Invoke(u"CommSign"sv), kCommReady)) return kFailure;
  const std::u16string_view send_member =
      convert.GreaterThanInt(run.Invoke(u"IsWriteOnly"sv), kWriteOnlyAbove)
          ? u"StepCommWriteOnly"sv
          : u"StepCommWrite"sv;
  {
    HostValue message = run.Invoke(u"SendMessage"sv);
    HostValue length = run.Invoke(u"SendMessageLen"sv);
    if (convert.ToInt32(run.Invoke(send_member, {std::move(message), std::move(length)})) != 0) {
      return kFailure;
    }
  }
  if (convert.EqualsInt(run.Invoke(u"IsUnPackOex"sv), kUnpackWanted)) {
    HostValue time_out = run.Invoke(u"TimeOutComm"sv);
    HostValue message = run.Invoke(u"RecieveMessage"sv);
    HostValue length = run.Invoke(u"RecieveMessageLen"sv);
    // A failed read is not reported: there is just nothing to unpack.
    if (convert.ToInt32(run.Invoke(u"StepCommRead"sv, {std::move(time_out), std::move(message),
                                                       std::move(length)})) == 0) {
      convert.ToInt32(run.Invoke(u"UnpackMessage"sv, {HostValue::Text(u"OEX"sv)}));
    }
  }
  TextBuffer line;  // one line: a buffer of its own
  WriteObjectLog(trac, convert, line, {u"WD "sv, report_text});
  return 0;
}

}  // namespace

std::int32_t SendOex(const HostObject& step_run_modul, const HostObject& step_trac,
                     Conversions convert, std::u16string_view report_text) noexcept {
  try {
    return Exchange(step_run_modul, step_trac, convert, report_text);
  } catch (...) {
    // The report never fails the step; what the module already did stays done.
    return kFailure;
  }
}

}  // namespace clasp
