// Writes a rotated set of daily PIX logs for timing a time window: DAYS logs
// of SIZE bytes each, named NAME (the last day's, the live log), NAME.1 (the
// day before) and so on, their lines stamped as a syslog server stamps them
// ("Mmm dd HH:MM:SS fw ") evenly over their day in UTC, each log last
// written at the end of its day. The same arguments give the same bytes.
// usage: gen_window_set SIZE DAYS LAST_DAY NAME
//   SIZE as gen_pix_log takes it; LAST_DAY as YYYY-MM-DD

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <sys/time.h>

#include "pix_log.h"

namespace {

std::uint64_t parse_size(const char* text) {
  char* end = nullptr;
  std::uint64_t value = std::strtoull(text, &end, 10);
  if (*end == 'K') value <<= 10;
  if (*end == 'M') value <<= 20;
  if (*end == 'G') value <<= 30;
  return value;
}

std::int64_t day_start(const char* date) {
  std::tm parts{};
  if (std::sscanf(date, "%d-%d-%d", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday) != 3)
    return -1;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return timegm(&parts);
}

bool write_day(const std::string& path, std::uint64_t size, std::int64_t start) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  std::vector<char> buffer(1 << 20);
  std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
  std::uint64_t written = 0;
  std::string line;
  generate_pix_log(size, [&](std::string_view pix) {
    const std::time_t at = static_cast<std::time_t>(
        start + static_cast<std::int64_t>(86399.0 * static_cast<double>(written) /
                                          static_cast<double>(size)));
    std::tm parts{};
    gmtime_r(&at, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S fw ", &parts);
    line.assign(stamp).append(pix);
    std::fwrite(line.data(), 1, line.size(), out);
    written += pix.size();
  });
  if (std::fclose(out) != 0) return false;
  const timeval end[2] = {{start + 86399, 0}, {start + 86399, 0}};
  return utimes(path.c_str(), end) == 0;
}

}  // anonymous namespace

int main(int argc, char** argv) {
  const std::int64_t last = argc == 5 ? day_start(argv[3]) : -1;
  const std::uint64_t size = argc == 5 ? parse_size(argv[1]) : 0;
  const int days = argc == 5 ? std::atoi(argv[2]) : 0;
  if (last < 0 || size == 0 || days <= 0) {
    std::fprintf(stderr, "usage: gen_window_set SIZE DAYS LAST_DAY NAME\n");
    return 2;
  }
  for (int n = 0; n < days; ++n) {
    const std::string path =
        std::string(argv[4]) + (n == 0 ? "" : "." + std::to_string(n));
    if (!write_day(path, size, last - std::int64_t{n} * 86400)) {
      std::fprintf(stderr, "gen_window_set: writing %s failed\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
