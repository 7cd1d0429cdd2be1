#include "e2e_support.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v != nullptr && *v != '\0') ? v : fallback;
}

// The command that runs the program: VANTREL_RUNNER (e.g. an emulator)
// goes before VANTREL_EXE when set.
std::vector<std::string> program_command() {
  std::vector<std::string> cmd;
  std::istringstream runner(env_or("VANTREL_RUNNER", ""));
  for (std::string word; runner >> word;) cmd.push_back(word);
  cmd.push_back(env_or("VANTREL_EXE", VANTREL_EXE));
  return cmd;
}

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Text mode turns each "\n" into CR LF and leaves every other byte alone,
// so reading each CR LF back as "\n" undoes it exactly. An LF without its
// CR cannot come from text mode and fails the test.
std::string from_text_mode(const std::string& raw) {
  std::string out;
  bool reported = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
      out += '\n';
      ++i;
      continue;
    }
    if (raw[i] == '\n' && !reported) {
      ADD_FAILURE() << "standard output has a line end without CR at byte "
                    << i;
      reported = true;
    }
    out += raw[i];
  }
  return out;
}

// Size of a file, or 0 when it does not exist yet.
std::size_t file_size_or_zero(const fs::path& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return 0;
  return static_cast<std::size_t>(st.st_size);
}

// Starts argv with its standard streams on the given files and one more
// variable in its environment.
// The process below root (by parent links in /proc) whose name is
// vantrel, or root itself when there is none: under a pseudo-terminal the
// program runs a few processes down, and a signal for it must reach it
// rather than the terminal's keeper.
pid_t program_below(pid_t root) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string stat = read_file((entry.path() / "stat").string());
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos ||
        (stat.find("(vantrel)") == std::string::npos &&
         stat.find("(vantrel.exe)") == std::string::npos))
      continue;
    pid_t pid = static_cast<pid_t>(std::atoi(stat.c_str()));
    for (pid_t up = pid; up > 1;) {
      if (up == root) return pid;
      const std::string s = read_file("/proc/" + std::to_string(up) + "/stat");
      const std::size_t p = s.rfind(')');
      if (p == std::string::npos) break;
      up = static_cast<pid_t>(std::atoi(s.c_str() + p + 4));  // ") S ppid"
    }
  }
  return root;
}

pid_t start(const std::vector<std::string>& argv, const std::string& in,
            const std::string& out, const std::string& err,
            const std::pair<std::string, std::string>& env,
            bool out_closed = false) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd_in = open(in.c_str(), O_RDONLY);
    int fd_out = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int ends[2];
    if (out_closed && pipe(ends) == 0) {
      close(ends[0]);
      fd_out = ends[1];
    }
    const int fd_err = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd_in, 0);
    dup2(fd_out, 1);
    dup2(fd_err, 2);
    if (!env.first.empty()) setenv(env.first.c_str(), env.second.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// True while sig waits to be delivered to the process.
bool pending(pid_t pid, int sig) {
  const std::string s = read_file("/proc/" + std::to_string(pid) + "/status");
  for (const char* field : {"SigPnd:", "ShdPnd:"}) {
    const std::size_t at = s.find(field);
    if (at != std::string::npos &&
        ((std::strtoull(s.c_str() + at + 7, nullptr, 16) >> (sig - 1)) & 1))
      return true;
  }
  return false;
}

int exit_status(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int spawn(const std::vector<std::string>& argv, const fs::path& in,
          const fs::path& out, const fs::path& err, const std::string& opened,
          const e2e_run& run, const fs::path& report, long* max_rss_kib) {
  const pid_t pid = start(argv, in.string(), out.string(), err.string(),
                          {"VANTREL_OPENED", opened}, run.output_closed);
  int status = 0;
  rusage usage{};
  if (run.stop_signal == 0 && !run.after_stop) {
    wait4(pid, &status, 0, &usage);
  } else {
    // unshare and the hermetic script exec the program in place; under a
    // terminal or Wine it runs below them, and is looked for there.
    bool sent = false;
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
      const bool due = run.stop_at_output.empty()
                           ? file_size_or_zero(report) >= run.stop_after
                           : read_file(out.string()).find(
                                 run.stop_at_output) != std::string::npos;
      if (!sent && due) {
        const pid_t to =
            run.on_terminal || windows_program() ? program_below(pid) : pid;
        if (run.stop_signal != 0) kill(to, run.stop_signal);
        // Once the first is taken, or the two would merge into one.
        while (run.stop_again_ms >= 0 && pending(to, run.stop_signal))
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (run.stop_again_ms >= 0) {
          std::this_thread::sleep_for(
              std::chrono::milliseconds(run.stop_again_ms));
          kill(to, run.stop_signal);
        }
        sent = true;
        if (run.after_stop) run.after_stop();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  *max_rss_kib = usage.ru_maxrss;
  return exit_status(status);
}

}  // anonymous namespace

bool windows_program() {
  return env_or("VANTREL_PLATFORM", "") == "windows";
}

std::vector<int> stop_signals() {
  return windows_program() ? std::vector<int>{SIGINT}
                           : std::vector<int>{SIGINT, SIGTERM};
}

int stopped_status(int sig) {
  // Wine passes on the low byte of STATUS_CONTROL_C_EXIT.
  return windows_program() ? 0x3A : 128 + sig;
}

std::string viewer_call(const e2e_result& r, const std::string& report) {
  if (!windows_program()) return report + "\n";
  std::string url = "file://";
  for (const char c : r.workdir + "/" + report) {
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", c & 0xFF);
    url += (c & 0x80) != 0 ? escaped : std::string(1, c);
  }
  return url + "\n";
}

std::string no_viewer(const e2e_result& r) {
  std::string path = r.workdir + "/report.html";
  if (windows_program()) {  // Wine shows the root as drive Z:
    std::replace(path.begin(), path.end(), '/', '\\');
    path = "Z:" + path;
  }
  return "\tNo viewer could show the report; it is at " + path + "\n";
}

int run_command(const std::vector<std::string>& argv, const std::string& out,
                const std::string& err,
                const std::pair<std::string, std::string>& env) {
  int status = 0;
  waitpid(start(argv, "/dev/null", out, err, env), &status, 0);
  return exit_status(status);
}

std::string installed(const std::string& program) {
  std::istringstream dirs(env_or("PATH", "") + ":/usr/sbin:/sbin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (dir.empty()) continue;
    const fs::path candidate = fs::path(dir) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

std::string html_escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

struct cell {
  char ch = ' ';
  int colour = 37;
};
using screen_rows = std::vector<std::vector<cell>>;

std::string shown(const screen_rows& rows) {
  std::string text;
  int colour = 37;
  for (const auto& row : rows) {
    std::string line;
    for (const cell& c : row) {
      if (c.ch != ' ' && c.colour != colour)
        line += "{" + std::to_string(colour = c.colour) + "}";
      line += c.ch;
    }
    text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
  }
  return text.substr(0, text.find_last_not_of('\n') + 1);
}

}  // anonymous namespace

terminal_screen screen_of(const std::string& out) {
  screen_rows rows(1);
  std::size_t row = 0, col = 0;
  int colour = 37;
  terminal_screen seen;
  bool homed = false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out.compare(i, 2, "\x1b[") == 0) {  // ESC [ arguments final-byte
      std::size_t end = i + 2;
      while (end < out.size() && (out[end] < '@' || out[end] > '~')) ++end;
      const std::string args = out.substr(i + 2, end - i - 2);
      const std::size_t last = args.rfind(';');
      const int n = std::atoi(args.c_str() + (last == std::string::npos ? 0 : last + 1));
      const char op = end < out.size() ? out[end] : '\0';
      i = end;
      if (op == 'm') colour = n == 0 ? 37 : n;
      if (op == 'C') col += static_cast<std::size_t>(n);
      if (op == 'K' && rows[row].size() > col) rows[row].resize(col);
      if (op == 'J' && n == 2) rows.assign(rows.size(), {});
      if (op == 'H') {
        if (!homed) seen.before_clear = shown(rows);
        homed = true;
        row = static_cast<std::size_t>(std::max(std::atoi(args.c_str()), 1)) - 1;
        col = static_cast<std::size_t>(std::max(n, 1)) - 1;
      }
    } else if (out[i] == '\r') {
      col = 0;
    } else if (out[i] == '\n') {
      ++row;
    } else if (out[i] == '\t') {
      col = (col / 8 + 1) * 8;
    } else {
      if (col >= 80) col = 0, ++row;
      if (rows.size() <= row) rows.resize(row + 1);
      if (rows[row].size() <= col) rows[row].resize(col + 1);
      rows[row][col++] = {out[i], colour};
    }
    if (rows.size() <= row) rows.resize(row + 1);
  }
  seen.at_end = shown(rows);
  if (!homed) seen.before_clear = seen.at_end;
  return seen;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void fifo_log::start(const std::string& path) {
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  writer = std::thread([this, path] {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto wait = [&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return !run_over && std::chrono::steady_clock::now() < deadline;
    };
    // Waits for the run to open its end without blocking, so a run that
    // never opens it does not hold the test up.
    // A writer that stays open can be in before the reader (opening for
    // both never waits): Wine opens a FIFO without waiting for a writer.
    // Not inherited: the run must be the only other holder of the FIFO.
    int fd = hold_open || paced ? open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
    while (fd < 0 && (fd = open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0)
      if (!wait()) return;
    fcntl(fd, F_SETFL, 0);
    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) return;
    const auto taken = [&] {
      int held = 0;
      while (paced && ioctl(fd, FIONREAD, &held) == 0 && held > 0)
        if (!wait()) return;
    };
    const std::size_t step = bytes.size() / static_cast<std::size_t>(pieces) + 1;
    for (std::size_t at = 0; at < bytes.size(); at += step) {
      std::fwrite(bytes.data() + at, 1, std::min(step, bytes.size() - at), f);
      std::fflush(f);
      taken();
      std::this_thread::sleep_for(spread / pieces);
    }
    while (hold_open && wait()) {
    }
    closed = true;
    std::fclose(f);
  });
}

fifo_log::~fifo_log() {
  run_over = true;
  if (writer.joinable()) writer.join();
}

std::string e2e_data(const std::string& name) {
  return std::string(VANTREL_E2E_DIR) + "/" + name;
}

std::string sample_log() {
  return read_file(e2e_data("../../examples/sample.log"));
}

namespace {

// The environment that makes hermetic.sh start the run's name server.
std::vector<std::string> name_server_env(const e2e_run& run,
                                         const fs::path& root) {
  if (run.name_server.empty()) return {};
  write_file(root / "resolv.conf",
             "nameserver 127.0.0.1\n" +
                 (run.resolver_options.empty()
                      ? std::string()
                      : "options " + run.resolver_options + "\n"));
  write_file(root / "nsswitch.conf", "hosts: files dns\n");
  std::string command;
  for (const std::string& word : run.name_server)
    command += shell_quote(word) + " ";
  return {"env", "HERMETIC_RESOLV=" + (root / "resolv.conf").string(),
          "HERMETIC_NSSWITCH=" + (root / "nsswitch.conf").string(),
          "HERMETIC_SERVER_LOG=" + (root / "server.log").string(),
          "HERMETIC_SERVER=" + command};
}

// The server is stopped just after the program ends; its last lines are
// in the log once it has gone.
std::string server_log(const fs::path& root) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(root / "server.log.done") &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return read_file((root / "server.log").string());
}

e2e_result run_once(const e2e_run& run) {
  char tmpl[] = "/tmp/vantrel-e2e-XXXXXX";
  const fs::path root = mkdtemp(tmpl);
  const fs::path work =
      run.workdir.empty() ? root / run.folder : fs::path(run.workdir);
  fs::create_directory(work);
  for (const auto& [name, bytes] : run.files) {
    fs::create_directories((work / name).parent_path());
    write_file(work / name, bytes);
  }
  if (!run.link.first.empty())
    fs::create_hard_link(work / run.link.first, work / run.link.second);
  if (run.report_is_directory) fs::create_directory(work / "report.html");
  int held_input = -1;  // a writer of the FIFO while the run lasts
  if (run.input_stays_open && mkfifo((root / "stdin").c_str(), 0600) == 0)
    held_input = open((root / "stdin").c_str(), O_RDWR | O_CLOEXEC);
  write_file(root / "stdin", run.input);
  if (run.prepare) run.prepare(work.string());
  const std::string opened = (root / "opened").string();

  std::vector<std::string> program = program_command();
  for (const std::string& a : run.args) program.push_back(a);
  std::vector<std::string> argv = {"unshare", "-rmn", "--"};
  for (const std::string& word : name_server_env(run, root))
    argv.push_back(word);
  if (run.viewer_fails)
    argv.insert(argv.end(), {"env", "VANTREL_OPENER_STATUS=3",
                             "WINEDLLOVERRIDES=winebrowser.exe=d"});
  argv.insert(argv.end(), {"sh", e2e_data("hermetic.sh"),
      run.hosts.empty() ? e2e_data("hosts") : run.hosts, work.string(),
      (root / "bin").string()});
  fs::create_directory(root / "bin");
  fs::copy_file(e2e_data("xdg-open"), root / "bin" / "xdg-open");
  fs::path in = root / "stdin";
  if (run.on_terminal) {
    std::string line;
    for (const std::string& p : program) line += shell_quote(p) + " ";
    // Wine's console reads a terminal raw, where a typed Enter is a CR that
    // the terminal may already have turned into LF: the answers come from
    // the file, and only the output goes to the terminal.
    if (windows_program() || run.input_piped) {
      line += "<" + shell_quote(in.string());
      in = "/dev/null";
    }
    for (const char* a : {"script", "-qec", line.c_str(), "/dev/null"})
      argv.emplace_back(a);
  } else {
    if (!run.setup.empty())
      argv.insert(argv.end(),
                  {"sh", "-c", "set -e\n" + run.setup + "\nexec \"$@\"", "sh"});
    argv.insert(argv.end(), program.begin(), program.end());
  }

  e2e_result r;
  r.status = spawn(argv, in, root / "stdout", root / "stderr",
                   opened, run, work / "report.html", &r.max_rss_kib);
  if (held_input >= 0) close(held_input);
  if (!run.name_server.empty()) r.server_log = server_log(root);
  r.out = read_file((root / "stdout").string());
  if (windows_program() && !run.on_terminal) r.out = from_text_mode(r.out);
  r.err = read_file((root / "stderr").string());
  r.has_report = fs::is_regular_file(work / "report.html");
  if (r.has_report && run.read_report)
    r.report = read_file((work / "report.html").string());
  // The viewer is started without waiting, so it may record a moment later.
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::seconds(run.wait_for_viewer ? 10 : 0);
  while (!fs::exists(opened) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (run.wait_for_viewer)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  r.opened = read_file(opened);
  r.workdir = work.string();
  if (run.inspect) run.inspect(work.string());
  fs::remove_all(root);
  return r;
}

}  // anonymous namespace

e2e_result run_vantrel(const e2e_run& run) {
  e2e_result r = run_once(run);
  // Every run of the program prints something, so a failed run with no
  // output at all means Wine itself did not start it (seen now and then
  // on a loaded machine); that run is made again, from a fresh directory.
  for (int retry = 0; retry < 2 && windows_program() && r.status != 0 &&
                      r.out.empty();
       ++retry) {
    std::fprintf(stderr, "wine gave status %d and no output; running again\n",
                 r.status);
    r = run_once(run);
  }
  return r;
}

// --- the program's fixed texts

const std::string kNotOpen =
    "\tReport.html could not be opened or created, make sure the directory is "
    "not read-only.\n";

const std::string kCutShort =
    "\n\tStopped: report.html holds only what was found before the stop.\n";

const std::string kNoAnswer =
    "\n\tThe input ended before an answer was given; nothing was searched.\n";

std::string banner(const std::string& report) {
  return "\n\t\t************************************\n"
         "\t\t\t   Vantrel v1.0\n"
         "\t\t\t   Updated 12/05/06\n"
         "\t\t\tFirewall log search\n"
         "\t\t    Hits named by host, in " + report + "\n"
         "\t\t************************************\n\n";
}

std::string progress(const std::string& report) {
  return "\n\tCreating '" + report + "' with your results in it..\n\n"
         "\tPlease be patient, it will take a while.\n\n"
         "\t[Writing...]\n"
         "\t[Searching UpperCase then LowerCase...]\n";
}

std::string pass_start(bool upper) {
  return upper ? "\tSearching UpperCase...\n" : "\tSearching LowerCase...\n";
}

std::string found(int number) {
  return "\tFound Result on Line #" + std::to_string(number) + "\n";
}

std::string finish() {
  return "\n\tFile written.\n\n\n\t>>> Press enter to continue <<<\n";
}

std::string head(const std::string& term, const std::string& fname) {
  return "<html>\r\n<head>\r\n<title>Vantrel Report - Search: " + term +
         " in file " + fname +
         "</title>\r\n</head>\r\n<body bgcolor=beige>\r\n"
         "<p><center><font face=arial size=+2>Vantrel</font></center>\r\n"
         "<p><center>Searching <b><i>" + term +
         "</i></b> in log file named <b><i><font color=red>" + fname +
         "</font></i></b></center>\r\n"
         "<hr noshade width=350>\r\n"
         "<p><table width=90% bgcolor='#99CCFF' align=center><tr><td>"
         "<font face=arial size=-1>\r\n"
         "<p><u><b>Showing UpperCase Results</b></u>\r\n";
}

std::string lower_heading() {
  return "<p><u><b>Showing LowerCase Results</b></u>\r\n";
}

std::string result(const std::string& line) { return "<br>" + line + "\r\n"; }

std::string lack(const std::string& text) {
  return "<p><font color=red><b>" + html_escaped(text) + "</b></font>\r\n";
}

std::string foot() {
  return "<br>&nbsp;</td></tr></table><hr noshade width=350>\r\n"
         "<p><b><center>Vantrel v1.0: firewall log search with host names for "
         "every destination.</b>\r\n\r\n</body>\r\n</html>\r\n";
}
