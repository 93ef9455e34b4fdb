// The five step objects of one component for load and failure-injection runs,
// set up for one road of Cols: shared test hosts made without a log, so that
// thousands of calls cost the hosts nothing and leave nothing behind.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>

#include "support/dispatch_host.h"

namespace clasp::testing {

// The result codes the component answers on its roads.
inline constexpr LONG kRetainedCode = 10120011;
inline constexpr LONG kDisplayFailureCode = 10140003;
inline constexpr LONG kFailureCode = 10010003;
// What a raising host member reports: an automation error number.
inline constexpr SCODE kHostRaise = static_cast<SCODE>(0x800A04D2);

struct RoadHosts : StepHosts {
  enum class Road { kCapture, kNotRetained, kDeviceFault, kDisplayFailure, kFailurePath,
                    kFailureInFailurePath };
  explicit RoadHosts(Road road);

  // The text of the last line handed to TraceWrite.
  const std::wstring& LastTrace() const { return *last_trace; }

  std::shared_ptr<std::wstring> last_trace = std::make_shared<std::wstring>();
};

// What Cols answers on a road when nothing goes wrong; 0 for the road that
// fails the call itself.
LONG NormalResult(RoadHosts::Road road);
// The road's name, for output.
const char* RoadName(RoadHosts::Road road);

}  // namespace clasp::testing
