// Trace lines through the host's trace writer (`StepTrac.TraceWrite`).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "host/convert.h"
#include "host/host_object.h"
#include "output/text_buffer.h"

namespace clasp {

// The trace writer's two log files and the source name of the object log.
inline constexpr std::u16string_view kObjectLogPath = u"c:\\orbis\\qz\\log\\object.log";
inline constexpr std::u16string_view kPrintJournalLogPath =
    u"c:\\orbis\\qz\\log\\PrintJournal.log";
inline constexpr std::u16string_view kObjectLogSource = u"Clench";

// Hands one line, joined from `parts`, to the object log. The writer gets a
// reference to our private copy, made in `buffer`, so whatever it does to it
// stays there. Failures pass to the caller; the answer is converted with
// `convert` even though callers ignore it.
std::int32_t WriteObjectLog(const HostObject& step_trac, Conversions convert, TextBuffer& buffer,
                            std::initializer_list<std::u16string_view> parts);

// Hands one line to the print-journal log, with an empty source name; the
// copy as in WriteObjectLog.
std::int32_t WritePrintLog(const HostObject& step_trac, Conversions convert, TextBuffer& buffer,
                           std::initializer_list<std::u16string_view> parts);

}  // namespace clasp
