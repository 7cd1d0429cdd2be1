// A line's time as the window sees it: its own stamp, else the last dated
// line's before it, even in a run read earlier; none before the first.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "log/part/line_times.h"
#include "platform/platform.h"
#include "time/civil.h"

namespace {

std::int64_t at(int hour, int minute) {
  return utc_instant({2026, 10, 1, hour, minute, 0});
}

// The time of the line of run that starts with `start`; -1 for none.
std::int64_t time_at(line_times& times, std::string_view run,
                     std::string_view start) {
  const std::size_t from = run.find(start);
  std::int64_t t = 0;
  return time_of(times, run.substr(from, start.size()), &t) ? t : -1;
}

TEST(LineTimes, UndatedLinesTakeTheDatedLineBeforeThemAcrossRuns) {
  platform_set_time_zone("UTC0");
  line_times times;
  times.stamps.last_write = at(23, 0);
  const std::string first = "opened\nOct  1 10:00:00 a\n cont a\n";
  see_lines(times, first);
  EXPECT_EQ(time_at(times, first, "opened"), -1);
  EXPECT_TRUE(times.have_first);
  EXPECT_EQ(times.first, at(10, 0));
  EXPECT_EQ(time_at(times, first, " cont a"), at(10, 0));
  const std::string second = " cont b\n more\nOct  1 10:05:00 b\n cont c\n";
  see_lines(times, second);
  EXPECT_EQ(time_at(times, second, " more"), at(10, 0));
  EXPECT_EQ(time_at(times, second, " cont c"), at(10, 5));
  // Asked again from the start, as a second term's scan asks.
  EXPECT_EQ(time_at(times, second, " cont b"), at(10, 0));
  EXPECT_EQ(times.latest, at(10, 5));
  const std::string third = " last\n";  // a last line, told on its own
  see_lines(times, third);
  EXPECT_EQ(time_at(times, third, " last"), at(10, 5));
  EXPECT_FALSE(times.have_latest);
}

}  // anonymous namespace
