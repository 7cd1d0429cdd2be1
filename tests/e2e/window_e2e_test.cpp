// A time window over a rotated set: the report holds exactly the hits whose
// time lies in it, as a full read of the same lines filtered one by one
// would, whatever each log is compressed with and however little of it the
// run read.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
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
    const std::int64_t at = start + 180 + i * 420 - (i % 17 == 16 ? 600 : 0);
    lines.push_back({at, local(at, "%b %e %H:%M:%S") +
                             " fw %ASA-6-302013: user jdoe to 10.0.0." +
                             std::to_string(i % 7) + padding(d, i) + "\n"});
    if (i % 11 == 5) lines.push_back({at, "  continued for jdoe\n"});
  }
  return lines;
}

std::string text_of(const std::vector<timed>& lines) {
  std::string text;
  for (const timed& line : lines) text += line.text;
  return text;
}

void set_written(const std::string& path, std::int64_t at) {
  const timeval times[2] = {{at, 0}, {at, 0}};
  utimes(path.c_str(), times);
}

// The set's run with a window, and the run of one plain log holding the
// lines of the set the window keeps, with no window.
struct window_case {
  const char* zone;
  std::int64_t since, until;  // 0: open
};

e2e_run windowed_run(const window_case& w) {
  e2e_run run;
  run.setup = std::string("export TZ='") + w.zone + "'";
  run.args = {"-t", "2", "-s", "jdoe"};
  if (w.since != 0)
    run.args.insert(run.args.end(),
                    {"--since", local(w.since, "%Y-%m-%d %H:%M:%S")});
  if (w.until != 0)
    run.args.insert(run.args.end(),
                    {"--until", local(w.until, "%Y-%m-%d %H:%M:%S")});
  run.args.insert(run.args.end(), {"-f", "fw.log*"});
  run.input = "\n";
  return run;
}

std::string body(const std::string& report, const std::string& head_text) {
  return report.substr(std::min(report.size(), head_text.size()));
}

std::string with_window(std::string head_text, const std::string& from,
                        const std::string& to) {
  head_text.insert(head_text.find("</title>"), " between " + from + " and " + to);
  head_text.insert(head_text.find("</center>\r\n<hr"),
                   " between <b>" + from + "</b> and <b>" + to + "</b>");
  return head_text;
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override { zone("UTC0"); }
  void zone(const char* name) {
    setenv("TZ", name, 1);
    tzset();
  }
};

TEST_F(Window, ReportIsTheFullReadFilteredLineByLine) {
  const auto at = [](int day, int line) {
    return kFirstDay + day * 86400 + 180 + line * 420;
  };
  const window_case rows[] = {
      {"UTC0", at(4, 60), at(4, 66)},  // inside the xz log, on lines; the
                                       // next is ten minutes behind
      {"UTC0", at(3, 190), at(5, 10)},        // bzip2, xz and zstd logs
      {"UTC0", at(7, 150), at(8, 30)},        // from one plain log on
      {"UTC0", at(8, 150), 0},                // the live log's last hours
      {"UTC0", 0, at(0, 10)},                 // the oldest's first lines
      {"UTC0", kFirstDay - 7200, kFirstDay - 3600},  // before every line
  };
  for (const window_case& w : rows) {
    e2e_run run = windowed_run(w);
    std::string kept;
    for (int d = 0; d < 9; ++d) {
      const std::vector<timed> lines = day_lines(d);
      const std::string text = text_of(lines);
      const bool plain = d >= kPlainFrom;
      const packer how = windows_program() && kDays[d].second != packer::compress
                             ? packer::gzip
                             : kDays[d].second;
      run.files.emplace_back(kDays[d].first,
                             plain ? text : packed(how, text, 1));
      for (const timed& line : lines)
        if ((w.since == 0 || line.at >= w.since) &&
            (w.until == 0 || line.at <= w.until))
          kept += line.text;
    }
    run.prepare = [](const std::string& dir) {
      for (int d = 0; d < 9; ++d)
        set_written(dir + "/" + kDays[d].first, day_lines(d).back().at);
    };
    const e2e_result r = run_vantrel(run);
    e2e_run whole = windowed_run({"UTC0", 0, 0});
    whole.args = {"-t", "2", "-s", "jdoe", "-f", "kept.log"};
    whole.files = {{"kept.log", kept}};
    const e2e_result expected = run_vantrel(whole);
    const std::string from = w.since ? local(w.since, "%Y-%m-%d %H:%M:%S")
                                     : "the first line";
    const std::string to =
        w.until ? local(w.until, "%Y-%m-%d %H:%M:%S") : "the last line";
    const std::size_t start = banner().size() + progress().size();
    EXPECT_EQ(r.status, 0) << from;
    EXPECT_EQ(r.out, expected.out.substr(0, start) + "\tTime window: between " +
                         from + " and " + to + "\n" +
                         expected.out.substr(start))
        << from;
    const std::string head_text = with_window(head("jdoe", "fw.log*"), from, to);
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

}  // anonymous namespace
