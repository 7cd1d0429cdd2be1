// A time window over a rotated set: the report holds exactly the hits whose
// time lies in it, as a full read of the same lines filtered one by one
// would, whatever each log is compressed with and however little of it the
// run read.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/time.h>

#include "compress_support.h"
#include "e2e_support.h"

namespace {

// The logs oldest first, one day each, as logrotate leaves them; under Wine
// (the Windows build reads gzip and compress only) the rest are gzip.
const std::pair<const char*, packer> kDays[] = {
    {"fw.log.8.Z", packer::compress}, {"fw.log.7.lz4", packer::lz4},
    {"fw.log.6.lzma", packer::lzma},  {"fw.log.5.bz2", packer::bzip2},
    {"fw.log.4.xz", packer::xz},      {"fw.log.3.zst", packer::zstd},
    {"fw.log.2.gz", packer::gzip},    {"fw.log.1", packer::gzip},
    {"fw.log", packer::gzip}};
constexpr int kPlainFrom = 7;  // fw.log.1 and fw.log are plain
constexpr std::int64_t kFirstDay = 1760054400;  // 2025-10-10 00:00:00 UTC
constexpr int kLinesPerDay = 205;                // one each 7 minutes

struct timed {
  std::int64_t at;  // the line's time, as the window sees it
  std::string text;
};

std::string local(std::int64_t at, const char* format) {
  const std::time_t t = at;
  std::tm parts{};
  localtime_r(&t, &parts);
  char text[40];
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

// Hex that no format shrinks much: days 3 (bzip2 -1), 4 (xz, in blocks of
// 1 KiB, so a few lines each) and 7 (plain) are long enough to be entered
// at a later block or place.
std::string padding(int d, int i) {
  if (d != 3 && d != 4 && d != 7) return "";
  std::string pad = " pad ";
  unsigned x = static_cast<unsigned>(d * 100000 + i) * 2654435761u;
  for (int k = 0; k < (d == 4 ? 200 : 1200); ++k, x = x * 1103515245u + 12345u)
    pad += "0123456789abcdef"[(x >> 16) & 15];
  return pad;
}

// Line i of day d: each 17th line ten minutes behind the one before it,
// each 11th followed by a line with no stamp, and the set's first line
// undated (it takes the time of the first dated one).
std::vector<timed> day_lines(int d) {
  std::vector<timed> lines;
  const std::int64_t start = kFirstDay + d * 86400;
  if (d == 0) lines.push_back({start + 180, "-- log opened by jdoe\n"});
  for (int i = 0; i < kLinesPerDay; ++i) {
    const std::int64_t made = start + 180 + i * 420 - (i % 17 == 16 ? 600 : 0);
    const std::string stamp = local(made, "%b %e %H:%M:%S");
    // Made in the second pass of an hour the clock repeats, read an hour
    // earlier.
    const std::int64_t at =
        local(made - 3600, "%b %e %H:%M:%S") == stamp ? made - 3600 : made;
    lines.push_back({at, stamp +
                             " fw %ASA-6-302013: user jdoe to 10.0.0." +
                             std::to_string(i % 7) + padding(d, i) + "\n"});
    if (i % 11 == 5) lines.push_back({at, "  continued for jdoe\n"});
  }
  return lines;
}

void set_written(const std::string& path, std::int64_t at) {
  const timeval times[2] = {{at, 0}, {at, 0}};
  utimes(path.c_str(), times);
}

// An end of the window as the program is given it and says it (0: open).
std::string when(std::int64_t at, const char* open) {
  return at != 0 ? local(at, "%Y-%m-%d %H:%M:%S") : open;
}

std::string body(const std::string& report, const std::string& head_text) {
  return report.substr(std::min(report.size(), head_text.size()));
}

void set_zone(const char* zone) {
  setenv("TZ", zone, 1);
  tzset();
}

class Window : public ::testing::Test {
 protected:
  // The program's zone too: one every C library reads alike.
  void SetUp() override { set_zone("UTC0"); }
};

TEST_F(Window, ReportIsTheFullReadFilteredLineByLine) {
  const auto at = [](int day, int line) {
    return kFirstDay + day * 86400 + 180 + line * 420;
  };
  // Local time repeats an hour on 17 October, in the plain fw.log.1: at
  // dawn, where the bisection looks second; at midnight, just after the
  // log's first line.
  const char* at_dawn = "EST5EDT,M3.2.0,J290";
  const char* at_midnight = "CET-1CEST,M3.5.0,J290/2:30";
  const std::tuple<std::int64_t, std::int64_t, const char*> rows[] = {
      {at(4, 60), at(4, 66), "UTC0"},  // inside the xz log, on lines; the
                                       // next is ten minutes behind
      {at(3, 190), at(5, 10), "UTC0"},             // bzip2, xz and zstd logs
      {at(7, 150), at(8, 30), "UTC0"},             // from one plain log on
      {at(8, 150), 0, "UTC0"},                     // the live log's last hours
      {0, at(0, 10), "UTC0"},                      // the oldest's first lines
      {kFirstDay - 7200, kFirstDay - 3600, "UTC0"},  // before every line
      {at(7, 48), at(7, 62), at_dawn},         // 01:39 EDT to 02:17 EST
      {at(6, 150), at(6, 202), at_midnight},   // to 01:37 CEST
  };
  for (const auto& [since, until, zone] : rows) {
    set_zone(zone);
    const std::string from = when(since, "the first line");
    const std::string to = when(until, "the last line");
    e2e_run run;
    run.setup = std::string("export TZ=") + zone;
    run.args = {"-t", "2", "-s", "jdoe", "-f", "kept.log"};
    run.input = "\n";
    std::string kept;
    for (int d = 0; d < 9; ++d) {
      std::string text;
      for (const timed& line : day_lines(d)) {
        text += line.text;
        if ((!since || line.at >= since) && (!until || line.at <= until))
          kept += line.text;
      }
      const packer how = windows_program() && kDays[d].second != packer::compress
                             ? packer::gzip
                             : kDays[d].second;
      run.files.emplace_back(kDays[d].first,
                             d >= kPlainFrom ? text : packed(how, text, 1));
    }
    e2e_run whole = run;
    whole.files = {{"kept.log", kept}};
    const e2e_result expected = run_vantrel(whole);
    run.args = {"-t", "2", "-s", "jdoe", "--since", from, "--until", to,
                "-f", "fw.log*"};
    if (!until) run.args.erase(run.args.begin() + 6, run.args.begin() + 8);
    if (!since) run.args.erase(run.args.begin() + 4, run.args.begin() + 6);
    run.prepare = [](const std::string& dir) {
      for (int d = 0; d < 9; ++d)
        set_written(dir + "/" + kDays[d].first, day_lines(d).back().at);
    };
    const e2e_result r = run_vantrel(run);
    const std::size_t start = banner().size() + progress().size();
    EXPECT_EQ(r.status, 0) << from;
    EXPECT_EQ(r.out, expected.out.substr(0, start) + "\tTime window: between " +
                         from + " and " + to + "\n" +
                         expected.out.substr(start))
        << from;
    // The title and the line naming the logs say the window.
    std::string head_text = head("jdoe", "fw.log*");
    head_text.insert(head_text.find("</title>"), " between " + from + " and " + to);
    head_text.insert(head_text.find("</center>\r\n<hr"),
                     " between <b>" + from + "</b> and <b>" + to + "</b>");
    EXPECT_EQ(r.report.substr(0, head_text.size()), head_text);
    EXPECT_EQ(body(r.report, head_text),
              body(expected.report, head("jdoe", "kept.log")))
        << from;
  }
}

TEST_F(Window, TimesNotUnderstoodEndTheRunBeforeItStarts) {
  const std::vector<std::string> rows[] = {
      {"--since", "2026-02-30"},      {"--until", "25:00"},
      {"--since", "-2 h"},            {"--since", "yesterday 9:00"},
      {"--since", "2026-12-01 9:00 +01:00"},
      {"--since", "now", "--until", "-1h"}};
  for (const std::vector<std::string>& when : rows) {
    e2e_run run;
    run.args = {"-s", "jdoe", "-t", "2", "-f", "fw.log"};
    run.args.insert(run.args.begin(), when.begin(), when.end());
    run.files = {{"fw.log", "Dec  1 09:00:00 jdoe\n"}, {"report.html", "old"}};
    run.wait_for_viewer = false;
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, when.size() == 4
                         ? "\tThe time window ends before it starts.\n"
                         : "\tThe time '" + when[1] +
                               "' is not understood: give YYYY-MM-DD "
                               "[HH:MM[:SS]], HH:MM, today, yesterday, now or "
                               "-2h.\n");
    EXPECT_EQ(r.report, "old");
    EXPECT_EQ(r.opened, "");
  }
}

// A log with no dated line is searched whole, and said; a stamp with no
// year takes a gzip log's header time over the file's; a pipe's, the run's.
TEST_F(Window, LogsWithoutTimesGzipHeaderTimesAndPipes) {
  e2e_run run;
  run.input = "\n";
  run.args = {"-t", "2", "-s", "jdoe", "--since", "2024-12-31 23:55",
              "--until", "2025-01-01 00:20", "-f", "notimes.log", "old.gz",
              "empty.log"};
  gz_header header{};
  header.time = 1735819200;  // 2025-01-02 12:00:00 UTC
  run.files = {{"notimes.log", "user jdoe one\n  and jdoe two\n"},
               {"empty.log", ""},  // just rotated: nothing to say of it
               {"old.gz", gzipped("Dec 31 23:50:00 jdoe a\n"
                                  "Jan  1 00:10:00 jdoe b\n",
                                  6, 1, &header)}};
  run.setup = "export TZ=UTC0";
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(found(3) + "\tThe log notimes.log holds no times; all "
                       "its lines were searched.\n" + finish()),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.report.find(result("user jdoe one") + result("  and jdoe two") +
                          result("Jan  1 00:10:00 jdoe b") + foot()),
            std::string::npos);
  const std::int64_t now = std::time(nullptr);
  fifo_log pipe;
  pipe.paced = true;  // Wine opens a FIFO without waiting for a writer
  for (int hours = 3; hours > 0; --hours)
    pipe.bytes += local(now - hours * 3600, "%b %e %H:%M:%S") + " jdoe " +
                  std::to_string(hours) + "h ago\n";
  run.args = {"-t", "2", "-s", "jdoe", "--since", "-150min", "-f", "pipe.log"};
  run.files.clear();
  run.prepare = [&pipe](const std::string& dir) { pipe.start(dir + "/pipe.log"); };
  const e2e_result piped = run_vantrel(run);
  EXPECT_EQ(piped.out.find("3h ago"), std::string::npos);
  EXPECT_NE(piped.report.find("jdoe 2h ago"), std::string::npos);
  EXPECT_NE(piped.report.find("jdoe 1h ago"), std::string::npos);
}

#ifdef VANTREL_HAVE_BZIP2
// Damage met after a late start is not put at a line of the log: the lines
// before the start were never counted.
TEST_F(Window, DamageAfterALateStartIsCountedFromTheStart) {
  if (windows_program()) GTEST_SKIP() << "the Windows build reads no bzip2";
  std::string text;  // days 3 and 7, long ones: several blocks
  for (const int d : {3, 7})
    for (const timed& line : day_lines(d)) text += line.text;
  const std::string bz = packed(packer::bzip2, text, 1);
  e2e_run run;
  run.input = "\n";
  run.args = {"-t", "2", "-s", "jdoe", "--since",
              when(kFirstDay + 7 * 86400 + 100 * 420, ""), "-f", "fw.log.bz2"};
  run.files = {{"fw.log.bz2", bz.substr(0, bz.size() * 19 / 20)}};
  run.prepare = [](const std::string& dir) {
    set_written(dir + "/fw.log.bz2", day_lines(7).back().at);
  };
  const e2e_result r = run_vantrel(run);
  EXPECT_NE(r.out.find(" lines past where the time window started its "
                       "reading; the rest was not searched."),
            std::string::npos)
      << r.out;
}
#endif

}  // anonymous namespace
