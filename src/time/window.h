#pragma once
// The time window a run keeps: the lines whose time lies between its two
// ends, both inclusive, either end open.

#include <cstdint>
#include <limits>
#include <string>

/// A log's lines are in time order to within this many seconds: what the
/// window's skipping relies on, and nothing else. Near the autumn change
/// the skipping allows as much again as the clock goes back, since a local
/// stamp of the repeated hour's second pass reads that much earlier than
/// its line was written.
constexpr std::int64_t kOrderSlack = 15 * 60;

struct time_window {
  std::int64_t since = std::numeric_limits<std::int64_t>::min();
  std::int64_t until = std::numeric_limits<std::int64_t>::max();
  bool has_since = false;
  bool has_until = false;

  bool set() const { return has_since || has_until; }
  bool holds(std::int64_t t) const { return t >= since && t <= until; }
  /// True when every line at or after a line of time t is past the window.
  bool ended_by(std::int64_t t) const;
  /// True when every line written up to instant t is before the window.
  bool all_before(std::int64_t t) const;
};

/// The window's start as "YYYY-MM-DD HH:MM:SS" in local time, or "the
/// first line" when it has none.
std::string since_text(const time_window& window);

/// The window's end as "YYYY-MM-DD HH:MM:SS" in local time, or "the last
/// line" when it has none.
std::string until_text(const time_window& window);
