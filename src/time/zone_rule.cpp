#include "time/zone_rule.h"

#include "time/civil.h"

namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// One to three digits whose value lies in low to high.
bool number(const char*& p, int low, int high, int* value) {
  if (!is_digit(*p)) return false;
  int v = 0;
  for (int n = 0; is_digit(*p); ++n) {
    if (n == 3) return false;
    v = v * 10 + (*p++ - '0');
  }
  *value = v;
  return v >= low && v <= high;
}

// A zone's name: three or more letters, or between '<' and '>' three or
// more letters, digits, '+' and '-'.
bool name(const char*& p) {
  const bool quoted = *p == '<';
  if (quoted) ++p;
  int length = 0;
  while (is_letter(*p) ||
         (quoted && (is_digit(*p) || *p == '+' || *p == '-'))) {
    ++p;
    ++length;
  }
  if (quoted && *p++ != '>') return false;
  return length >= 3;
}

// hh[:mm[:ss]] in seconds, hh at most `hours`; a sign before it negates.
bool clock(const char*& p, int hours, std::int64_t* seconds) {
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  int h = 0, m = 0, s = 0;
  if (!number(p, 0, hours, &h)) return false;
  if (*p == ':' && !number(++p, 0, 59, &m)) return false;
  if (*p == ':' && !number(++p, 0, 59, &s)) return false;
  *seconds = (negative ? -1 : 1) * (h * 3600 + m * 60 + s);
  return true;
}

// A TZ offset says hours west of UTC; the rule keeps seconds east.
bool offset(const char*& p, std::int64_t* east) {
  std::int64_t west = 0;
  if (!clock(p, 24, &west)) return false;
  *east = -west;
  return true;
}

bool change(const char*& p, zone_change* c) {
  c->form = *p == 'J' || *p == 'M' ? *p++ : 'n';
  if (c->form == 'J' && !number(p, 1, 365, &c->day)) return false;
  if (c->form == 'n' && !number(p, 0, 365, &c->day)) return false;
  if (c->form == 'M' &&
      !(number(p, 1, 12, &c->month) && *p++ == '.' &&
        number(p, 1, 5, &c->week) && *p++ == '.' &&
        number(p, 0, 6, &c->weekday)))
    return false;
  c->time = 2 * 3600;
  return *p != '/' || clock(++p, 167, &c->time);
}

bool is_leap(int year) {
  civil_time leap_day;
  leap_day.year = year;
  leap_day.month = 2;
  leap_day.day = 29;
  return civil_exists(leap_day);
}

// Days since 1970-01-01 of the first of a month.
std::int64_t first_of(int year, int month) {
  civil_time first;
  first.year = year;
  first.month = month;
  return utc_instant(first) / kDay;
}

// The day of a year a change falls on, in days since 1970-01-01.
std::int64_t change_day(const zone_change& c, int year) {
  if (c.form == 'J')
    return first_of(year, 1) + c.day - 1 + (is_leap(year) && c.day >= 60);
  if (c.form == 'n') return first_of(year, 1) + c.day;
  const std::int64_t first = first_of(year, c.month);
  const std::int64_t next =
      c.month == 12 ? first_of(year + 1, 1) : first_of(year, c.month + 1);
  // 1970-01-01 was a Thursday.
  const std::int64_t weekday = ((first + 4) % 7 + 7) % 7;
  std::int64_t day = (c.weekday - weekday + 7) % 7;
  for (int week = 1; week < c.week && first + day + 7 < next; ++week) day += 7;
  return first + day;
}

// The instant of a change in a year, its time read by the clock in force
// before it.
std::int64_t change_instant(const zone_change& c, int year,
                            std::int64_t offset_before) {
  return change_day(c, year) * kDay + c.time - offset_before;
}

}  // anonymous namespace

bool read_zone_rule(const char* text, zone_rule* rule) {
  const char* p = text;
  zone_rule r;
  if (!name(p) || !offset(p, &r.standard_offset) || !name(p)) return false;
  r.daylight_offset = r.standard_offset + 3600;
  if ((*p == '+' || *p == '-' || is_digit(*p)) &&
      !offset(p, &r.daylight_offset))
    return false;
  if (*p++ != ',' || !change(p, &r.daylight_starts) || *p++ != ',' ||
      !change(p, &r.daylight_ends) || *p != '\0')
    return false;
  *rule = r;
  return true;
}

// As glibc: both changes of the instant's year by UTC.
std::int64_t zone_offset_at(const zone_rule& rule, std::int64_t instant) {
  const int year = utc_civil(instant).year;
  const std::int64_t starts =
      change_instant(rule.daylight_starts, year, rule.standard_offset);
  const std::int64_t ends =
      change_instant(rule.daylight_ends, year, rule.daylight_offset);
  const bool daylight = starts > ends ? instant < ends || instant >= starts
                                      : instant >= starts && instant < ends;
  return daylight ? rule.daylight_offset : rule.standard_offset;
}
