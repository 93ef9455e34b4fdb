// The simulated hosts' files: the two trace logs, the journal and the detail
// records, all UTF-8, appended line by line under one folder.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "sim/report.h"

namespace clasp::sim {

// The files the simulated hosts write.
enum class LogFile { kObjectLog, kPrintJournalLog, kJournal, kDetail };
inline constexpr int kLogFileCount = 4;

// Wall clock, or a fixed instant so that files and transcripts repeat exactly.
class Clock {
 public:
  // "YYYY-MM-DD HH:MM:SS"; nothing when the text is not such a time.
  static std::optional<Clock> Fixed(const std::string& text);
  static Clock System() { return Clock(); }
  // The current time as "YYYY-MM-DD HH:MM:SS".
  std::string Now() const;

 private:
  std::string fixed_;
};

// Appends lines to the files in one folder, creating it when first needed.
class LogFiles {
 public:
  LogFiles(std::string folder, Clock clock) : folder_(std::move(folder)), clock_(clock) {}

  // Appends one line (no line end in `text`); a time stamp is put in front.
  // Raises Failure 75 when the file cannot be written, as a host's file access would.
  void Append(LogFile file, const std::string& text);
  // File name inside the folder: "object.log", ...
  static std::string Name(LogFile file);
  std::string Path(LogFile file) const;
  const Clock& GetClock() const { return clock_; }
  // The files written during this run, in a fixed order.
  std::vector<FileWritten> Written() const;

 private:
  std::string folder_;
  Clock clock_;
  std::array<int, kLogFileCount> lines_{};
};

}  // namespace clasp::sim
