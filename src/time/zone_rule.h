#pragma once
// A time zone as a POSIX TZ string with rules of change gives it, such as
// "CET-1CEST,M3.5.0,M10.5.0/3", read as glibc reads one: C libraries differ
// on such strings (Windows' keeps the United States' dates whatever they
// say), and a run must read a log's times alike everywhere.

#include <cstdint>

/// The day and time of one change of the clock, each year.
struct zone_change {
  char form = 'M';   // 'J': day 1 to 365, 29 February never counted;
                     // 'n': day 0 to 365; 'M': a weekday of a month
  int day = 0;       // J and n
  int month = 1;     // M: 1 to 12
  int week = 1;      // M: 1 to 5, 5 the month's last such weekday
  int weekday = 0;   // M: 0 (Sunday) to 6
  std::int64_t time = 2 * 3600;  // seconds past that day's midnight by the
                                 // clock before the change; may be
                                 // negative or past a day
};

/// A zone with daylight saving time: its two offsets in seconds east of
/// UTC, and when daylight saving time starts and ends each year (the start
/// after the end in the southern hemisphere).
struct zone_rule {
  std::int64_t standard_offset = 0;
  std::int64_t daylight_offset = 0;
  zone_change daylight_starts;
  zone_change daylight_ends;
};

/// Reads "std offset dst [offset],start[/time],end[/time]": names of three
/// or more letters, or of letters, digits, '+' and '-' between '<' and
/// '>'; offsets [+-]hh[:mm[:ss]] west of UTC, the daylight one an hour
/// ahead of the standard one when left out; days Jn, n or Mm.w.d; times
/// [+-]hh[:mm[:ss]], 02:00:00 when left out. False for anything else,
/// a string without rules of change included.
bool read_zone_rule(const char* text, zone_rule* rule);

/// Seconds east of UTC in force at an instant.
std::int64_t zone_offset_at(const zone_rule& rule, std::int64_t instant);
