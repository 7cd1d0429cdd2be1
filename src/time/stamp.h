#pragma once
// The stamp a log line begins with, as syslog servers and firewalls write
// it, and the instant it names once the year it may leave out is known.

#include <cstdint>
#include <string_view>

#include "time/civil.h"

/// What a line's leading stamp says.
struct line_stamp {
  civil_time when;         // when.year is 0 when the stamp has no year
  bool has_year = false;
  bool has_offset = false;  // Z or +HH:MM/-HH:MM: an instant, not local
  int offset_seconds = 0;   // east of UTC
};

/// Reads the stamp a line begins with: after optional blanks, an optional
/// priority "<N>" (optionally followed by "1 " and by one ':' or '.'),
/// blanks, then "Mmm D HH:MM:SS", "Mmm DD YYYY HH:MM:SS" or
/// "YYYY-MM-DDTHH:MM:SS[.frac][Z|+HH:MM|-HH:MM]". Month names in English,
/// any case; a fraction is ignored. False when the line begins with none,
/// or with a date or time that does not exist.
bool read_stamp(std::string_view line, line_stamp* stamp);

/// The year of a stamp that has none: the latest year in which that date
/// and time (local) is no later than one day after last_write (an
/// instant), so a log written until 2 January holds 31 December of the
/// year before and 29 February goes to the latest leap year that fits.
int year_for(const civil_time& when_without_year, std::int64_t last_write);

/// The instant a stamp names: its offset's, or local time, with the year
/// from year_for when it has none.
std::int64_t stamp_instant(const line_stamp& stamp, std::int64_t last_write);

/// read_stamp and stamp_instant in one, cached per log: a log's lines
/// mostly share their minute, and local time conversion is dear.
struct stamp_reader {
  std::int64_t last_write = 0;  // the log's last write, an instant

  /// The instant of the stamp line begins with; false when it has none.
  bool instant_of(std::string_view line, std::int64_t* instant);

 private:
  // The last minute converted: its stamp's fields (seconds 0), its
  // instant, and the last write its year was taken from.
  line_stamp cached_{};
  std::int64_t cached_minute_ = 0;
  std::int64_t cached_last_write_ = 0;
  bool cached_valid_ = false;
};
