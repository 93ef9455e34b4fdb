#include "sim/log_files.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "host/failure.h"

namespace clasp::sim {
namespace {

constexpr std::array<const char*, kLogFileCount> kNames{"object.log", "PrintJournal.log",
                                                        "journal.txt", "detail.txt"};
constexpr std::string_view kTimePattern = "0000-00-00 00:00:00";
constexpr char kDigit = '0';
constexpr std::size_t kTimeLength = kTimePattern.size();
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
constexpr int kLastSecond = 59;

}  // namespace

std::optional<Clock> Clock::Fixed(const std::string& text) {
  // Digits exactly where the pattern has them: scanning numbers alone would
  // take a sign or a blank for a digit ("2024-01-01 -1:00:00").
  if (text.size() != kTimeLength) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kTimePattern[i] == kDigit ? !digit : text[i] != kTimePattern[i]) return std::nullopt;
  }
  int year, month, day, hour, minute, second;
  std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second);
  // A day the calendar has: no 31 June, 29 February only in leap years.
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > kLastHour || minute > kLastMinute || second > kLastSecond) {
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
