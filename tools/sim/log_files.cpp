#include "sim/log_files.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "host/failure.h"

namespace clasp::sim {
namespace {

constexpr std::array<const char*, kLogFileCount> kNames{"object.log", "PrintJournal.log",
                                                        "journal.txt", "detail.txt"};
constexpr std::size_t kTimeLength = 19;  // YYYY-MM-DD HH:MM:SS

}  // namespace

std::optional<Clock> Clock::Fixed(const std::string& text) {
  int year, month, day, hour, minute, second;
  char tail;
  if (text.size() != kTimeLength ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour,
                  &minute, &second, &tail) != 6 ||
      month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  Clock clock;
  clock.fixed_ = text;
  return clock;
}

std::string Clock::Now() const {
  if (!fixed_.empty()) return fixed_;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char buffer[kTimeLength + 1];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

std::string LogFiles::Name(LogFile file) { return kNames[static_cast<int>(file)]; }

std::string LogFiles::Path(LogFile file) const {
  return folder_.empty() ? Name(file) : folder_ + "/" + Name(file);
}

void LogFiles::Append(LogFile file, const std::string& text) {
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::create_directories(folder_, ignored);
  std::ofstream out(Path(file), std::ios::binary | std::ios::app);
  out << clock_.Now() << "  " << text << '\n';
  out.flush();
  if (!out) throw Failure::Standard(kFileAccessError);
  ++lines_[static_cast<int>(file)];
}

std::vector<FileWritten> LogFiles::Written() const {
  std::vector<FileWritten> written;
  for (int i = 0; i < kLogFileCount; ++i) {
    if (lines_[i] > 0) written.push_back({Path(static_cast<LogFile>(i)), lines_[i]});
  }
  return written;
}

}  // namespace clasp::sim
