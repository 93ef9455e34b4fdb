// The host report: "CRD" detail record and "OEX" exchange with the bank host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/convert.h"
#include "host/host_object.h"

namespace clasp {

// The result of every failure, in the report and in the step as a whole.
inline constexpr std::int32_t kFailure = 10010003;

// Runs the exchange on the run-time module and writes the "WD " trace line,
// reading the module's answers with `convert`. Returns 0 when the message was
// sent and the line written, kFailure otherwise; never raises.
std::int32_t SendOex(const HostObject& step_run_modul, const HostObject& step_trac,
                     Conversions convert, std::u16string_view report_text) noexcept;

}  // namespace clasp
