#pragma once
// Runs the built program as a user would: in a fresh working directory,
// inside new user, mount and network namespaces (no traffic leaves, DNS
// fails at once) with the test hosts file over /etc/hosts, standard input
// from a file, and a fake xdg-open that records what it was asked to open.
//
// The same tests run the Windows build under Wine when VANTREL_PLATFORM is
// "windows" (VANTREL_RUNNER then names tests/e2e/wine-run.sh). Its standard
// output is in text mode, so the harness hands the tests its text with
// each CR LF read back as "\n", after checking that no line end lacks the
// CR; the report is compared byte for byte as it is.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <thread>
#include <string>
#include <utility>
#include <vector>

struct e2e_run {
  std::vector<std::string> args;  // after the program name
  std::string input;              // standard input
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes
  std::string folder = "work";  // the working directory's own name
  bool report_is_directory = false;  // makes report.html uncreatable
  bool on_terminal = false;          // run under a pseudo-terminal
  bool input_piped = false;  // on a terminal too, as always under Wine
  bool input_stays_open = false;  // no end after `input`: a prompt waits
  bool output_closed = false;  // standard output: a pipe nobody reads
  std::string hosts;                 // hosts file; empty: tests/e2e/hosts
  std::pair<std::string, std::string> link;  // hard link: target, name
  bool wait_for_viewer = true;       // give a background viewer time
  bool viewer_fails = false;  // xdg-open exits 3; Wine's bridge cannot start
  // Called with the working directory once the files are in it, before the
  // program starts (for files too big to hold in memory, or a writer that
  // keeps appending to the log).
  std::function<void(const std::string&)> prepare;
  // Called with the working directory after the run, before it is removed.
  std::function<void(const std::string&)> inspect;
  bool read_report = true;           // false: leave huge reports on disk
  // Shell commands run in the run's namespace and working directory just
  // before the program: a hard limit, a small file system, a variable.
  std::string setup;
  // Sends stop_signal once report.html holds at least stop_after bytes.
  int stop_signal = 0;
  std::size_t stop_after = 0;
  std::string stop_at_output;  // or once standard output holds this
  int stop_again_ms = -1;  // the signal once more, this long after
  std::function<void()> after_stop;  // called once the signal is sent (or due)
  std::string workdir;  // an existing working directory, kept after the run
  // A name server run beside the program, on 127.0.0.1:53 in its namespace
  // only (hermetic.sh), and asked through a resolv.conf of the run's own
  // with "hosts: files dns"; empty: none, and DNS fails at once.
  std::vector<std::string> name_server;
  std::string resolver_options;  // e.g. "timeout:1 attempts:1"
};

struct e2e_result {
  int status = -1;
  std::string out;        // standard output, exactly (see above for Windows)
  std::string err;        // standard error
  bool has_report = false;
  std::string report;     // report.html, exactly
  std::string opened;     // one line per call of xdg-open
  std::string workdir;
  long max_rss_kib = 0;   // the program's peak resident memory
  std::string server_log; // the name server's output
};

/// A log that is a FIFO, fed by a thread of the test: it can be read once,
/// gets the bytes in `pieces` writes spread over `spread`, and is closed;
/// with hold_open it stays open after its bytes (a writer gone idle) until
/// the run is over, or 30 seconds at most.
struct fifo_log {
  std::string bytes;
  int pieces = 1;
  std::chrono::milliseconds spread{0};
  bool hold_open = false;
  // Each piece once the reader took the last; the writer is in first, so a
  // reader that opens without waiting for one (Wine) meets no early end.
  bool paced = false;
  std::atomic<bool> run_over{false};
  std::atomic<bool> closed{false};  // the writer closed its end
  std::thread writer;

  /// Makes the FIFO in the working directory and starts the writer; for
  /// e2e_run::prepare.
  void start(const std::string& path);
  /// Ends the writer once the run is over.
  ~fifo_log();
};

/// Runs the program; waits a moment for a viewer started in the background.
e2e_result run_vantrel(const e2e_run& run);

/// True when the program under test is the Windows build.
bool windows_program();

/// The signals that ask a run to stop: Ctrl-C's and SIGTERM, or under Wine
/// Ctrl-C's only (Windows has no SIGTERM: Wine ends the program outright).
std::vector<int> stop_signals();

/// The exit status of a run stopped by a signal: 128 + it, or under Wine
/// the status of a run ended by Ctrl-C.
int stopped_status(int sig);

/// What the fake xdg-open records for one hand-over of the run's report:
/// its name as the program passed it, or under Wine, whose ShellExecuteW
/// reaches the host's opener through its browser bridge, a file:// URL of
/// its full path.
std::string viewer_call(const e2e_result& r,
                        const std::string& report = "report.html");
/// The line that says where the report is when no viewer could show it.
std::string no_viewer(const e2e_result& r);

/// What a terminal of 80 columns shows of a run's output: its rows when the
/// cursor is first sent home (the clearing at the end) and at the end, each
/// cut at its last non-blank, with {NN} before text whose colour differs
/// from the text before it (SGR numbers; grey, 37, is the default). Wine's
/// console redraws its screen in sequences of its own; this reads both.
struct terminal_screen {
  std::string before_clear, at_end;
};
terminal_screen screen_of(const std::string& out);

/// Runs a command, not hermetic, with standard input from /dev/null, its
/// output into files and one more environment variable; its exit status
/// (128 + the signal when one ended it).
int run_command(const std::vector<std::string>& argv, const std::string& out,
                const std::string& err,
                const std::pair<std::string, std::string>& env = {});

/// The path of a program, looked for on PATH and in /usr/sbin; empty when
/// it is not installed.
std::string installed(const std::string& program);

/// Text with & < > " ' written as the references the report uses.
std::string html_escaped(const std::string& text);

/// Contents of a file, or empty when missing.
std::string read_file(const std::string& path);

/// Where the bytes after a run's working directory was made.
std::string e2e_data(const std::string& name);

/// The sample log shipped in examples/.
std::string sample_log();

// The program's fixed texts, written out from what a user must see.
std::string banner(const std::string& report = "report.html");
std::string progress(const std::string& report = "report.html");
std::string pass_start(bool upper);
std::string found(int number);
std::string finish();
std::string head(const std::string& term, const std::string& fname);
std::string lower_heading();
std::string result(const std::string& line);
std::string foot();
std::string lack(const std::string& text);  // a thing the run lacks
extern const std::string kNotOpen;
extern const std::string kCutShort;  // the run was stopped
extern const std::string kNoAnswer;  // the input ended at a prompt
