#pragma once
// time/: stamps, the times a user writes, the year a stamp leaves out, and
// the window they make; it knows nothing of logs or reports.
// Civil times (a calendar date and a clock time) and the instants they
// name in the run's time zone (TZ), in seconds since 1970-01-01 UTC.

#include <cstdint>
#include <string>

/// A date and a time of day, as a calendar and a clock show them.
struct civil_time {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

/// True when the date exists (29 February only in leap years) and the
/// time is 00:00:00 to 23:59:59.
bool civil_exists(const civil_time& t);

/// The instant of a civil time read as UTC.
std::int64_t utc_instant(const civil_time& t);

/// The civil time of an instant in UTC.
civil_time utc_civil(std::int64_t instant);

/// The instant of a local civil time in the run's time zone. A time that
/// happens twice (the autumn change) is the earlier; one that never
/// happens (the spring change) is read with the offset in force before
/// the change, so 02:30 becomes 03:30. The time must exist (civil_exists).
std::int64_t local_instant(const civil_time& t);

/// The local civil time of an instant in the run's time zone: by the rules
/// of change where TZ is a POSIX string that gives them (the same on every
/// platform), else as the C library says.
civil_time local_civil(std::int64_t instant);

/// Seconds the clock is set back (the autumn change) within three hours
/// either side of an instant; 0 where it is not.
std::int64_t clock_set_back_near(std::int64_t instant);

/// "YYYY-MM-DD HH:MM:SS" of an instant, in local time.
std::string local_text(std::int64_t instant);
