#include "com_hosts.h"

#include <utility>

#include "support/com_values.h"

namespace clasp::bench {
namespace {

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

}  // namespace

// As the hosts of a terminal are: script class objects, reached by name only
// through IDispatchEx::GetDispID.
ComHosts::ComHosts(Path path, std::shared_ptr<testing::CallLog> log)
    : StepHosts(HostOptions{.binding = testing::Binding::kScriptLike, .log = std::move(log)}) {
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

}  // namespace clasp::bench
