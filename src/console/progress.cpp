#include "console/progress.h"

#include <cstdio>
#include <string>

#include "console/console.h"

namespace {

using clock = std::chrono::steady_clock;

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kUpdateEvery = std::chrono::milliseconds(250);

// Bytes in the unit that keeps three figures or so: 812 kB, 45.3 MB.
std::string amount(double bytes) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1000 && unit < 4) {
    bytes /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 || bytes >= 100 ? "%.0f %s"
                                                             : "%.1f %s",
                bytes, kUnits[unit]);
  return text;
}

// Blanks, not a tab, at the start: the line is measured to be overwritten.
std::string progress_text(const read_progress& progress,
                          std::uint64_t bytes_read, double seconds) {
  const auto read = static_cast<double>(bytes_read);
  std::string text = "        Read ";
  if (progress.total != 0) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f%%",
                  100.0 * read / static_cast<double>(progress.total));
    text += percent;
  } else {
    text += amount(read);
  }
  text += progress.log_count == 1
              ? std::string(" of the log, ")
              : " of log " + std::to_string(progress.log_number) + " of " +
                    std::to_string(progress.log_count) + ", ";
  text += amount(read / seconds) + "/s";
  if (progress.skipped != 0)
    text += ", " + std::to_string(progress.skipped) +
            (progress.skipped == 1 ? " log" : " logs") +
            " skipped by the time window";
  return text;
}

}  // anonymous namespace

read_progress start_progress(std::uint64_t total, std::size_t log_number,
                             std::size_t log_count) {
  read_progress progress;
  progress.total = total;
  progress.log_number = log_number;
  progress.log_count = log_count;
  progress.started = progress.shown = clock::now();
  return progress;
}

void update_progress(read_progress& progress, std::uint64_t bytes_read) {
  const clock::time_point now = clock::now();
  if (now - progress.started < kQuietStart ||
      now - progress.shown < kUpdateEvery)
    return;
  progress.shown = now;
  const std::chrono::duration<double> elapsed = now - progress.started;
  show_transient(progress_text(progress, bytes_read, elapsed.count()));
}

void end_progress() { erase_transient(); }
