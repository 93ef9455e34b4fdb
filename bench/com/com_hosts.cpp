#include "com_hosts.h"

#include <utility>

#include "support/com_values.h"

namespace clasp::bench {
namespace {

using testing::DispatchHost;
using testing::HostOptions;
using testing::MakeI2;
using testing::MakeI4;
using testing::MakeText;

constexpr SHORT kScreenAnswer = 420;
constexpr SHORT kJournalDevice = 1;
constexpr SHORT kUnpackWanted = 1;
constexpr LONG kRetainedCode = 10120011;
constexpr LONG kMessageLength = 64;
constexpr LONG kTimeOut = 30;
constexpr LONG kReaderFailure = 1234;

// As the hosts of a terminal are: script class objects, reached by name only
// through IDispatchEx::GetDispID.
HostOptions Options(const std::shared_ptr<testing::CallLog>& log) {
  return HostOptions{.binding = testing::Binding::kScriptLike, .log = log};
}

}  // namespace

ComHosts::ComHosts(Path path, std::shared_ptr<testing::CallLog> log)
    : disp(DispatchHost::Create("StepDisp", Options(log))),
      mks(DispatchHost::Create("StepMks", Options(log))),
      run(DispatchHost::Create("StepRunModul", Options(log))),
      trac(DispatchHost::Create("StepTrac", Options(log))),
      jour(DispatchHost::Create("StepJour", Options(log))) {
  disp->Returns(L"ScreenDisplay", MakeI4(0).Get())
      .Returns(L"ScreenNo", MakeI2(kScreenAnswer).Get())
      .Knows(L"DisapleVal01")
      .Knows(L"DisapleVal02")
      .Knows(L"DisapleVal03")
      .Knows(L"DisapleVal04");
  if (path == Path::kCapture) {
    mks->Returns(L"CardReaderRetain", MakeI4(kRetainedCode).Get());
  } else {
    mks->Raises(L"CardReaderRetain", MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, kReaderFailure),
                L"Card jammed");
  }
  run->Returns(L"TransAction1", MakeText(L"0000").Get())
      .Returns(L"IsJRNDevice", MakeI2(kJournalDevice).Get())
      .Returns(L"RecordMessage", MakeI4(0).Get())
      .Knows(L"ExcepCode")
      .Returns(L"ControlNum", MakeI4(0).Get())
      .Returns(L"WriteDetailFileName", MakeI4(0).Get())
      .Returns(L"PackMessage", MakeI4(0).Get())
      .Returns(L"CommSign", MakeI4(0).Get())
      .Returns(L"IsWriteOnly", MakeI4(0).Get())
      .Returns(L"SendMessage", MakeText(L"OEX0000000000000").Get())
      .Returns(L"SendMessageLen", MakeI4(kMessageLength).Get())
      .Returns(L"StepCommWrite", MakeI4(0).Get())
      .Returns(L"IsUnPackOex", MakeI2(kUnpackWanted).Get())
      .Returns(L"TimeOutComm", MakeI4(kTimeOut).Get())
      .Returns(L"RecieveMessage", MakeText(L"").Get())
      .Returns(L"RecieveMessageLen", MakeI4(0).Get())
      .Returns(L"StepCommRead", MakeI4(0).Get())
      .Returns(L"UnpackMessage", MakeI4(0).Get());
  trac->Returns(L"TraceWrite", MakeI4(0).Get());
  jour->Knows(L"isjrn")
      .Knows(L"TimeSig")
      .Knows(L"ChnPromptString")
      .Knows(L"EngPromptString")
      .Returns(L"JournalWriteMsg", MakeI4(0).Get());
}

bool ComHosts::GiveTo(IDispatch* component) const {
  const std::pair<const wchar_t*, DispatchHost*> fields[] = {
      {L"StepDisp", disp.Get()}, {L"StepMks", mks.Get()}, {L"StepRunModul", run.Get()},
      {L"StepTrac", trac.Get()}, {L"StepJour", jour.Get()}};
  for (const auto& [field, host] : fields) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(field)};
    if (FAILED(component->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
      return false;
    }
    VARIANT object;
    V_VT(&object) = VT_DISPATCH;
    V_DISPATCH(&object) = host;  // borrowed for the call
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&object, &named, 1, 1};
    if (FAILED(component->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF,
                                 &params, nullptr, nullptr, nullptr))) {
      return false;
    }
  }
  return true;
}

}  // namespace clasp::bench
