#include "road_hosts.h"

#include "support/com_values.h"

namespace clasp::testing {
namespace {

// A reader answer that is neither retained nor not retained: a device fault.
constexpr LONG kDeviceFault = 5;
// A display answer other than 0 stops the step.
constexpr LONG kDisplayRefused = 1;
constexpr SHORT kScreenAnswer = 420;
constexpr wchar_t kRaised[] = L"host raised";

// Remembers the line of each TraceWrite(path, line, source); DISPPARAMS holds
// the last argument first.
HostAction KeepTraceLine(std::shared_ptr<std::wstring> last_trace) {
  return [last_trace](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
    constexpr UINT kLineFromEnd = 2;
    if (params.cArgs < kLineFromEnd) return S_OK;
    const VARIANT& line = params.rgvarg[params.cArgs - kLineFromEnd];
    const BSTR text = V_VT(&line) == VT_BSTR                ? V_BSTR(&line)
                      : V_VT(&line) == (VT_BYREF | VT_BSTR) ? *V_BSTRREF(&line)
                                                            : nullptr;
    last_trace->assign(text ? text : L"", text ? SysStringLen(text) : 0);
    return S_OK;
  };
}

// Each road's name and what Cols answers on it when nothing goes wrong, in
// the order of RoadHosts::Road.
constexpr struct {
  const char* name;
  LONG normal;
} kRoads[] = {{"capture", kRetainedCode},     {"not retained", 0},
              {"device fault", kDeviceFault}, {"display failure", kDisplayFailureCode},
              {"failure path", kFailureCode}, {"failure in the failure path", 0}};

}  // namespace

RoadHosts::RoadHosts(Road road) {
  disp->Returns(L"ScreenDisplay", MakeI4(0).Get())
      .Returns(L"ScreenNo", MakeI4(kScreenAnswer).Get());
  run->Returns(L"TransAction1", MakeText(L"0000").Get());
  trac->Calls(L"TraceWrite", KeepTraceLine(last_trace));
  switch (road) {
    case Road::kCapture: mks->Returns(L"CardReaderRetain", MakeI4(kRetainedCode).Get()); break;
    case Road::kNotRetained: mks->Returns(L"CardReaderRetain", MakeI4(0).Get()); break;
    case Road::kDeviceFault: mks->Returns(L"CardReaderRetain", MakeI4(kDeviceFault).Get()); break;
    case Road::kDisplayFailure:
      disp->Returns(L"ScreenDisplay", MakeI4(kDisplayRefused).Get());
      break;
    case Road::kFailurePath: mks->Raises(L"CardReaderRetain", kHostRaise, kRaised); break;
    case Road::kFailureInFailurePath:
      mks->Raises(L"CardReaderRetain", kHostRaise, kRaised);
      jour->Raises(L"JournalWriteMsg", kHostRaise, kRaised);
      break;
  }
}

LONG NormalResult(RoadHosts::Road road) { return kRoads[static_cast<int>(road)].normal; }

const char* RoadName(RoadHosts::Road road) { return kRoads[static_cast<int>(road)].name; }

}  // namespace clasp::testing
