// Several logs in one run: named one by one or by patterns, searched oldest
// first, the report that of their texts one after the other, whatever each
// is compressed with.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

#include "e2e_support.h"
#include <algorithm>

#include "compress_support.h"
#include "log/log_format.h"

namespace {

struct rotated {
  const char* name;
  const char* text;
  int hours_old;  // out of the names' order on purpose
};

const rotated kSet[] = {
    {"fw.log", "Mar 07 user JDOE in\nMar 07 JDoe 10.0.0.7 up\n", 0},
    {"fw.log.1", "Mar 05 user jdoe out\nMar 05 jDoe nothing\n", 2},
    {"fw.log.2.gz", "Mar 06 user JDOE x\nMar 06 user jdoe y\n", 1},
    {"fw.log.3.zst", "Mar 04 host 10.0.0.7 down\nMar 04 user JDOE z\n", 3},
    {"fw.log.4.xz", "Mar 03 user jdoe w\n", 4},
    {"fw.log.5.bz2", "Mar 02 user JDOE v\nMar 02 10.0.0.7\n", 5},
    {"fw.log.6.lzma", "Feb 28 user jdoe u\n", 6},
    {"fw.log.7.lz4", "Feb 27 user JDOE t\nFeb 27 10.0.0.7 t\n", 7},
    {"fw.log.8.Z", "Feb 26 user JDoe s\nFeb 26 user jdoe s\n", 8},
};
const char* const kOldestFirst[] = {"fw.log.8.Z", "fw.log.7.lz4",
                                    "fw.log.6.lzma", "fw.log.5.bz2",
                                    "fw.log.4.xz",
                                    "fw.log.3.zst", "fw.log.1", "fw.log.2.gz",
                                    "fw.log"};

// The Windows build reads gzip and compress only: there the rest is gzip.
std::string compressed_as_named(const std::string& name, const char* text) {
  const struct {
    const char* suffix;
    packer p;
  } by_suffix[] = {{".gz", packer::gzip},
                   {".zst", packer::zstd},
                   {".xz", packer::xz},
                   {".bz2", packer::bzip2},
                   {".lzma", packer::lzma},
                   {".lz4", packer::lz4},
                   {".Z", packer::compress}};
  for (const auto& s : by_suffix)
    if (name.size() > 4 && name.find(s.suffix) != std::string::npos)
      return packed(windows_program() && s.p != packer::compress ? packer::gzip
                                                                 : s.p,
                    text);
  return text;
}

e2e_run set_run(const std::string& term, std::vector<std::string> logs,
                bool mixed = false) {
  e2e_run run;
  run.args = {"-t", "2", "-s", term, "-f"};
  if (mixed) run.args.insert(run.args.begin(), "-i");
  run.args.insert(run.args.end(), logs.begin(), logs.end());
  for (const rotated& log : kSet)
    run.files.emplace_back(log.name, compressed_as_named(log.name, log.text));
  run.files.emplace_back("other.log", "Mar 01 user jdoe elsewhere\n");
  run.prepare = [](const std::string& dir) {
    namespace fs = std::filesystem;
    const auto now = fs::file_time_type::clock::now();
    for (const rotated& log : kSet)
      fs::last_write_time(fs::path(dir) / log.name,
                          now - std::chrono::hours(log.hours_old));
  };
  run.input = "\n";
  return run;
}

// The run of one log holding the set's texts, oldest first.
e2e_result concatenated(const std::string& term, bool mixed) {
  e2e_run run = set_run(term, {"all.log"}, mixed);
  std::string all;
  for (const char* name : kOldestFirst) {
    for (const rotated& log : kSet)
      if (std::string(log.name) == name) all += log.text;
  }
  run.files = {{"all.log", all}};
  run.prepare = nullptr;
  return run_vantrel(run);
}

std::string body(const e2e_result& r, const std::string& term,
                 const std::string& names) {
  return r.report.substr(std::min(r.report.size(), head(term, names).size()));
}

TEST(LogSet, RotatedSetIsSearchedAsItsLogsOneAfterTheOther) {
  // With -i, every log's upper-case hits, then every log's lower-case, then
  // every log's mixed-case.
  const std::pair<std::string, bool> rows[] = {
      {"JDoe", false}, {"JDoe", true}, {"10.0.0.7", false}, {"", false}};
  for (const auto& [term, mixed] : rows) {
    const e2e_result one = concatenated(term, mixed);
    const std::string names =
        "fw.log, fw.log.1, fw.log.2.gz, fw.log.3.zst, fw.log.4.xz, "
        "fw.log.5.bz2, fw.log.6.lzma, fw.log.7.lz4, fw.log.8.Z";
    const e2e_result set = run_vantrel(set_run(
        term, {"fw.log", "fw.log.1", "fw.log.2.gz", "fw.log.3.zst",
               "fw.log.4.xz", "fw.log.5.bz2", "fw.log.6.lzma", "fw.log.7.lz4",
               "fw.log.8.Z"}, mixed));
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.out, one.out) << term << mixed;
    EXPECT_EQ(set.report, head(term, names) + body(one, term, "all.log"));
    // Patterns, matched by the program itself on every system; never the
    // report, so one that finds nothing else finds nothing.
    const e2e_result typed =
        run_vantrel(set_run(term, {"fw.lo?", "fw.log.*", "*.html"}, mixed));
    EXPECT_EQ(typed.status, 1);
    std::string typed_body = body(one, term, "all.log");
    typed_body.insert(typed_body.rfind(foot()),
                      lack("Unable to open file *.html"));
    EXPECT_EQ(typed.report, head(term, "fw.lo?, fw.log.*, *.html") + typed_body);
    const std::size_t start = banner().size() + progress().size();
    EXPECT_EQ(typed.out, one.out.substr(0, start) +
                             "\tUnable to open file *.html\n" +
                             one.out.substr(start));
  }
}

TEST(LogSet, LogsMissingOrNamedTwice) {
  e2e_run run = set_run("jdoe", {"fw.log.1", "gone.log", "./fw.log.1",
                                 "nothing*", "last.log"});
  run.files.emplace_back("last.log", "Mar 08 user jdoe tail");
  run.files.emplace_back("zz.log", "Mar 09 user jdoe next\n");
  run.args.push_back("zz.log");
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner() + progress() +
                       "\tUnable to open file gone.log\n"
                       "\tUnable to open file nothing*\n" +
                       pass_start(true) + pass_start(false) + found(1) +
                       found(2) + found(3) + finish());
  const std::string names =
      "fw.log.1, gone.log, ./fw.log.1, nothing*, last.log, zz.log";
  // A log's last line ends with it, LF or not.
  EXPECT_EQ(r.report, head("jdoe", names) + lower_heading() +
                          result("Mar 05 user jdoe out") +
                          result("Mar 08 user jdoe tail") +
                          result("Mar 09 user jdoe next") +
                          lack("Unable to open file gone.log") +
                          lack("Unable to open file nothing*") + foot());
  // brotli, known by its name alone: read where the build has its library,
  // and where it has not (the Windows build), a log that does not open,
  // standard error saying why; never read as bytes.
  const bool brotli = format_readable(log_format::brotli) && !windows_program();
  const std::string br = "fw.log.9.br";
  run.files.emplace_back(br, brotli ? packed(packer::brotli, "Mar 09 jdoe br\n")
                                    : "Mar 09 jdoe br\n");
  run.args = {"-s", "jdoe", "-t", "2", "-f", br, "fw.log.1"};
  const e2e_result by_name = run_vantrel(run);
  EXPECT_EQ(by_name.status, brotli ? 0 : 1);
  EXPECT_EQ(by_name.out,
            banner() + progress() +
                (brotli ? "" : "\tUnable to open file " + br + "\n") +
                pass_start(true) + pass_start(false) + found(1) +
                (brotli ? found(2) : "") + finish());
  std::string err = by_name.err;
  err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());
  EXPECT_EQ(err, brotli ? "" : "vantrel: " + br + ": compressed with brotli, "
                                 "which this build does not read\n");
  run.args = {"-s", "x", "-t", "2", "-f", "gone.log", "nothing*"};
  run.wait_for_viewer = false;
  const e2e_result none = run_vantrel(run);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, banner() + progress() + "Unable to open file");
}

// Names in any script, of logs and folders, given in every way: the same
// report and console as on Linux, where names are bytes. Beside
// журнал.log lies abcdef.log, which its name in question marks would match.
TEST(LogSet, NamesInAnyScript) {
  using lines = std::vector<std::string>;
  const struct {
    lines args;
    std::string input, term, names;
    lines upper, lower;
  } rows[] = {
      {{"-s", "jdoe", "-f", "журнал.log"}, "", "jdoe", "журнал.log", {},
       {"Mar 01 jdoe журнал"}},
      {{"-s", "müller", "-f", "Żurnał-łódź.log", "日誌.log"}, "", "müller",
       "Żurnał-łódź.log, 日誌.log", {"Mar 02 MüLLER Łódź"},
       {"Mar 02 müller łódź", "Mar 04 müller 日誌"}},
      {{"-s", "müller", "-f", "日*", "Łódź/*"}, "", "müller", "日*, Łódź/*", {},
       {"Mar 03 müller w folderze", "Mar 04 müller 日誌"}},
      {{}, "ログ/Żurnał.log\nmüller\n", "müller", "ログ/Żurnał.log", {},
       {"Mar 05 müller ログ"}},
  };
  e2e_run run;
  run.folder = "Łódź-日誌";  // the report's full path goes to the viewer
  // Written in order: logs searched together are oldest first by name too.
  run.files = {{"abcdef.log", "Mar 01 jdoe abcdef\n"},
               {"журнал.log", "Mar 01 jdoe журнал\n"},
               {"Żurnał-łódź.log", "Mar 02 MüLLER Łódź\nMar 02 müller łódź\n"},
               {"Łódź/日誌.log", "Mar 03 müller w folderze\n"},
               {"日誌.log", "Mar 04 müller 日誌\n"},
               {"ログ/Żurnał.log", "Mar 05 müller ログ\n"}};
  for (const auto& row : rows) {
    run.args = row.args;
    run.args.insert(run.args.begin(), {"-t", "2"});
    run.input = row.input + "\n";
    std::string report = head(row.term, row.names), out = pass_start(true);
    for (std::size_t i = 0; i < row.upper.size(); ++i)
      report += result(row.upper[i]), out += found(int(i) + 1);
    report += lower_heading(), out += pass_start(false);
    for (std::size_t i = 0; i < row.lower.size(); ++i)
      report += result(row.lower[i]), out += found(int(i) + 1);
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, 0) << row.names;
    EXPECT_EQ(r.report, report + foot());
    EXPECT_EQ(r.out.substr(r.out.find(progress())),
              progress() + out + finish());
    EXPECT_EQ(r.opened, viewer_call(r));
  }
  // At a console the letters, redirected their UTF-8.
  run.args = {"-s", "x", "-t", "2", "-f", "日誌.log", "Brak-żurnału.log"};
  for (const bool terminal : {false, true}) {
    run.on_terminal = terminal;
    run.viewer_fails = !terminal;
    const e2e_result r = run_vantrel(run);
    EXPECT_NE(screen_of(r.out).before_clear.find(
                  "Unable to open file Brak-żurnału.log"),
              std::string::npos) << r.out;
    if (!terminal) {
      EXPECT_EQ(r.out.substr(r.out.rfind('\t')), no_viewer(r));
    }
  }
}

// Every log's held hits come back in log order, however many logs there
// are for the descriptors the run may hold, and however many threads search
// them (more than the machine's cores, as the run's namespace shows them).
using limit_row = std::pair<int, std::string>;  // logs, the run's setup
class ManyLogs : public testing::TestWithParam<limit_row> {};
INSTANTIATE_TEST_SUITE_P(
    LogSet, ManyLogs,
    testing::Values(limit_row{1500, "ulimit -n 256"},  // hard and soft
                    limit_row{200, "ulimit -n 64"},
                    limit_row{200, "echo 0-15 >cores && mount --bind cores "
                                   "/sys/devices/system/cpu/online && "
                                   "ulimit -n 40"}));

TEST_P(ManyLogs, UnderALowDescriptorLimit) {
  if (windows_program()) GTEST_SKIP() << "Wine holds descriptors of its own";
  e2e_run run;
  run.args = {"-t", "2", "-s", "jdoe", "-f", "fw-*.log"};
  run.input = "\n";
  run.setup = GetParam().second;
  std::string upper, lower;
  run.prepare = [&](const std::string& dir) {
    const auto when = std::filesystem::file_time_type::clock::now();
    for (int i = 0; i < GetParam().first; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "fw-%04d.log", i);
      const std::string n = std::to_string(i);
      // Every other log too large to be read whole when listed.
      std::ofstream(dir + "/" + name)
          << "JDOE " + n + "\njdoe " + n + "\n"
          << (i % 2 ? std::string(5000, '.') + "\n" : "");
      std::filesystem::last_write_time(dir + "/" + name, when);
      upper += result("JDOE " + n);
      lower += result("jdoe " + n);
    }
  };
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0) << r.out.substr(0, 2000);
  EXPECT_EQ(r.report, head("jdoe", "fw-*.log") + upper + lower_heading() +
                          lower + foot());
}

// The set rotated between its listing and its search, as logrotate would:
// the listing waits in the opening of a FIFO named after the set until the
// test has rotated it; the logs past those held open are opened again.
TEST(LogSet, SetRotatedBetweenListingAndSearch) {
  if (windows_program()) GTEST_SKIP() << "Wine opens a FIFO without a writer";
  const std::string shift =
      "for i in $(seq 99 -1 1); do mv fw.log.$i fw.log.$((i + 1)); done; ";
  const struct {
    std::string rotate;
    int missing;  // the log whose hits are lost, or -1
    std::string said;
  } rows[] = {
      {"mv fw.log.100 fw.log.101; " + shift + "mv fw.log fw.log.1; echo "
       "jdoe new >fw.log", -1, ""},
      {"rm fw.log.100; " + shift + "mv fw.log fw.log.1; echo jdoe >fw.log",
       100, "\tThe log fw.log.100 was moved or removed before it was "
            "searched; its hits are missing.\n"},
      {"mv fw.log.100 fw.log.101; " + shift + "cp fw.log fw.log.1; :>fw.log",
       0, "\tThe log fw.log was cut short while it was searched; hits after "
          "byte 0 may be missing.\n"},
  };
  for (const auto& row : rows) {
    e2e_run run;
    run.args = {"-t", "2", "-s", "jdoe", "-f"};
    run.input = "\n";
    run.setup = "ulimit -n 64; mkfifo listed.fifo rotated.fifo; for i in "
                "$(seq 100); do touch -d \"$i hours ago\" fw.log.$i; done";
    std::string names, lower, out = banner() + progress() + pass_start(true) +
                                    row.said + pass_start(false);
    for (int i = 100, hits = 0; i >= 0; --i) {
      const std::string name = i ? "fw.log." + std::to_string(i) : "fw.log";
      std::string text(5000, '.');  // too large to be read whole
      for (int k = 0; k < 10; ++k) {
        const std::string line = "jdoe " + name + " " + std::to_string(k);
        text += "\n" + line;
        if (i != row.missing) lower += result(line), out += found(++hits);
      }
      run.files.emplace_back(name, text);
      run.args.insert(run.args.begin() + 5, name);
      names = name + ", " + names;
    }
    run.args.insert(run.args.end(), {"listed.fifo", "rotated.fifo"});
    std::thread rotator;
    int rotated = -1;
    // Each FIFO's writer opens once the run waits in its open (30 s at most).
    run.prepare = [&](const std::string& dir) {
      rotator = std::thread([&, dir] {
        for (const char* fifo : {"/listed.fifo", "/rotated.fifo"}) {
          for (int fd = -1, i = 0; fd < 0 && i < 6000; ++i) {
            fd = open((dir + fifo).c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
            else std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
          if (rotated < 0)
            rotated = std::system(("cd " + dir + " && " + row.rotate).c_str());
        }
      });
    };
    const e2e_result r = run_vantrel(run);
    rotator.join();
    EXPECT_EQ(rotated, 0);
    EXPECT_EQ(r.status, row.missing < 0 ? 0 : 1) << row.rotate;
    EXPECT_EQ(r.out, out + row.said + finish()) << row.rotate;
    EXPECT_EQ(r.report,
              head("jdoe", names + "listed.fifo, rotated.fifo") +
                  lower_heading() + lower +
                  (row.said.empty()
                       ? ""
                       : lack(row.said.substr(1, row.said.size() - 2))) +
                  foot())
        << row.rotate;
  }
}

// More held hits than memory is meant to take, and a temporary folder
// (TMPDIR) that fills up part way, or is not there: every hit is in the
// report all the same, and the run says once where they could not go.
TEST(LogSet, TemporaryFolderThatCannotTakeTheHeldHits) {
  if (windows_program()) GTEST_SKIP() << "TMPDIR names a folder of the host";
  e2e_run run;
  run.args = {"-t", "2", "-s", "jdoe", "-f", "fw.0.log.gz", "fw.1.log.gz"};
  run.input = "\n";
  std::string logs[2], lower, out = banner() + progress() + pass_start(true) +
                                    pass_start(false);
  for (int i = 0; i < 20000; ++i) {
    const std::string line = "Mar 01 jdoe " + std::to_string(i) + " " +
                             std::string(2000, 'x');
    logs[i / 10000] += line + "\n";
    lower += result(line);
    out += found(i + 1);
  }
  out += finish();
  run.files = {{"fw.0.log.gz", gzipped(logs[0])},
               {"fw.1.log.gz", gzipped(logs[1])}};
  for (const auto& [setup, folder, error] :
       {std::tuple{"mkdir small && mount -t tmpfs -o size=512k none small",
                   "/small", "No space left on device"},
        std::tuple{"", "/missing", "No such file or directory"}}) {
    run.setup = std::string(setup) + "\nexport TMPDIR=\"$PWD\"" + folder;
    const e2e_result r = run_vantrel(run);
    const std::string said = "\tThe temporary folder " + r.workdir + folder +
                             " could not take the held hits (" + error +
                             "); they are kept in memory.\n";
    EXPECT_EQ(r.status, 0) << folder;
    EXPECT_EQ(r.report, head("jdoe", "fw.0.log.gz, fw.1.log.gz") +
                            lower_heading() + lower + foot());
    const std::size_t at = r.out.find(said);
    ASSERT_NE(at, std::string::npos) << r.out.substr(0, 1000);
    EXPECT_EQ(r.out.substr(0, at) + r.out.substr(at + said.size()), out);
  }
}

}  // namespace
