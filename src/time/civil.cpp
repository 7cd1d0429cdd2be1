#include "time/civil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "time/zone_rule.h"

namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;

bool is_leap(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar,
// counted in eras of 400 years (146097 days) that start on 1 March, so
// that the leap day is the last of its year.
std::int64_t days_from_civil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year =
      (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// The inverse of days_from_civil.
void civil_from_days(std::int64_t days, civil_time* t) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 +
                                    day_of_era / 36524 - day_of_era / 146096) /
                                   365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  t->day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  t->month = static_cast<int>(shifted_month < 10 ? shifted_month + 3
                                                 : shifted_month - 9);
  t->year = static_cast<int>(year_of_era + era * 400 + (t->month <= 2 ? 1 : 0));
}

// Seconds east of UTC in force at an instant.
std::int64_t offset_at(std::int64_t instant) {
  return utc_instant(local_civil(instant)) - instant;
}

// Instants this far either side of 1970 at most are read by a TZ's rules;
// beyond, the year overflows long before a rule matters.
constexpr std::int64_t kRuleReach = std::int64_t{1} << 40;

// What TZ held when a thread last looked, and its rules of change if it
// has any this reader takes. Looked at on each conversion, as the C
// library does, but read again only when it changed.
struct zone_seen {
  char text[128];
  bool cached = false;
  bool has_rule = false;
  zone_rule rule;
};

// The rules of change TZ gives, or null: then the C library's reading
// stands (no TZ, a zone's name, a string without rules).
const zone_rule* tz_rule() {
  thread_local zone_seen seen;
  const char* tz = std::getenv("TZ");
  if (tz == nullptr) return nullptr;
  if (!seen.cached || std::strcmp(seen.text, tz) != 0) {
    seen.has_rule = read_zone_rule(tz, &seen.rule);
    // One too long to keep is read each time, rather than mistaken.
    seen.cached = std::strlen(tz) < sizeof seen.text;
    if (seen.cached) std::strcpy(seen.text, tz);
  }
  return seen.has_rule ? &seen.rule : nullptr;
}

}  // anonymous namespace

bool civil_exists(const civil_time& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= days_in_month(t.year, t.month) && t.hour >= 0 &&
         t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
         t.second <= 59;
}

std::int64_t utc_instant(const civil_time& t) {
  return days_from_civil(t.year, t.month, t.day) * kDay + t.hour * 3600 +
         t.minute * 60 + t.second;
}

civil_time utc_civil(std::int64_t instant) {
  std::int64_t days = instant / kDay;
  std::int64_t seconds = instant % kDay;
  if (seconds < 0) {
    seconds += kDay;
    --days;
  }
  civil_time t;
  civil_from_days(days, &t);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

// The instant is u - offset for the offset in force then, u being the time
// read as UTC. Offsets from a day either side cover any change near it;
// each is kept only where it is the one in force at the instant it gives.
std::int64_t local_instant(const civil_time& t) {
  const std::int64_t as_utc = utc_instant(t);
  const std::int64_t before = offset_at(as_utc - kDay);
  const std::int64_t after = offset_at(as_utc + kDay);
  const std::int64_t between = offset_at(as_utc - before);
  bool found = false;
  std::int64_t earliest = 0;
  for (const std::int64_t offset : {before, between, after}) {
    const std::int64_t instant = as_utc - offset;
    if (offset_at(instant) != offset || (found && instant >= earliest))
      continue;
    earliest = instant;
    found = true;
  }
  // None: the clock skipped the time; read it as the clock before did.
  return found ? earliest : as_utc - before;
}

std::int64_t clock_set_back_near(std::int64_t instant) {
  constexpr std::int64_t kNear = 3 * 3600;
  const std::int64_t back =
      offset_at(instant - kNear) - offset_at(instant + kNear);
  return back > 0 ? back : 0;
}

civil_time local_civil(std::int64_t instant) {
  // Each C library reads a TZ with rules in its own way; this is read alike
  // everywhere.
  const zone_rule* rule = tz_rule();
  if (rule != nullptr && instant > -kRuleReach && instant < kRuleReach)
    return utc_civil(instant + zone_offset_at(*rule, instant));
  std::tm local{};
  // Where the C library cannot say, UTC is the best there is.
  if (!platform_local_time(instant, &local)) return utc_civil(instant);
  civil_time t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  return t;
}

std::string local_text(std::int64_t instant) {
  const civil_time t = local_civil(instant);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return text;
}
