// The whole run with every setting given as switches: console text, report
// bytes, exit status and the hand-over to the viewer.

#include <gtest/gtest.h>

#include <csignal>

#include "e2e_support.h"
#include "gzip_support.h"
#include "log/log_format.h"

namespace {

// Lines that no cleaning step changes: no removal tag, no slash, and a last
// field that is not an address.
const std::string kLog =
    "Mar 02 09:00:01 user JDOE logged in\n"
    "Mar 02 09:00:02 user jdoe logged in\n"
    "Mar 02 09:00:03 host 10.0.0.7 is up\n"
    "Mar 02 09:00:04 user JDoe mixed case\n"
    "Mar 02 09:00:05 host 10.0.0.7 is down\n"
    "Mar 02 09:00:06 host 10.0.0.7 again\n";

e2e_run switches(const std::string& term, const std::string& log = kLog) {
  e2e_run run;
  run.args = {"-t", "2", "-s", term, "-f", "fw.log"};
  run.files = {{"fw.log", log}};
  run.input = "\n";
  return run;
}

std::string whole_run(const std::string& upper, const std::string& lower) {
  return banner() + progress() + pass_start(true) + upper + pass_start(false) +
         lower + finish();
}

TEST(Spine, UserIdFoundInEachCaseOnly) {
  const e2e_result r = run_vantrel(switches("JDoe"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, whole_run(found(1), found(1)));
  EXPECT_EQ(r.report, head("JDoe", "fw.log") +
                          result("Mar 02 09:00:01 user JDOE logged in") +
                          lower_heading() +
                          result("Mar 02 09:00:02 user jdoe logged in") +
                          foot());
  EXPECT_EQ(r.opened, viewer_call(r));
  EXPECT_EQ(r.err, "");
}

TEST(Spine, AddressMatchesInBothPasses) {
  const e2e_result r = run_vantrel(switches("10.0.0.7"));
  const std::string three = found(1) + found(2) + found(3);
  EXPECT_EQ(r.out, whole_run(three, three));
  const std::string lines = result("Mar 02 09:00:03 host 10.0.0.7 is up") +
                            result("Mar 02 09:00:05 host 10.0.0.7 is down") +
                            result("Mar 02 09:00:06 host 10.0.0.7 again");
  EXPECT_EQ(r.report,
            head("10.0.0.7", "fw.log") + lines + lower_heading() + lines +
                foot());
}

TEST(Spine, EmptyTermMatchesEveryLineAndTheFinalEmptyRead) {
  const e2e_result r = run_vantrel(switches("", "one\ntwo\n"));
  const std::string three = found(1) + found(2) + found(3);
  EXPECT_EQ(r.out, whole_run(three, three));
  const std::string lines = result("one") + result("two") + result("");
  EXPECT_EQ(r.report, head("", "fw.log") + lines + lower_heading() + lines +
                          foot());
}

TEST(Spine, CrLfLogWritesNoCr) {
  const e2e_result r =
      run_vantrel(switches("x", "a x\r\nb\r\nc x\rmid\r\n"));
  const std::string lines = result("a x") + result("c x\rmid");
  EXPECT_EQ(r.report,
            head("x", "fw.log") + lower_heading() + lines + foot());
}

TEST(Spine, ReportTextIsEscaped) {
  e2e_run run = switches("a<b", "GET <script>alert('a<b')</script> & \"q\"\n");
  const e2e_result r = run_vantrel(run);
  const std::string line = result(
      "GET &lt;script&gt;alert(&#39;a&lt;b&#39;)&lt;/script&gt; &amp; "
      "&quot;q&quot;");
  EXPECT_EQ(r.report, head("a&lt;b", "fw.log") + lower_heading() + line +
                          foot());
}

TEST(Spine, FileNameWithDirectoryStandsAsEntered) {
  e2e_run run = switches("jdoe");
  run.args = {"-t", "2", "-s", "jdoe", "-f", "./fw.log"};
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.report.substr(0, head("jdoe", "./fw.log").size()),
            head("jdoe", "./fw.log"));
}

TEST(Spine, NoMatchGivesEmptySectionsInAReportReplacedFromTheStart) {
  e2e_run run = switches("nobody");
  run.files.emplace_back("report.html", std::string(100000, 'z'));
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.out, whole_run("", ""));
  EXPECT_EQ(r.report, head("nobody", "fw.log") + lower_heading() + foot());
}

TEST(Spine, MissingLogEndsAfterTheHead) {
  e2e_run run = switches("jdoe");
  run.files.clear();
  run.wait_for_viewer = false;
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner() + progress() + "Unable to open file");
  EXPECT_EQ(r.report, head("jdoe", "fw.log"));
  EXPECT_EQ(r.opened, "");
}

TEST(Spine, DirectoryAsLogCannotBeOpened) {
  e2e_run run = switches("jdoe");
  run.args.back() = ".";
  run.wait_for_viewer = false;
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner() + progress() + "Unable to open file");
  EXPECT_EQ(r.report, head("jdoe", "."));
  EXPECT_EQ(r.opened, "");
}

// Hits with nowhere to go are not searched for: the run says so once and
// ends before the first log is read, whatever the report is named.
TEST(Spine, UncreatableReportIsSaidOnceAndNothingIsSearched) {
  const struct {
    std::string report, setup, said;
  } rows[] = {
      {"report.html", "mkdir report.html", "Report.html"},
      // Root in the test's namespace writes into a folder of mode 555.
      {"ro/r.html", "mkdir ro; mount --bind ro ro; mount -o remount,bind,ro ro",
       "ro/r.html"},
      {"fw.log/r.html", "", "fw.log/r.html"},
  };
  for (const auto& row : rows) {
    e2e_run run = switches("10.0.0.7");
    if (row.report != "report.html")
      run.args.insert(run.args.begin(), {"-o", row.report});
    run.setup = row.setup;
    run.wait_for_viewer = false;
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.out, banner(row.report) + "\n\t" + row.said +
                         kNotOpen.substr(kNotOpen.find(' ')))
        << row.report;
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.has_report);
    EXPECT_EQ(r.opened, "");
  }
}

// -o: the report where it is wanted, every text naming it as given; with
// -w, the lines grep -w -F finds: an address beside its neighbours.
TEST(Spine, WholeWordsIntoAReportNamedByTheSwitch) {
  const std::string name = "raporty_\xc5\xba" "d\xc5\xba" "b\xc5\x82o/wynik.html";
  e2e_run run = switches("10.1.2.3", "a 10.1.2.3 up\nb 10.1.2.30 up\n"
                         "c 110.1.2.3 up\nd 10.1.2.34 then 10.1.2.3\n");
  run.args.insert(run.args.begin(), {"-w", "-o", name});
  run.files.emplace_back(name, "old report\n");
  std::string written, grepped;
  run.inspect = [&](const std::string& work) {
    written = read_file(work + "/" + name);
    run_command({"grep", "-w", "-F", "-e", "10.1.2.3", work + "/fw.log"},
                work + "/grep.out", work + "/grep.err", {"LC_ALL", "C"});
    grepped = read_file(work + "/grep.out");
  };
  const e2e_result r = run_vantrel(run);
  std::string lines, hits;
  int n = 0;
  for (std::size_t at = 0, end; (end = grepped.find('\n', at)) != grepped.npos;
       at = end + 1)
    lines += result(grepped.substr(at, end - at)), hits += found(++n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, banner(name) + progress(name) + pass_start(true) + hits +
                       pass_start(false) + hits + finish());
  EXPECT_EQ(written, head("10.1.2.3", "fw.log") + lines + lower_heading() +
                         lines + foot());
  EXPECT_FALSE(r.has_report);
  EXPECT_EQ(r.opened, viewer_call(r, name));
}

TEST(Spine, LogThatIsTheReportIsRefusedAndLeftAlone) {
  const std::string old = "<html>old report\n";
  // The log as named, and the report as -o names it (none: report.html).
  const std::pair<const char*, const char*> rows[] = {
      {"report.html", nullptr}, {"./report.html", nullptr},
      {"../work/report.html", nullptr}, {"fw.log", "./fw.log"}};
  for (const auto& [name, report] : rows) {
    e2e_run run = switches("old");
    run.files.emplace_back("report.html", old);
    run.args.back() = name;
    if (report != nullptr) run.args.insert(run.args.begin(), {"-o", report});
    run.wait_for_viewer = false;
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.out, banner(report != nullptr ? report : "report.html") +
                         "\tThe log file is the report itself; name another "
                         "log.\n") << name;
    EXPECT_EQ(r.report, old) << name;
    EXPECT_EQ(r.opened, "") << name;
  }
}

TEST(Spine, HardLinkToTheReportIsRefused) {
  e2e_run run = switches("old");
  run.files = {{"report.html", "old\n"}};
  run.args = {"-t", "2", "-s", "old", "-f", "link.log"};
  run.link = {"report.html", "link.log"};
  run.wait_for_viewer = false;
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.report, "old\n");
  EXPECT_EQ(r.opened, "");
}

TEST(Spine, UnknownSwitchesComeBeforeTheBanner) {
  e2e_run run = switches("nobody");
  run.args.insert(run.args.begin(), {"-x", "-q", "--f"});
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.out, "Unknown switch: -q\nUnknown switch: --f\n" +
                       whole_run("", ""));
}

// Either answers on standard output and ends the run before the banner:
// nothing is asked, no report is made and nothing is opened.
TEST(Spine, HelpAndVersionAnswerAndEndTheRun) {
  const std::string usage = "Usage: vantrel [-f logfile] [-s term] [-t 1|2]";
  const std::string usage_end = "\nMore in the manual page: man vantrel\n";
  const std::string version =
      "vantrel 1.0\ncompressed logs read: " +
      (windows_program() ? "gzip, compress" : readable_formats()) + "\n";
  const struct {
    std::vector<std::string> args;
    std::string out;  // the whole output, or how the usage text starts
  } cases[] = {
      {{"--version"}, version},
      {{"--help"}, usage},
      {{"-q", "--version", "-r"}, "Unknown switch: -q\n" + version},
      {{"-x", "--f", "--help", "--version"}, "Unknown switch: --f\n" + usage},
  };
  for (const auto& c : cases) {
    e2e_run run;
    run.args = c.args;
    run.wait_for_viewer = false;
    const e2e_result r = run_vantrel(run);
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(r.status, 0);
    if (c.out.find(usage) == std::string::npos) {
      EXPECT_EQ(r.out, c.out);
    } else {
      EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
      EXPECT_EQ(r.out.rfind(usage_end), r.out.size() - usage_end.size());
    }
    EXPECT_FALSE(r.has_report);
    EXPECT_EQ(r.opened, "");
  }
}

TEST(Spine, HelpAsATermOrAfterANonSwitchIsNoSwitch) {
  e2e_run run = switches("--help", "a --help line\n--HELP\n");
  const e2e_result term = run_vantrel(run);
  EXPECT_EQ(term.out, whole_run(found(1), found(1)));
  // After -f's log, every argument is one more log, whatever it looks like.
  run = switches("JDoe");
  run.args.insert(run.args.end(), {"fw.log", "--version", "--help"});
  const e2e_result logs = run_vantrel(run);
  EXPECT_EQ(logs.out, banner() + progress() +
                          "\tUnable to open file --version\n"
                          "\tUnable to open file --help\n" +
                          pass_start(true) + found(1) + pass_start(false) +
                          found(1) + finish());
  EXPECT_EQ(logs.status, 1);
}

TEST(Spine, EndedInputDoesNotHangTheEnterWait) {
  e2e_run run = switches("nobody");
  run.input = "";
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, whole_run("", ""));
}

// A compressed log, whatever its name and however it was compressed, gives
// the run of the log it holds; the report names it as given.
TEST(Spine, CompressedLogGivesTheRunOfTheLogItHolds) {
  const std::string log = sample_log();
  ASSERT_NE(log, "");
  const std::size_t half = log.find('\n', log.size() / 2) + 1;
  e2e_run run = switches("10.20.1.15", log);
  run.args[1] = "1";  // trimmed at the host names
  const e2e_result plain = run_vantrel(run);
  ASSERT_EQ(plain.status, 0);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"one member", gzipped(log)},
      {"fastest level", gzipped(log, 1)},
      {"smallest level", gzipped(log, 9)},
      {"two members", gzipped(log.substr(0, half)) + gzipped(log.substr(half))},
  };
  for (const auto& c : cases) {
    run.files = {{"fw.log", c.bytes}};
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(r.out, plain.out) << c.what;
    EXPECT_EQ(r.report, plain.report) << c.what;
  }
  run.files = {{"fw.log.gz", gzipped(log)}};
  run.args.back() = "fw.log.gz";
  const std::string plain_head = head("10.20.1.15", "fw.log");
  EXPECT_EQ(run_vantrel(run).report, head("10.20.1.15", "fw.log.gz") +
                                         plain.report.substr(plain_head.size()));
}

TEST(Spine, RedirectedOutputHasNoColourAndNoClearing) {
  e2e_run run = switches("JDoe");
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.out, whole_run(found(1), found(1)));
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(r.out.find('\f'), std::string::npos);  // a console clear
  // The report is written, but no viewer can show it: say where it is.
  run.viewer_fails = true;
  const e2e_result unseen = run_vantrel(run);
  EXPECT_EQ(unseen.status, 0);
  EXPECT_EQ(unseen.out, whole_run(found(1), found(1)) + no_viewer(unseen));
  // A pipe closed on the console (`| head`) takes nothing else with it.
  run.output_closed = true;
  run.viewer_fails = false;
  const e2e_result closed = run_vantrel(run);
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.report, r.report);
  EXPECT_EQ(closed.opened, viewer_call(closed));
}

// The last colour sequence written, or empty.
std::string last_escape(const std::string& out) {
  for (std::size_t at = out.rfind('\x1b'); at != std::string::npos;
       at = at == 0 ? std::string::npos : out.rfind('\x1b', at - 1)) {
    std::size_t end = at + 2;
    while (end < out.size() && (out[end] < '@' || out[end] > '~')) ++end;
    if (end < out.size() && out[end] == 'm') return out.substr(at, end + 1 - at);
  }
  return "";
}

TEST(Spine, ColourAndClearingOnATerminal) {
  e2e_run run = switches("JDoe");
  run.on_terminal = true;
  const e2e_result terminal = run_vantrel(run);
  // Wine's console shows a colour only in the text written in it.
  if (!windows_program()) {
    EXPECT_NE(terminal.out.find("\x1b[0;93m"), std::string::npos);  // yellow
  }
  const terminal_screen shown = screen_of(terminal.out);
  EXPECT_NE(shown.before_clear.find(
                "{92}Found Result on Line #1\n        {97}Searching "
                "LowerCase...\n        {92}Found Result on Line #1"),
            std::string::npos)
      << shown.before_clear;
  // Cleared; not under Wine, whose answers come from a file, as a script's.
  EXPECT_EQ(shown.at_end.empty(), !windows_program());
  EXPECT_EQ(terminal.opened, viewer_call(terminal));
  run.viewer_fails = true;  // then the cleared screen says where it is
  const e2e_result unseen = run_vantrel(run);
  const std::string left = screen_of(unseen.out).at_end;
  EXPECT_NE(left.find("        {93}No viewer could show the report;"),
            std::string::npos)
      << left;
  // An Enter from a pipe is a script's: what the run showed stays.
  run.input_piped = true;
  run.viewer_fails = false;
  EXPECT_NE(screen_of(run_vantrel(run).out).at_end.find("File written."),
            std::string::npos);
  // The terminal is left in its own colours, whichever way the run ends.
  const std::string own = windows_program() ? "\x1b[m" : "\x1b[0m";
  EXPECT_EQ(last_escape(terminal.out), own);
  run.files.clear();
  run.wait_for_viewer = false;
  EXPECT_EQ(last_escape(run_vantrel(run).out), own) << "missing log";
  fifo_log idle;
  idle.bytes = "JDOE waits\n";
  idle.hold_open = true;
  run.prepare = [&](const std::string& work) { idle.start(work + "/fw.log"); };
  run.stop_signal = SIGINT;
  run.stop_after = (head("JDoe", "fw.log") + result("JDOE waits")).size();
  // Wine takes Ctrl-C only once a read it waits on returns.
  if (windows_program()) run.after_stop = [&idle] { idle.run_over = true; };
  const e2e_result stopped = run_vantrel(run);
  EXPECT_EQ(stopped.status, stopped_status(SIGINT));
  EXPECT_EQ(last_escape(stopped.out), own) << "stopped";
  // Ctrl-C at a prompt, while the answer is shown in white. Wine takes
  // Ctrl-C only once the read it waits on returns, which this one never does.
  if (windows_program()) return;
  run = switches("JDoe");
  run.args.erase(run.args.begin() + 2, run.args.begin() + 4);  // no -s
  run.on_terminal = run.input_stays_open = true;
  run.stop_signal = SIGINT;
  run.stop_at_output = "What are we looking for?";
  run.wait_for_viewer = false;
  const e2e_result asked = run_vantrel(run);
  EXPECT_EQ(asked.status, stopped_status(SIGINT));
  EXPECT_EQ(last_escape(asked.out), own) << "stopped at a prompt";
  EXPECT_FALSE(asked.has_report);
}

// What a terminal shows of a run: its output without the progress lines,
// each of which is erased in place before anything else is written.
std::string without_progress(std::string out) {
  for (std::size_t at; (at = out.find('\r')) != std::string::npos;) {
    const std::size_t erase = out.find("\x1b[K", at);
    if (erase == std::string::npos || out.find('\n', at) < erase) {
      out[at] = '\0';  // a CR of the terminal's own line ends: keep it
      continue;
    }
    out.erase(at, erase + 3 - at);
  }
  for (char& c : out) c = c == '\0' ? '\r' : c;
  return out;
}

TEST(Spine, ProgressLineOnlyOnATerminalAndLeavesNoTrace) {
  std::string log;
  for (int i = 0; i < 400; ++i) log += "line " + std::to_string(i) + "\n";
  log += "JDOE at the end\n";
  const auto run_fed = [&log](std::chrono::milliseconds spread, bool terminal) {
    fifo_log fifo;
    fifo.bytes = log;
    fifo.pieces = 20;
    fifo.spread = spread;
    fifo.paced = true;
    e2e_run run = switches("JDoe");
    // A file besides: the FIFO, searched after it, is log 2 of 2.
    run.args.push_back("first.log");
    run.files = {{"first.log", "JDOE first\n"}};
    // The terminal echoes input whenever it arrives: none keeps runs alike.
    run.input.clear();
    run.on_terminal = terminal;
    run.prepare = [&fifo](const std::string& work) {
      fifo.start(work + "/fw.log");
    };
    return run_vantrel(run).out;
  };
  const std::string slow = run_fed(std::chrono::milliseconds(2000), true);
  // Wine's console may draw the line a character at a time.
  std::string drawn = slow;
  for (std::size_t at; (at = drawn.find("\x1b[")) != std::string::npos;)
    drawn.erase(at, drawn.find_first_of("@ABCDEFGHJKlhm", at + 2) + 1 - at);
  EXPECT_NE(drawn.find("B of log 2 of 2, "), std::string::npos) << drawn;
  const std::string fast = run_fed(std::chrono::milliseconds(0), true);
  if (!windows_program()) {
    EXPECT_EQ(without_progress(slow), fast);
  }
  EXPECT_EQ(screen_of(slow).before_clear, screen_of(fast).before_clear);
  const std::string redirected =
      run_fed(std::chrono::milliseconds(2000), false);
  EXPECT_EQ(redirected.find_first_of("\r\x1b"), std::string::npos);
}

}  // namespace
