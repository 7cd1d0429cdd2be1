// Logs as they come from the wire rather than as they should be: raw bytes,
// a log still being written, a run stopped half way, odd file names.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "gzip_support.h"

namespace {

std::string whole_run(const std::string& upper, const std::string& lower) {
  return banner() + progress() + pass_start(true) + upper + pass_start(false) +
         lower + finish();
}

e2e_run switches(const std::string& term, const std::string& log,
                 const std::string& trim = "2") {
  e2e_run run;
  run.args = {"-t", trim, "-s", term, "-f", "fw.log"};
  run.files = {{"fw.log", log}};
  run.input = "\n";
  return run;
}

const std::string nul(1, '\0');

TEST(Hostile, NulAndHighBytesPassThroughLinesAndTerm) {
  if (windows_program())
    GTEST_SKIP() << "Wine reads the host's arguments as UTF-8, where bytes "
                    "that are not UTF-8 do not survive; the typed term below "
                    "covers them there";
  const std::string term = "\xe9ve\xff";  // folds to \xe9VE\xff upper-case
  const std::string log =
      "a " + nul + "\xe9VE\xff" + nul + " \x80\x9f <165>x\r\n" +
      "b \xe9ve\xff tail 203.0.113.80:/caf\xe9" + nul + "\xfe\n" +
      "c \xe9vE\xff mixed case, not found\n" +
      "d \xe9ve\xff last field with a nul 203.0.113.80" + nul + "\n" +
      "e \xc9VE\xff upper-case accented letter is not folded\n";
  const e2e_result r = run_vantrel(switches(term, log, "1"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, whole_run(found(1), found(1) + found(2)));
  EXPECT_EQ(r.report,
            head(term, "fw.log") +
                result("a " + nul + "\xe9VE\xff" + nul + " \x80\x9f x") +
                lower_heading() +
                // Named and trimmed after the name: the NUL goes with the path.
                result("b \xe9ve\xff tail www.example.com") +
                // A field holding a NUL is no address and is never looked up.
                result("d \xe9ve\xff last field with a nul 203.0.113.80" +
                       nul) +
                foot());
}

TEST(Hostile, NulAndHighBytesInATypedTerm) {
  // Only an answer at the prompt can carry a NUL into the term.
  const std::string term = "x" + nul + "\xe9y";
  e2e_run run;
  run.args = {"-t", "2", "-f", "fw.log"};
  run.files = {{"fw.log", "a " + term + " b\nX" + nul + "\xe9Y upper\nx\xe9y no\n"}};
  run.input = term + "\n\n";
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.report, head(term, "fw.log") + result("X" + nul + "\xe9Y upper") +
                          lower_heading() + result("a " + term + " b") +
                          foot());
}

TEST(Hostile, DevNullIsAnEmptyLog) {
  e2e_run run = switches("jdoe", "");
  run.args.back() = "/dev/null";
  e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, whole_run("", ""));
  EXPECT_EQ(r.report, head("jdoe", "/dev/null") + lower_heading() + foot());
  EXPECT_EQ(r.opened, viewer_call(r));
  // The one empty read of each pass matches an empty term.
  run.args[3] = "";
  r = run_vantrel(run);
  EXPECT_EQ(r.out, whole_run(found(1), found(1)));
  EXPECT_EQ(r.report, head("", "/dev/null") + result("") + lower_heading() +
                          result("") + foot());
}

// Every report line ends with CR LF and is a line the run can write: part of
// the head, a result line from the log, a heading or part of the foot.
void expect_whole_lines(const std::string& report,
                        const std::vector<std::string>& allowed_results) {
  ASSERT_GE(report.size(), 2u);
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n") << "last line cut";
  std::size_t results = 0;
  for (std::size_t at = 0; at < report.size();) {
    std::size_t stop = report.find("\r\n", at);
    ASSERT_NE(stop, std::string::npos) << "line without CR LF at " << at;
    const std::string line = report.substr(at, stop - at);
    at = stop + 2;
    if (line.rfind("<br>", 0) != 0 || line.rfind("<br>&nbsp;", 0) == 0)
      continue;
    ++results;
    bool known = false;
    for (const std::string& want : allowed_results) known |= (line == want);
    EXPECT_TRUE(known) << "partial result line of " << line.size()
                       << " bytes";
  }
  EXPECT_GT(results, 0u);
}

TEST(Hostile, StopSignalsLeaveOnlyWholeLines) {
  // Lines far longer than any stream buffer, so each takes many writes,
  // and the signal is sent while the third is being written.
  const std::string filler = [] {
    std::string f;
    while (f.size() < 1024 * 1024) f += "a&b<c>d\"e'f ";
    return f;
  }();
  std::string log;
  std::vector<std::string> written;
  for (int i = 0; i < 24; ++i) {
    const std::string n = std::to_string(i);
    log += "jdoe " + n + " " + filler + "\n";
    written.push_back("<br>jdoe " + n + " " + html_escaped(filler));
  }
  for (int sig : stop_signals()) {
    e2e_run run = switches("jdoe", log);
    run.wait_for_viewer = false;
    run.stop_signal = sig;
    run.stop_after = written[0].size() * 5 / 2;
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, stopped_status(sig)) << "not stopped by " << sig;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.opened, "");
    expect_whole_lines(r.report, written);
  }
}

// A log whose writer stays idle after its lines leaves the read waiting;
// the first request to stop must still end the run, with every hit read
// before it in the report, the lower-case ones held for their section
// too, and the report closed.
TEST(Hostile, StopSignalsEndARunWaitingOnAnIdleFifo) {
  if (windows_program())
    GTEST_SKIP() << "under Wine a read waiting on an idle FIFO goes on "
                    "waiting after Ctrl-C, until the writer closes";
  std::string lines;
  std::string results, held, found_all;
  for (int i = 0; i < 500; ++i) {
    // No address in the last field, so no line waits for a name.
    lines += "JDOE " + std::to_string(i) + " done\njdoe held\n";
    results += result("JDOE " + std::to_string(i) + " done");
    held += result("jdoe held");
    found_all += found(i + 1);
  }
  for (int sig : stop_signals()) {
    fifo_log fifo;
    fifo.bytes = lines;
    fifo.hold_open = true;
    e2e_run run = switches("jdoe", "");
    run.files.clear();
    run.wait_for_viewer = false;
    run.prepare = [&](const std::string& work) { fifo.start(work + "/fw.log"); };
    run.stop_signal = sig;
    run.stop_after = head("jdoe", "fw.log").size() + results.size();
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, stopped_status(sig));
    EXPECT_FALSE(fifo.closed) << "the run waited on the log";
    // The report, which is what gets handed on, says it was cut short too.
    EXPECT_EQ(r.report, head("jdoe", "fw.log") + results + lower_heading() +
                            held + lack(kCutShort.substr(2, kCutShort.size() - 3)) + foot());
    // The hits held before the stop are written without a line each.
    EXPECT_EQ(r.out, banner() + progress() + pass_start(true) + found_all +
                         pass_start(false) +
                         "\tWrote 500 results found before the stop.\n" +
                         kCutShort);
  }
}

// A run of jdoe whose log `name` is a FIFO fed `bytes` (by default two
// hits, no address last: none waits for a name), held open when asked.
e2e_run over_fifo(fifo_log& fifo, bool hold_open,
                  const std::string& bytes = "JDOE one\njdoe two\n",
                  const std::string& name = "fw.log") {
  fifo.bytes = bytes;
  fifo.hold_open = hold_open;
  fifo.paced = !hold_open;
  e2e_run run = switches("jdoe", "");
  run.files.clear();
  run.prepare = [&fifo, name](const std::string& w) {
    fifo.start(w + "/" + name);
  };
  return run;
}
const std::string kTwoHits = head("jdoe", "fw.log") + result("JDOE one") +
                             lower_heading() + result("jdoe two") + foot();

// Logs searched by other threads hold their first-section hits until their
// turn; a stop while a later log (an idle FIFO) waits writes each once and
// says nothing was lost.
TEST(Hostile, StopAcrossLogsWritesEveryHitOnceAndLosesNone) {
  if (windows_program())
    GTEST_SKIP() << "under Wine a read waiting on an idle FIFO goes on "
                    "waiting after Ctrl-C, until the writer closes";
  std::string logs[3], upper, lower;
  for (int i = 0; i < 900; ++i) {
    const std::string n = std::to_string(i);
    logs[i / 300] += "JDOE " + n + " up\njdoe " + n + " up\n";
    upper += result("JDOE " + n + " up");
    lower += result("jdoe " + n + " up");
  }
  fifo_log fifo;
  e2e_run run = over_fifo(fifo, true, logs[2], "c.log");
  run.args = {"-t", "2", "-s", "jdoe", "-f", "a.log", "b.log", "c.log"};
  // a.log long enough that another thread takes b.log meanwhile.
  const std::string filler(std::size_t{32} << 20, '-');
  run.files = {{"a.log", filler + "\n" + logs[0]}, {"b.log", logs[1]}};
  run.wait_for_viewer = false;
  run.stop_signal = SIGTERM;
  const std::string h = head("jdoe", "a.log, b.log, c.log");
  run.stop_after = h.size() + upper.size();
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, stopped_status(SIGTERM));
  EXPECT_TRUE(r.report == h + upper + lower_heading() + lower +
                             lack(kCutShort.substr(2, kCutShort.size() - 3)) +
                             foot());
  EXPECT_EQ(r.out.find("could not all be kept"), std::string::npos) << r.out;
}

// A second request while a million hits held before the stop are written:
// with the first (timeout signals the process and its group) it is the same
// one; half a second later it ends the run at once. Either way the console
// text and the "Stopped" line reach their file, and the report ends whole.
TEST(Hostile, SecondStopEndsAtOnceOnlyHalfASecondAfterTheFirst) {
  std::string log;
  for (int i = 0; i < 1000000; ++i)
    log += "jdoe " + std::to_string(i) + " up\n";
  for (int again_ms : {0, 600}) {
    e2e_run run = switches("jdoe", log + "JDOE\n");
    run.wait_for_viewer = false;
    run.stop_signal = stop_signals().back();
    run.stop_again_ms = again_ms;
    run.stop_after = (head("jdoe", "fw.log") + result("JDOE")).size();
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, stopped_status(run.stop_signal));
    EXPECT_EQ(r.out.find(banner()), 0u);
    EXPECT_EQ(r.out.rfind(kCutShort), r.out.size() - kCutShort.size());
    EXPECT_EQ(r.report.rfind(again_ms == 0 ? foot() : "\r\n"),
              r.report.size() - (again_ms == 0 ? foot().size() : 2));
  }
}

// cron, a daemon or a script may start a run with its standard streams
// closed: it ends all the same (input ended), every hit in the report.
TEST(Hostile, ClosedStandardStreamsEndTheRunWithEveryHit) {
  for (const char* closed : {"exec 0<&-", "exec 0<&- 1>&- 2>&-"}) {
    // Wine itself does not start the program without output streams.
    if (windows_program() && std::strchr(closed, '1') != nullptr) continue;
    fifo_log fifo;
    e2e_run run = over_fifo(fifo, false);
    run.setup = closed;
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, 0) << closed;
    EXPECT_EQ(r.report, kTwoHits) << closed;
  }
}

// 180 descriptors left open by the parent under a limit of 256: each of
// 300 logs too large to be read whole when listed is still searched.
TEST(Hostile, InheritedDescriptorsCostNoLog) {
  if (windows_program())
    GTEST_SKIP() << "inherited handles take no slot of the C library's";
  e2e_run run = switches("jdoe", "");
  run.files.clear();
  for (int i = 0; i < 300; ++i)
    run.files.push_back({"fw.log." + std::to_string(i),
                         std::string(5000, '-') + "\njdoe\n"});
  run.args.back() = "fw.log.*";
  run.setup =
      "ulimit -n 256\nexec bash -c 'for fd in $(seq 10 189); do "
      "eval \"exec $fd</dev/null\"; done; exec \"$@\"' bash \"$@\"";
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  std::string all;
  for (int i = 0; i < 300; ++i) all += result("jdoe");
  EXPECT_EQ(r.report,
            head("jdoe", "fw.log.*") + lower_heading() + all + foot());
}

// A second run in the same folder while the first writes its report
// leaves the report alone: refused, nothing searched, status 1.
TEST(Hostile, SecondRunOnTheSameReportIsRefused) {
  fifo_log fifo;
  e2e_run first = over_fifo(fifo, true);
  e2e_run second = switches("asmith", "asmith 1\n");
  first.prepare = [&, feed = first.prepare](const std::string& w) {
    second.workdir = w;
    feed(w);
  };
  first.stop_after = (head("jdoe", "fw.log") + result("JDOE one")).size();
  e2e_result refused;
  first.after_stop = [&] {
    second.args.back() = second.files[0].first = "other.log";
    second.wait_for_viewer = false;
    refused = run_vantrel(second);
    fifo.run_over = true;  // the first run's log ends
  };
  const e2e_result r = run_vantrel(first);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, banner() + "\tAnother run is writing report.html; "
                                    "wait for it to end.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.report, kTwoHits);
}

// A log that can be read only once (a FIFO) is searched once for both
// cases, and gives what the same log in a file gives.
TEST(Hostile, FifoLogGivesWhatTheFileGives) {
  std::string log;
  for (int i = 0; i < 300; ++i)
    log += "Mar 02 JDOE " + std::to_string(i) + " 10.0.0.7 up\n" +
           "Mar 02 jdoe " + std::to_string(i) + " 203.0.113.80:/p\r\n";
  for (const char* term : {"JDoe", "10.0.0.7"}) {
    const e2e_result file = run_vantrel(switches(term, log, "1"));
    fifo_log fifo;
    fifo.bytes = log;
    fifo.pieces = 7;
    fifo.paced = true;  // Wine opens a FIFO without waiting for a writer
    e2e_run run = switches(term, log, "1");
    run.files.clear();
    run.prepare = [&fifo](const std::string& work) {
      fifo.start(work + "/fw.log");
    };
    const e2e_result piped = run_vantrel(run);
    EXPECT_EQ(piped.status, 0) << term;
    EXPECT_EQ(piped.out, file.out) << term;
    EXPECT_EQ(piped.report, file.report) << term;
  }
}

// Failures that must not read as success: each is said, and the run exits 1.
TEST(Hostile, ReadAndWriteFailuresAreSaidAndEndWithStatus1) {
  // The report on a full disk: nothing else after the message.
  e2e_run run = switches("jdoe", "jdoe 1\n");
  run.wait_for_viewer = false;
  run.read_report = false;
  run.prepare = [](const std::string& work) {
    ASSERT_EQ(symlink("/dev/full", (work + "/report.html").c_str()), 0);
  };
  e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner() + progress() +
                       "\tReport.html could not be written: No space left "
                       "on device.\n");
  EXPECT_EQ(r.opened, "");

  // A log whose every read fails: said after each pass, the run goes on.
  // Wine hands the read's EIO on as EINVAL.
  run = switches("jdoe", "");
  run.args.back() = "/proc/self/mem";
  r = run_vantrel(run);
  const std::string failed =
      "\tThe log could not be read to its end: " +
      std::string(windows_program() ? "Invalid argument"
                                    : "Input/output error") + ".\n";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, whole_run(failed, failed));
  EXPECT_EQ(r.report, head("jdoe", "/proc/self/mem") + lower_heading() +
                          lack(failed.substr(1, failed.size() - 2)) + foot());
  EXPECT_EQ(r.opened, viewer_call(r));
}

// A compressed log damaged or cut short: what was decompressed before the
// damage is searched and written, as the same lines in a plain log would
// be; each pass then says where it stopped, the report still gets its foot,
// and the run exits 1.
TEST(Hostile, DamagedCompressedLogIsSearchedUpToTheDamage) {
  const std::string gz = gzipped(sample_log());
  const auto flipped = [&gz](std::size_t at, char bits) {
    std::string bad = gz;
    bad[at] = static_cast<char>(bad[at] ^ bits);
    return bad;
  };
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"cut short", gz.substr(0, gz.size() / 2)},
      {"a byte changed", flipped(gz.size() / 2, 0x55)},
      {"check value wrong", flipped(gz.size() - 8, 1)},
  };
  for (const auto& c : cases) {
    bool damaged = false;
    const std::string text = gunzipped(c.bytes, &damaged);
    ASSERT_TRUE(damaged) << c.what;
    const std::string lines = text.substr(0, text.rfind('\n') + 1);
    const e2e_result plain = run_vantrel(switches("10.20.1.15", lines, "1"));
    const e2e_result r = run_vantrel(switches("10.20.1.15", c.bytes, "1"));
    const std::string said = "\tThe compressed log is damaged after line " +
                             std::to_string(complete_lines(lines)) +
                             "; the rest was not searched.\n";
    std::string out = plain.out;
    out.insert(out.rfind(finish()), said);
    out.insert(out.find(pass_start(false)), said);
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_EQ(r.out, out) << c.what;
    std::string report = plain.report;
    report.insert(report.rfind(foot()), lack(said.substr(1, said.size() - 2)));
    EXPECT_EQ(r.report, report) << c.what;
  }
}

// Only the whole magic makes a log compressed; a line that merely starts
// like one is searched as it stands.
TEST(Hostile, GzipLookalikeIsSearchedAsItStands) {
  const std::string first = "\x1f\x8b\x09 jdoe one";
  const e2e_result r = run_vantrel(switches("jdoe", first + "\njdoe two\n"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, whole_run("", found(1) + found(2)));
  EXPECT_EQ(r.report, head("jdoe", "fw.log") + lower_heading() +
                          result(first) + result("jdoe two") + foot());
}

TEST(Hostile, LogGrowingFasterThanItIsReadStillEnds) {
  const std::string start = [] {
    std::string s;
    for (int i = 0; i < 2000; ++i)
      s += "jdoe seed line " + std::to_string(i) + "\n";
    return s;
  }();
  // The writer appends short matching lines, each needing a report write,
  // faster than a pass can take them; it gives up after 256 MiB or a
  // minute, by which time the run should long have ended.
  std::atomic<bool> run_over{false};
  std::atomic<bool> gave_up{false};
  std::thread writer;
  e2e_run run = switches("jdoe", start);
  run.prepare = [&](const std::string& work) {
    const std::string path = work + "/fw.log";
    writer = std::thread([path, &run_over, &gave_up] {
      std::FILE* f = std::fopen(path.c_str(), "ab");
      if (f == nullptr) return;
      std::string batch;
      while (batch.size() < 8 * 1024) batch += "jdoe\n";
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::minutes(1);
      for (std::size_t total = 0; !run_over; total += batch.size()) {
        if (std::chrono::steady_clock::now() > deadline ||
            total > (std::size_t{256} << 20)) {
          gave_up = true;
          break;
        }
        std::fwrite(batch.data(), 1, batch.size(), f);
        std::fflush(f);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      std::fclose(f);
    });
  };
  const e2e_result r = run_vantrel(run);
  run_over = true;
  if (writer.joinable()) writer.join();
  EXPECT_FALSE(gave_up) << "the run went on while the log kept growing";
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(r.out.size() - finish().size()), finish());
  // Whole and well formed; the last line of a section may be one the
  // writer was half way through when the pass opened the log.
  const std::string h = head("jdoe", "fw.log");
  ASSERT_EQ(r.report.substr(0, h.size()), h);
  ASSERT_GE(r.report.size(), h.size() + foot().size());
  EXPECT_EQ(r.report.substr(r.report.size() - foot().size()), foot());
  EXPECT_NE(r.report.find(lower_heading()), std::string::npos);
  EXPECT_NE(r.report.find(result("jdoe seed line 1999")), std::string::npos);
}

}  // namespace
