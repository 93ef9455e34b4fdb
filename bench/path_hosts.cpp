#include "path_hosts.h"

#include "component/holdfast.h"
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

HostSet HostsFor(Path path, std::shared_ptr<testing::AccessLog> log) {
  HostSet hosts(std::move(log));
  hosts.disp->Returns(u"ScreenDisplay",
                      HostValue::I4(path == Path::kDisplayFailure ? kDisplayFaultCode : 0))
      .Returns(u"ScreenNo", HostValue::I2(kScreenAnswer));
  switch (path) {
    case Path::kCapture: hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kRetained)); break;
    case Path::kDeviceFault:
      hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kDeviceFaultCode));
      break;
    case Path::kFailure:
      hosts.mks->Raises(u"CardReaderRetain", Failure(kReaderFailure, u"Card jammed"));
      break;
    case Path::kDisplayFailure: break;
  }
  hosts.run->Returns(u"TransAction1", HostValue::Text(u"0000"))
      .Returns(u"IsJRNDevice", HostValue::I2(kJournalDevice))
      .Returns(u"RecordMessage", HostValue::I4(0))
      .Returns(u"ControlNum", HostValue::I4(0))
      .Returns(u"WriteDetailFileName", HostValue::I4(0))
      .Returns(u"PackMessage", HostValue::I4(0))
      .Returns(u"CommSign", HostValue::I4(0))
      .Returns(u"IsWriteOnly", HostValue::I4(0))
      .Returns(u"SendMessage", HostValue::Text(u"OEX0000000000000"))
      .Returns(u"SendMessageLen", HostValue::I4(kMessageLength))
      .Returns(u"StepCommWrite", HostValue::I4(0))
      .Returns(u"IsUnPackOex", HostValue::I2(kUnpackWanted))
      .Returns(u"TimeOutComm", HostValue::I4(kTimeOut))
      .Returns(u"RecieveMessage", HostValue::Text(u""))
      .Returns(u"RecieveMessageLen", HostValue::I4(0))
      .Returns(u"StepCommRead", HostValue::I4(0))
      .Returns(u"UnpackMessage", HostValue::I4(0));
  hosts.trac->Returns(u"TraceWrite", HostValue::I4(0));
  hosts.jour->Returns(u"JournalWriteMsg", HostValue::I4(0));
  return hosts;
}

}  // namespace clasp::bench
