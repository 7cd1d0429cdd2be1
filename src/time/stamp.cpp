#include "time/stamp.h"

#include <cstddef>

#include "time/scan.h"

namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void skip_blanks(scan& in) {
  while (!in.done() && is_blank(in.peek())) ++in.at;
}

// "<N>", optionally followed by RFC 5424's version "1 ", then by one ':'
// or '.', as syslog servers leave a priority before the stamp.
void skip_priority(scan& in) {
  if (in.peek() != '<') return;
  std::size_t end = in.at + 1;
  while (end < in.text.size() && is_ascii_digit(in.text[end])) ++end;
  if (end == in.at + 1 || end >= in.text.size() || in.text[end] != '>') return;
  in.at = end + 1;
  in.take("1 ");
  if (!in.take(':')) in.take('.');
}

// An English month's three letters in any case: 1 to 12, or 0.
int month_named(std::string_view name) {
  static constexpr std::string_view kMonths =
      "janfebmaraprmayjunjulaugsepoctnovdec";
  if (name.size() != 3) return 0;
  char lower[3];
  for (std::size_t i = 0; i < 3; ++i)
    lower[i] = name[i] >= 'A' && name[i] <= 'Z'
                   ? static_cast<char>(name[i] - 'A' + 'a')
                   : name[i];
  const std::size_t at = kMonths.find(std::string_view(lower, 3));
  return at == std::string_view::npos || at % 3 != 0
             ? 0
             : static_cast<int>(at / 3 + 1);
}

bool take_clock(scan& in, civil_time* when) {
  return take_number(in, 2, &when->hour) && in.take(':') &&
         take_number(in, 2, &when->minute) && in.take(':') &&
         take_number(in, 2, &when->second);
}

// "Mmm D HH:MM:SS" (the day padded with a blank or a zero, or not at all)
// or "Mmm DD YYYY HH:MM:SS". A digit right after the seconds means they
// were not the stamp's end.
bool take_bsd_stamp(scan& in, line_stamp* stamp) {
  civil_time& when = stamp->when;
  when.month = month_named(in.text.substr(in.at, 3));
  if (when.month == 0) return false;
  in.at += 3;
  if (!in.take(' ')) return false;
  const bool padded = in.take(' ');
  if (!take_number(in, 1, &when.day)) return false;
  int second_digit = 0;
  if (!padded && take_number(in, 1, &second_digit))
    when.day = when.day * 10 + second_digit;
  if (!in.take(' ')) return false;
  stamp->has_year = in.peek(2) != ':';
  if (stamp->has_year && !(take_number(in, 4, &when.year) && in.take(' ')))
    return false;
  if (!stamp->has_year) when.year = 0;
  return take_clock(in, &when) && !is_ascii_digit(in.peek());
}

// RFC 3339: "YYYY-MM-DDTHH:MM:SS[.frac][Z|+HH:MM|-HH:MM]". A sign after
// the seconds that is no offset makes no stamp: read as local time, it
// would be hours off.
bool take_rfc3339_stamp(scan& in, line_stamp* stamp) {
  civil_time& when = stamp->when;
  if (!(take_number(in, 4, &when.year) && in.take('-') &&
        take_number(in, 2, &when.month) && in.take('-') &&
        take_number(in, 2, &when.day) && (in.take('T') || in.take('t')) &&
        take_clock(in, &when)))
    return false;
  stamp->has_year = true;
  if (in.peek() == '.' && is_ascii_digit(in.peek(1))) {
    in.take('.');
    while (is_ascii_digit(in.peek())) ++in.at;
  } else if (is_ascii_digit(in.peek())) {
    return false;
  }
  if (in.take('Z') || in.take('z')) {
    stamp->has_offset = true;
    return true;
  }
  if (in.peek() != '+' && in.peek() != '-') return true;
  stamp->has_offset = true;
  return take_offset(in, &stamp->offset_seconds);
}

}  // anonymous namespace

bool read_stamp(std::string_view line, line_stamp* stamp) {
  scan in{line};
  skip_blanks(in);
  skip_priority(in);
  skip_blanks(in);
  line_stamp read;
  const bool taken = is_ascii_digit(in.peek()) ? take_rfc3339_stamp(in, &read)
                                               : take_bsd_stamp(in, &read);
  // Without a year, a date exists when some year has it: year 0, leap in
  // the proleptic calendar, has 29 February.
  if (!taken || !civil_exists(read.when)) return false;
  *stamp = read;
  return true;
}

int year_for(const civil_time& when_without_year, std::int64_t last_write) {
  const std::int64_t latest = last_write + kDay;
  civil_time when = when_without_year;
  when.year = local_civil(latest).year;
  // 29 February is at most eight years from a leap year (2096 to 2104);
  // any other date is this year's or last year's.
  for (int tries = 0; tries < 9; ++tries, --when.year)
    if (civil_exists(when) && local_instant(when) <= latest) return when.year;
  return when.year;
}

std::int64_t stamp_instant(const line_stamp& stamp, std::int64_t last_write) {
  if (stamp.has_offset) return utc_instant(stamp.when) - stamp.offset_seconds;
  if (stamp.has_year) return local_instant(stamp.when);
  civil_time when = stamp.when;
  when.year = year_for(when, last_write);
  return local_instant(when);
}

namespace {

bool same_minute(const line_stamp& a, const line_stamp& b) {
  return a.when.year == b.when.year && a.when.month == b.when.month &&
         a.when.day == b.when.day && a.when.hour == b.when.hour &&
         a.when.minute == b.when.minute && a.has_year == b.has_year &&
         a.has_offset == b.has_offset && a.offset_seconds == b.offset_seconds;
}

}  // anonymous namespace

// A minute's seconds are its first instant's plus them: clocks change on
// whole minutes. A minute without a year whose end lies past a day after
// the last write may straddle the year rule's edge: it is not cached.
bool stamp_reader::instant_of(std::string_view line, std::int64_t* instant) {
  line_stamp stamp;
  if (!read_stamp(line, &stamp)) return false;
  if (!cached_valid_ || !same_minute(stamp, cached_) ||
      cached_last_write_ != last_write) {
    line_stamp minute = stamp;
    minute.when.second = 0;
    const std::int64_t start = stamp_instant(minute, last_write);
    cached_valid_ = stamp.has_year || start + 59 <= last_write + kDay;
    if (!cached_valid_) {
      *instant = stamp_instant(stamp, last_write);
      return true;
    }
    cached_ = minute;
    cached_minute_ = start;
    cached_last_write_ = last_write;
  }
  *instant = cached_minute_ + stamp.when.second;
  return true;
}
