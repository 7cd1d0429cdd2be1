#include "time/when.h"

#include "time/civil.h"
#include "time/scan.h"

namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;
// The farthest -N or +N may reach, about 10000 years: far enough for any
// log, near enough that no sum with a real instant overflows.
constexpr std::int64_t kFarthest = 10000LL * 366 * kDay;

// "H:MM" or "HH:MM", then optionally ":SS".
bool take_clock(scan& in, civil_time* t) {
  if (!take_number(in, 2, &t->hour) && !take_number(in, 1, &t->hour))
    return false;
  if (!in.take(':') || !take_number(in, 2, &t->minute)) return false;
  t->second = 0;
  return !in.take(':') || take_number(in, 2, &t->second);
}

// Now's date in local time, moved by days.
civil_time local_day(std::int64_t now, int days) {
  civil_time today = local_civil(now);
  today.hour = today.minute = today.second = 0;
  return utc_civil(utc_instant(today) + days * kDay);
}

bool read_relative(scan in, std::int64_t now, std::int64_t* instant) {
  const bool back = in.peek() == '-';
  if (!in.take('-') && !in.take('+')) return false;
  std::int64_t count = 0;
  const std::size_t digits = in.at;
  while (is_ascii_digit(in.peek())) {
    count = count * 10 + (in.peek() - '0');
    ++in.at;
    if (count > kFarthest) return false;
  }
  if (in.at == digits) return false;
  static constexpr struct {
    std::string_view name;
    std::int64_t seconds;
  } kUnits[] = {
      {"s", 1}, {"min", 60}, {"h", 3600}, {"d", kDay}, {"w", 7 * kDay}};
  for (const auto& unit : kUnits) {
    if (in.text.substr(in.at) != unit.name) continue;
    if (count > kFarthest / unit.seconds) return false;
    *instant = back ? now - count * unit.seconds : now + count * unit.seconds;
    return true;
  }
  return false;
}

// "YYYY-MM-DD", optionally with a clock after ' ' or 'T', then optionally
// 'Z', an offset or " UTC"; nothing after.
bool read_date(scan in, std::int64_t* instant) {
  civil_time t;
  if (!take_number(in, 4, &t.year) || !in.take('-') ||
      !take_number(in, 2, &t.month) || !in.take('-') ||
      !take_number(in, 2, &t.day))
    return false;
  const bool clock_next =
      (in.peek() == ' ' || in.peek() == 'T') && is_ascii_digit(in.peek(1));
  if (clock_next && !(in.take(in.peek()) && take_clock(in, &t))) return false;
  int offset = 0;
  const bool has_offset = in.peek() == '+' || in.peek() == '-';
  if (has_offset && !take_offset(in, &offset)) return false;
  const bool universal = has_offset || in.take('Z') || in.take(" UTC");
  if (!in.done() || !civil_exists(t)) return false;
  *instant = universal ? utc_instant(t) - offset : local_instant(t);
  return true;
}

// "H:MM[:SS]": today at that time.
bool read_clock(scan in, std::int64_t now, std::int64_t* instant) {
  civil_time t = local_day(now, 0);
  if (!take_clock(in, &t) || !in.done() || !civil_exists(t)) return false;
  *instant = local_instant(t);
  return true;
}

}  // anonymous namespace

bool read_when(std::string_view text, std::int64_t now, std::int64_t* instant) {
  static constexpr struct {
    std::string_view word;
    int days;
  } kDays[] = {{"today", 0}, {"yesterday", -1}, {"tomorrow", 1}};
  if (text == "now") {
    *instant = now;
    return true;
  }
  for (const auto& day : kDays) {
    if (text != day.word) continue;
    *instant = local_instant(local_day(now, day.days));
    return true;
  }
  const scan in{text};
  if (in.peek() == '-' || in.peek() == '+')
    return read_relative(in, now, instant);
  if (is_ascii_digit(in.peek(2)) && in.peek(4) == '-')
    return read_date(in, instant);
  return read_clock(in, now, instant);
}
