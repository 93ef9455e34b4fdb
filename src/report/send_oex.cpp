#include "report/send_oex.h"

#include "host/convert.h"
#include "output/trace.h"

namespace clasp {
namespace {

constexpr std::int32_t kControlNumForFlag2 = 6;
constexpr std::int32_t kCommReady = 0;
constexpr std::int32_t kWriteOnlyAbove = 0;
constexpr std::int32_t kUnpackWanted = 1;

HostValue Text(const char16_t* text) { return HostValue::Text(text); }

std::int32_t Exchange(const HostObject& run, const HostObject& trac,
                      const std::u16string& report_text) {
  std::u16string detail_flag =
      EqualsInt(run.Invoke(u"ControlNum"), kControlNumForFlag2) ? u"2" : u"1";
  // The module may rewrite the flag through the reference; we never read it back.
  ToInt32(run.Invoke(u"WriteDetailFileName", Text(u"CRD"), Text(u"0"), Text(u"0"),
                     HostValue::TextRef(detail_flag)));
  if (ToInt32(run.Invoke(u"PackMessage", Text(u"OEX"))) != 0) return kFailure;
  if (!EqualsInt(run.Invoke(u"CommSign"), kCommReady)) return kFailure;
  const char16_t* send_member = GreaterThanInt(run.Invoke(u"IsWriteOnly"), kWriteOnlyAbove)
                                    ? u"StepCommWriteOnly"
                                    : u"StepCommWrite";
  {
    HostValue message = run.Invoke(u"SendMessage");
    HostValue length = run.Invoke(u"SendMessageLen");
    if (ToInt32(run.Invoke(send_member, std::move(message), std::move(length))) != 0) {
      return kFailure;
    }
  }
  if (EqualsInt(run.Invoke(u"IsUnPackOex"), kUnpackWanted)) {
    HostValue time_out = run.Invoke(u"TimeOutComm");
    HostValue message = run.Invoke(u"RecieveMessage");
    HostValue length = run.Invoke(u"RecieveMessageLen");
    // A failed read is not reported: there is just nothing to unpack.
    if (ToInt32(run.Invoke(u"StepCommRead", std::move(time_out), std::move(message),
                           std::move(length))) == 0) {
      ToInt32(run.Invoke(u"UnpackMessage", Text(u"OEX")));
    }
  }
  WriteObjectLog(trac, u"WD " + report_text);
  return 0;
}

}  // namespace

std::int32_t SendOex(const HostObject& step_run_modul, const HostObject& step_trac,
                     const std::u16string& report_text) noexcept {
  try {
    return Exchange(step_run_modul, step_trac, report_text);
  } catch (...) {
    // The report never fails the step; what the module already did stays done.
    return kFailure;
  }
}

}  // namespace clasp
