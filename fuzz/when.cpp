// The reader of the times a user writes, after four bytes of now: what it
// takes it takes whole, with nothing before or after, and it lands within
// the ten thousand years a date or a -N can name.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "time/when.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform_set_time_zone("CET-1CEST,M3.5.0,M10.5.0/3");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::int64_t now = 0, instant = 0, again = 0;
  for (int i = 0; i < 4; ++i) now = now << 8 | take_byte(rest);
  const std::string text(rest);
  if (!read_when(text, now, &instant)) return 0;
  const std::int64_t farthest = 10001LL * 366 * 86400;
  FUZZ_CHECK(instant - now < farthest && now - instant < farthest);
  FUZZ_CHECK(read_when(text, now, &again) && again == instant);
  for (const char* junk : {"x", " ", "0", ":"})
    FUZZ_CHECK(!read_when(text + junk, now, &again));
  for (const char* junk : {"x", " "})
    FUZZ_CHECK(!read_when(junk + text, now, &again));
  return 0;
}
