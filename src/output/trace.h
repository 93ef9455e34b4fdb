// Trace lines through the host's trace writer (`StepTrac.TraceWrite`).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/convert.h"
#include "host/host_object.h"

namespace clasp {

// The trace writer's two log files and the source name of the object log.
inline constexpr std::u16string_view kObjectLogPath = u"c:\\orbis\\qz\\log\\object.log";
inline constexpr std::u16string_view kPrintJournalLogPath =
    u"c:\\orbis\\qz\\log\\PrintJournal.log";
inline constexpr std::u16string_view kObjectLogSource = u"Clench";

// Hands one line to the object log. The text is taken by value: the writer gets
// a reference to our private copy, so whatever it does to it stays here.
// Failures pass to the caller; the answer is converted with `convert` even
// though callers ignore it.
// WriteObjectLogFrom takes the writer's copy made by the caller, who may keep
// it (and its buffer) for the next line: whatever the writer does to it stays there.
std::int32_t WriteObjectLogFrom(const HostObject& step_trac, Conversions convert,
                                std::u16string& copy);
inline std::int32_t WriteObjectLog(const HostObject& step_trac, Conversions convert,
                                   std::u16string log_text) {
  return WriteObjectLogFrom(step_trac, convert, log_text);
}

// Hands one line to the print-journal log, with an empty source name; the
// copy as in WriteObjectLogFrom.
std::int32_t WritePrintLogFrom(const HostObject& step_trac, Conversions convert,
                               std::u16string& copy);
inline std::int32_t WritePrintLog(const HostObject& step_trac, Conversions convert,
                                  std::u16string log_text) {
  return WritePrintLogFrom(step_trac, convert, log_text);
}

}  // namespace clasp
