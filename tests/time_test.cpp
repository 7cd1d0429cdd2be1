#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "time/stamp.h"
#include "time/when.h"
#include "time/window.h"

namespace {

// Five hours west all year: a zone every C library reads alike.
class Time : public testing::Test {
 protected:
  void SetUp() override { platform_set_time_zone("EST5"); }
};

civil_time civil(const char* text) {
  civil_time t;
  std::sscanf(text, "%d-%d-%d %d:%d:%d", &t.year, &t.month, &t.day, &t.hour,
              &t.minute, &t.second);
  return t;
}

std::int64_t utc(const char* text) { return utc_instant(civil(text)); }

std::string utc_text(std::int64_t instant) {
  const civil_time t = utc_civil(instant);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

// The fields read, year 0000 when the stamp has none, its offset after.
std::string stamp_text(const char* line) {
  line_stamp s;
  if (!read_stamp(line, &s)) return "none";
  const std::string text = utc_text(utc_instant(s.when));
  return s.has_offset ? text + " " + std::to_string(s.offset_seconds) : text;
}

TEST(ReadStamp, EachFormAndNearMiss) {
  const char* rows[][2] = {
      {"Feb  4 23:57:54 gw %PIX-6-302013: x", "0000-02-04 23:57:54"},
      {" \tfeb 04 23:57:54 EDT gw", "0000-02-04 23:57:54"},
      {"<166>Aug 24 2005 08:00:02: %PIX-6-302013:", "2005-08-24 08:00:02"},
      {"<166>:FEB 4 23:57:54", "0000-02-04 23:57:54"},
      {"<190>. Feb  4 23:57:54.250", "0000-02-04 23:57:54"},
      {"<34>1 2026-03-01T10:00:00.123456+01:00 gw", "2026-03-01 10:00:00 3600"},
      {"2026-03-01T10:00:00Z", "2026-03-01 10:00:00 0"},
      {"2026-03-01T10:00:00-05:30 x", "2026-03-01 10:00:00 -19800"},
      {"2026-03-01T10:00:00 local", "2026-03-01 10:00:00"},
      {"Feb  4 23:57:54 gw Aug 24 2005 00:08:49: %PIX-", "0000-02-04 23:57:54"},
      {"Feb 29 00:00:00", "0000-02-29 00:00:00"},
  };
  for (const auto& row : rows) EXPECT_EQ(stamp_text(row[0]), row[1]) << row[0];
  for (const char* line :
       {"%PIX-6-302013: Aug 24 2005 08:00:02", "LOCAL4.WARNING: fw-1 %ASA-4-",
        "Feb 30 00:00:00", "Feb  4 25:00:00", "Foo 4 23:57:54", "Feb  4 23:57:5",
        "Feb  4 23:57:545", "Feb  14 23:57:54", "Aug 24 2005 08:00",
        "<34 Feb  4 23:57:54", "2026-02-29T00:00:00Z", "2026-03-01T10:00:00+0100",
        "2026-03-01 10:00:00", ""})
    EXPECT_EQ(stamp_text(line), "none") << line;
}

// The year rule, through a reader that keeps the last minute it converted:
// each line must still give its own instant. Around 2026-02-04 23:57 the
// rule's edge falls inside the minute, and other forms share its fields.
TEST_F(Time, YearIsTheLatestNoLaterThanADayAfterTheLastWrite) {
  const char* rows[][3] = {  // last write (UTC), line (local), instant (UTC)
      {"2027-01-02 17:00:00", "Dec 31 23:59:59", "2027-01-01 04:59:59"},
      {"2027-01-02 17:00:00", "Jan  3 12:00:00", "2027-01-03 17:00:00"},
      {"2027-01-02 17:00:00", "Jan  3 12:00:01", "2026-01-03 17:00:01"},
      {"2027-01-01 04:00:00", "Jan  1 00:30:00", "2027-01-01 05:30:00"},
      {"2027-06-01 00:00:00", "Feb 29 12:00:00", "2024-02-29 17:00:00"},
      {"2028-02-28 17:00:00", "Feb 29 12:00:00", "2028-02-29 17:00:00"},
      {"2104-01-01 00:00:00", "Feb 29 00:00:00", "2096-02-29 05:00:00"},
      {"2026-02-04 04:57:30", "Feb  4 23:57:10", "2026-02-05 04:57:10"},
      {"2026-02-04 04:57:30", "Feb  4 23:57:54", "2025-02-05 04:57:54"},
      {"2026-02-04 04:57:30", "Feb  4 23:57:10", "2026-02-05 04:57:10"},
      {"2026-02-04 04:57:30", "Feb 04 2026 23:57:54", "2026-02-05 04:57:54"},
      {"2026-02-04 04:57:30", "2026-02-04T23:57:54Z", "2026-02-04 23:57:54"},
      {"2026-02-04 04:57:30", "2026-02-04T23:57:54+01:00", "2026-02-04 22:57:54"},
      {"2026-02-04 04:57:30", "Feb  4 23:58:00", "2025-02-05 04:58:00"},
      {"2026-02-04 04:57:30", "%PIX-6-302013: x", "none"},
  };
  stamp_reader reader;
  for (const auto& row : rows) {
    reader.last_write = utc(row[0]);
    std::int64_t instant = 0;
    const bool read = reader.instant_of(row[1], &instant);
    EXPECT_EQ(read ? utc_text(instant) : "none", row[2]) << row[1];
  }
}

TEST_F(Time, ReadWhenAndTheWindowsTexts) {
  const std::int64_t now = utc("2026-03-29 12:00:00");  // 07:00 local
  const char* rows[][2] = {
      {"now", "2026-03-29 12:00:00"},   {"today", "2026-03-29 05:00:00"},
      {"yesterday", "2026-03-28 05:00:00"},
      {"tomorrow", "2026-03-30 05:00:00"},
      {"2026-03-01", "2026-03-01 05:00:00"},
      {"2026-03-01 9:05", "2026-03-01 14:05:00"},
      {"2026-03-01T09:05:30", "2026-03-01 14:05:30"},
      {"2026-03-01 09:05Z", "2026-03-01 09:05:00"},
      {"2026-03-01 9:05:30 UTC", "2026-03-01 09:05:30"},
      {"2026-03-01T09:05+05:30", "2026-03-01 03:35:00"},
      {"2024-02-29-01:00", "2024-02-29 01:00:00"},
      {"9:05", "2026-03-29 14:05:00"},  {"23:59:59", "2026-03-30 04:59:59"},
      {"-2h", "2026-03-29 10:00:00"},   {"+30min", "2026-03-29 12:30:00"},
      {"-1w", "2026-03-22 12:00:00"},   {"+10s", "2026-03-29 12:00:10"},
  };
  std::int64_t instant = 0;
  for (const auto& row : rows) {
    ASSERT_TRUE(read_when(row[0], now, &instant)) << row[0];
    EXPECT_EQ(utc_text(instant), row[1]) << row[0];
  }
  for (const char* text :
       {"", " now", "now ", "Now", "2026-02-30", "2025-02-29", "25:00",
        "24:00", "9:5", "9:05:6", "2026-3-01", "2026-03-01 ", "2026-03-01T",
        "2026-03-01 09:05 Z", "2026-03-01+01:", "2026-03-01 09:05+1:00",
        "2026-03-01 09:05 utc", "2026-03-01 UTCx", "-2", "-2m", "-2hours",
        "2h", "-h", "- 2h", "-1000000w", "-99999999999999999999999s",
        "-9223372036854775808s"})
    EXPECT_FALSE(read_when(text, now, &instant)) << text;
  time_window window;
  window.has_since = true;
  window.since = now;
  EXPECT_EQ(since_text(window) + " to " + until_text(window),
            "2026-03-29 07:00:00 to the last line");
}

// Twice 02:00 to 03:00 on 25 October 2026, never on 29 March.
TEST(LocalInstant, ClockChangesTakeTheEarlierAndTheOffsetBefore) {
  platform_set_time_zone("CET-1CEST,M3.5.0,M10.5.0/3");
  const char* rows[][2] = {
      {"2026-10-25 02:30:00", "2026-10-25 00:30:00"},
      {"2026-10-25 01:59:59", "2026-10-24 23:59:59"},
      {"2026-10-25 03:00:00", "2026-10-25 02:00:00"},
      {"2026-03-29 02:30:00", "2026-03-29 01:30:00"},
      {"2026-03-29 03:00:00", "2026-03-29 01:00:00"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(utc_text(local_instant(civil(row[0]))), row[1]) << row[0];
  EXPECT_EQ(local_text(utc("2026-03-29 01:30:00")), "2026-03-29 03:30:00");
}

// Seconds east of UTC at an instant, as the C library gives it.
std::int64_t library_offset(std::int64_t instant) {
  std::tm t{};
  if (!platform_local_time(instant, &t)) return -1;
  return utc_instant({t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                      t.tm_min, t.tm_sec}) - instant;
}

// TZ strings with rules, read as glibc reads them: every three hours of six
// years, and a second either side of each change glibc makes.
TEST(LocalCivil, RulesOfChangeReadAsGlibcReadsThem) {
  platform_set_time_zone("CET-1CEST,M3.5.0,M10.5.0/3");
  if (library_offset(utc("2026-03-20 12:00:00")) != 3600)
    GTEST_SKIP() << "the reference is glibc's reading of TZ";
  const char* zones[] = {
      "CET-1CEST,M3.5.0,M10.5.0/3",             // 5th week: the last
      "EST5EDT,M3.2.0/2:00:00,M11.1.0/2:00:00",
      "AEST-10AEDT,M10.1.0,M4.1.0/3",           // south
      "<-03>3<-02>,M3.5.0/-2,M10.5.0/-1",       // times before midnight
      "IST-5:30IDT,J60/1:30,J300/25",           // past a day
      "NST3:30NDT,59/0:01,310/23:59:59",        // 29 February counted
      "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",   // half an hour back
      "WART4WARST,J1/0,J365/25",
      "XST-2XDT-3:00:30,M2.5.4/167,M11.4.6/-167",
      "<+0330>-3:30<+0430>,J79/24,J263/24",
  };
  const std::int64_t step = 3 * 3600 + 7;
  const auto offset_read = [](std::int64_t t) {
    return utc_instant(local_civil(t)) - t;
  };
  for (const char* zone : zones) {
    platform_set_time_zone(zone);
    int changes = 0;
    for (std::int64_t t = utc("2023-01-01 00:00:00");
         t < utc("2029-01-01 00:00:00"); t += step) {
      EXPECT_EQ(offset_read(t), library_offset(t)) << zone << utc_text(t);
      if (library_offset(t) == library_offset(t + step)) continue;
      std::int64_t low = t, high = t + step;  // the change is in (low, high]
      while (high - low > 1) {
        const std::int64_t mid = low + (high - low) / 2;
        (library_offset(mid) == library_offset(t) ? low : high) = mid;
      }
      ++changes;
      for (const std::int64_t at : {high - 1, high, high + 1})
        EXPECT_EQ(offset_read(at), library_offset(at)) << zone << utc_text(at);
    }
    EXPECT_GE(changes, 10) << zone;
  }
}

}  // anonymous namespace
