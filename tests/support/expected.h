// Expected access-log lines for the blocks that recur in whole-sequence tests.
#pragma once

#include <string>
#include <vector>

namespace clasp::testing {

using Lines = std::vector<std::string>;

// One line to the object log, as the trace writer receives it.
inline std::string ObjectLogLine(const std::string& text, const std::string& answer = "Empty") {
  return "StepTrac.TraceWrite(Text \"c:\\orbis\\qz\\log\\object.log\", &Text \"" + text +
         "\", Text \"Clench\") -> " + answer;
}

// One line to the print-journal log: empty source name, never omitted.
inline std::string PrintLogLine(const std::string& text, const std::string& answer = "Empty") {
  return "StepTrac.TraceWrite(Text \"c:\\orbis\\qz\\log\\PrintJournal.log\", &Text \"" + text +
         "\", Text \"\") -> " + answer;
}

// A journal entry written with TimeSig 1, with the module's IsJRNDevice answer.
inline Lines JournalLines(const std::string& chn, const std::string& eng,
                          const std::string& isjrn = "Empty") {
  return {PrintLogLine(eng),
          "StepJour.TimeSig = I2 1",
          "StepJour.ChnPromptString = Text \"" + chn + "\"",
          "StepJour.EngPromptString = Text \"" + eng + "\"",
          "StepJour.JournalWriteMsg() -> Empty",
          "StepRunModul.IsJRNDevice() -> " + isjrn,
          "StepJour.isjrn = " + isjrn};
}

// Concatenates blocks of lines into one expected sequence.
inline Lines Concat(std::initializer_list<Lines> blocks) {
  Lines all;
  for (const auto& block : blocks) all.insert(all.end(), block.begin(), block.end());
  return all;
}

}  // namespace clasp::testing
