// The stamp reader on lines after four bytes of last write: a stamp read
// names a date and time that exist, in local time as the C library shows
// it (an hour on where the spring change skips it, the earlier where the
// autumn change repeats it), and the reader, converting a minute once,
// gives each line what the line gives alone.

#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "time/stamp.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform_set_time_zone("CET-1CEST,M3.5.0,M10.5.0/3");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  stamp_reader reader;
  for (int i = 0; i < 4; ++i)
    reader.last_write = reader.last_write << 8 | take_byte(rest);
  while (!rest.empty()) {
    const std::string_view line = take_field(rest, '\n');
    line_stamp s;
    std::int64_t instant = 0;
    const bool read = read_stamp(line, &s);
    FUZZ_CHECK(reader.instant_of(line, &instant) == read);
    if (!read) continue;
    FUZZ_CHECK(civil_exists(s.when) && (s.has_year || s.when.year == 0));
    FUZZ_CHECK(s.has_offset ? s.has_year && s.offset_seconds / 86400 == 0
                            : s.offset_seconds == 0);
    FUZZ_CHECK(instant == stamp_instant(s, reader.last_write));
    if (s.has_offset) continue;
    civil_time when = s.when;
    if (!s.has_year) when.year = year_for(when, reader.last_write);
    FUZZ_CHECK(s.has_year || instant <= reader.last_write + 86400);
    const std::int64_t wanted = utc_instant(when);
    const std::int64_t shown = utc_instant(local_civil(instant));
    FUZZ_CHECK(shown == wanted || shown == wanted + 3600);
    FUZZ_CHECK(utc_instant(local_civil(instant - 3600)) != wanted);
  }
  return 0;
}
