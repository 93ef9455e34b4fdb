// Bilingual journal entries through the host's journal printer step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/convert.h"
#include "host/host_object.h"
#include "output/text_buffer.h"

namespace clasp {

// The TimeSig value with which an entry skips the print-journal log and is
// written with isjrn 0; it is handed on to the printer as 1.
inline constexpr std::int16_t kTimeSigWithoutPrintLog = 11;
inline constexpr std::int16_t kTimeSigStandard = 1;

// The host objects one journal entry touches.
struct JournalHosts {
  const HostObject& StepTrac;
  const HostObject& StepJour;
  const HostObject& StepRunModul;
};

// Writes one entry and sets isjrn again from the run-time module's IsJRNDevice.
// Rewrites 11 to 1 in the caller's `time_sig`. Failures pass to the caller with
// whatever was done before them left done. Returns JournalWriteMsg's answer,
// and the trace writer's, converted with `convert`. The prompts are lent to the
// puts as they are, never copied for them; the print-journal log's copy of the
// English prompt is made in `buffer`.
std::int32_t WriteJournal(const JournalHosts& hosts, Conversions convert, TextBuffer& buffer,
                          const std::u16string& chn_prompt, const std::u16string& eng_prompt,
                          std::int16_t& time_sig);

}  // namespace clasp
