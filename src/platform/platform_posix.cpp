#include "platform/platform.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern char** environ;

namespace {

// The request caught, read by every thread: an atomic both a handler and
// the threads may use.
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free);
// When the first request came (CLOCK_MONOTONIC, ns).
std::atomic<std::int64_t> caught_at{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

// timeout and a kill of the process group send their requests together:
// those within this long of the first are the same request.
constexpr std::int64_t kSameRequestNs = 500000000;

// Written to by the handler, so that a read about to wait sees a request
// that came just before it (a flag alone could be missed between the look
// at it and the read).
int stop_pipe[2] = {-1, -1};
// A later request is handed to the thread that ends the run at once, where
// the console may be flushed, as it may not in a handler.
int end_pipe[2] = {-1, -1};
void (*said_at_the_end)() = nullptr;

// The colour last set, or -1 while the terminal has its own; read by the
// signal handlers below.
volatile sig_atomic_t shown_attribute = -1;

// Writes the colour sequence of an attribute (-1: the terminal's own)
// straight to standard output; safe in a signal handler.
void write_colour_now(int attribute) {
  char sequence[] = "\x1b[0;00m";
  std::size_t length = 4;  // ESC [ 0 m
  if (attribute < 0) {
    sequence[3] = 'm';
  } else {
    const int code = ((attribute & 8) ? 90 : 30) + ((attribute & 4) ? 1 : 0) +
                     (attribute & 2) + ((attribute & 1) ? 4 : 0);
    sequence[4] = static_cast<char>('0' + code / 10);
    sequence[5] = static_cast<char>('0' + code % 10);
    length = 7;
  }
  const ssize_t ignored = write(STDOUT_FILENO, sequence, length);
  (void)ignored;
}

// Ends the process by sig as if it had not been caught, in the terminal's
// own colours. The signal is blocked while its handler runs, so it is
// taken as soon as the handler returns.
void die_by(int sig) {
  if (shown_attribute >= 0) write_colour_now(-1);
  signal(sig, SIG_DFL);
  raise(sig);
}

std::int64_t monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Only flags are set and pipes written: nothing else may safely be done in
// a handler.
extern "C" void on_stop_signal(int sig) {
  const int saved_errno = errno;
  int expected = 0;
  if (caught.compare_exchange_strong(expected, sig)) {
    caught_at = monotonic_ns();
    const ssize_t ignored = stop_pipe[1] >= 0 ? write(stop_pipe[1], "", 1) : 0;
    (void)ignored;
  } else if (caught_at != 0 && monotonic_ns() - caught_at >= kSameRequestNs) {
    const unsigned char which = static_cast<unsigned char>(sig);
    if (end_pipe[1] < 0 || write(end_pipe[1], &which, 1) != 1) die_by(sig);
  }
  errno = saved_errno;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];

bool is_dumb_terminal() {
  const char* term = std::getenv("TERM");
  return term != nullptr && std::strcmp(term, "dumb") == 0;
}

// Decided once: the answer cannot change during a run, and asking isatty on
// every colour change would cost a system call per match.
bool use_color() {
  static const bool decided = platform_stdout_is_terminal() &&
                              !is_dumb_terminal() &&
                              std::getenv("NO_COLOR") == nullptr;
  return decided;
}

bool color_changed = false;

}  // anonymous namespace

// Names are bytes here: whatever the shell gave is what the file system
// takes.
std::vector<std::string> platform_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void platform_fill_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free descriptor: this one, as the lower ones are open.
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

std::FILE* platform_open_report(const std::string& name, report_open* how) {
  *how = report_open::failed;
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  // Emptied only once it is ours: a run still writing it keeps it whole.
  int locked = 0;
  while ((locked = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  // A file system without locks is written as before there were any.
  const bool busy = locked != 0 && errno == EWOULDBLOCK;
  // A device (/dev/full, say) has nothing to empty, as with O_TRUNC.
  struct stat st {};
  const bool emptied = !busy && fstat(fd, &st) == 0 &&
                       (!S_ISREG(st.st_mode) || ftruncate(fd, 0) == 0);
  std::FILE* stream = emptied ? fdopen(fd, "wb") : nullptr;
  if (stream == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  if (busy) *how = report_open::busy;
  if (stream != nullptr) *how = report_open::opened;
  return stream;
}

void platform_write_text(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

bool platform_read_console(std::FILE* /*in*/, std::string* /*typed*/) {
  return false;
}

bool platform_stdout_is_terminal() {
  static const bool decided = isatty(STDOUT_FILENO) == 1;
  return decided;
}

void platform_reset_text_attribute() {
  if (!color_changed) return;
  std::fflush(stdout);
  std::fputs("\x1b[0m", stdout);
  std::fflush(stdout);
  shown_attribute = -1;
}

void platform_transient_line(const std::string& text, std::size_t) {
  if (!use_color()) return;
  // Back to the line's start, the new text, and the rest of the old gone.
  std::fflush(stdout);
  std::fputs(("\r" + text + "\x1b[K").c_str(), stdout);
  std::fflush(stdout);
}

void platform_set_text_attribute(int attribute) {
  if (!use_color()) return;
  if (!color_changed) {
    color_changed = true;
    std::atexit(platform_reset_text_attribute);
  }
  // Console attribute bits are blue=1, green=2, red=4; ANSI wants red=1,
  // green=2, blue=4, so blue and red swap places.
  const int rgb = ((attribute & 4) ? 1 : 0) | (attribute & 2) |
                  ((attribute & 1) ? 4 : 0);
  const int base = (attribute & 8) ? 90 : 30;
  std::fflush(stdout);
  std::printf("\x1b[0;%dm", base + rgb);
  std::fflush(stdout);
  shown_attribute = attribute & 15;
}

bool platform_stdin_is_terminal() { return isatty(STDIN_FILENO) == 1; }

namespace {

extern "C" void on_ending_signal(int sig) { die_by(sig); }

// Ctrl-Z: the shell gets its colours back while the run is stopped, and
// the run's colour is set again once it goes on.
extern "C" void on_suspend(int) {
  const int saved_errno = errno;
  const int attribute = shown_attribute;
  if (attribute >= 0) write_colour_now(-1);
  signal(SIGTSTP, SIG_DFL);
  sigset_t suspend;
  sigemptyset(&suspend);
  sigaddset(&suspend, SIGTSTP);
  raise(SIGTSTP);
  pthread_sigmask(SIG_UNBLOCK, &suspend, nullptr);  // stops here
  pthread_sigmask(SIG_BLOCK, &suspend, nullptr);
  signal(SIGTSTP, on_suspend);
  if (attribute >= 0) write_colour_now(attribute);
  errno = saved_errno;
}

// Installs handler for sig unless the signal was ignored when the program
// started (nohup, a background job): that stays as it was.
void handle_unless_ignored(int sig, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  struct sigaction before {};
  if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
    sigaction(sig, &action, nullptr);
}

}  // anonymous namespace

void platform_guard_console() {
  // The console is a side channel: its pipe closing ends no run, the
  // write fails instead (EPIPE) and console output is lost, not the report.
  signal(SIGPIPE, SIG_IGN);
  for (int sig : kStopSignals) handle_unless_ignored(sig, on_ending_signal, 0);
  handle_unless_ignored(SIGTSTP, on_suspend, SA_RESTART);
}

bool platform_start_sockets() { return true; }

bool platform_parse_ipv4(const std::string& text, std::uint32_t* address) {
  if (text.find('\0') != std::string::npos) return false;
  in_addr parsed{};
  if (inet_aton(text.c_str(), &parsed) == 0) return false;
  *address = parsed.s_addr;
  return true;
}

bool platform_parse_ipv6(const std::string& text, ip_address* address) {
  if (text.find('\0') != std::string::npos) return false;
  in6_addr parsed{};
  if (inet_pton(AF_INET6, text.c_str(), &parsed) != 1) return false;
  address->v6 = true;
  std::memcpy(address->bytes.data(), &parsed, sizeof parsed);
  return true;
}

name_answer platform_name_of(const ip_address& address, std::string* name) {
  sockaddr_storage sa{};
  socklen_t size = sizeof(sockaddr_in);
  if (address.v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&sa);
    in6->sin6_family = AF_INET6;
    std::memcpy(&in6->sin6_addr, address.bytes.data(), 16);
    size = sizeof(sockaddr_in6);
  } else {
    auto* in = reinterpret_cast<sockaddr_in*>(&sa);
    in->sin_family = AF_INET;
    std::memcpy(&in->sin_addr, address.bytes.data(), 4);
  }
  char host[NI_MAXHOST];
  switch (getnameinfo(reinterpret_cast<const sockaddr*>(&sa), size, host,
                      sizeof host, nullptr, 0, NI_NAMEREQD)) {
    case 0:
      *name = host;
      return name_answer::named;
    case EAI_NONAME:
      return name_answer::no_such_name;
    case EAI_AGAIN:
      return name_answer::try_again;
    default:
      return name_answer::failed;
  }
}

std::ptrdiff_t platform_read(std::FILE* file, char* into, std::size_t size,
                             int* error, bool may_wait) {
  // A pipe waits here, where a request is seen too. Any other signal
  // (Ctrl-Z and the return from it) only resumes the wait.
  pollfd ready[2] = {{fileno(file), POLLIN, 0}, {stop_pipe[0], POLLIN, 0}};
  int waited = 0;
  while (may_wait && stop_pipe[0] >= 0 &&
         (waited = poll(ready, 2, -1)) < 0 && errno == EINTR && caught == 0) {
  }
  if (may_wait && stop_pipe[0] >= 0 && (waited < 0 || ready[1].revents != 0)) {
    *error = EINTR;
    return -1;
  }
  ssize_t got = 0;
  while ((got = read(fileno(file), into, size)) < 0 && errno == EINTR &&
         caught == 0) {
  }
  if (got < 0) *error = errno;
  return got;
}

std::ptrdiff_t platform_read_at(std::FILE* file, char* into, std::size_t size,
                                std::uint64_t offset, int* error) {
  const ssize_t got =
      pread(fileno(file), into, size, static_cast<off_t>(offset));
  if (got < 0) *error = errno;
  return got;
}

std::ptrdiff_t platform_write_at(std::FILE* file, const char* from,
                                 std::size_t size, std::uint64_t offset,
                                 int* error) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = pwrite(fileno(file), from + done, size - done,
                               static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *error = put < 0 ? errno : EIO;
      return -1;
    }
    done += static_cast<std::size_t>(put);
  }
  return static_cast<std::ptrdiff_t>(done);
}

namespace {

std::int64_t nanoseconds(std::int64_t seconds, std::int64_t nanos) {
  return seconds * 1000000000 + nanos;
}

#ifdef STATX_BTIME
// One call for the facts and the birth time; false when it fails.
bool look_at(int dir, const char* path, int flags, file_facts* facts) {
  struct statx st {};
  if (statx(dir, path, flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
    return false;
  facts->identity.device = makedev(st.stx_dev_major, st.stx_dev_minor);
  facts->identity.index = st.stx_ino;
  facts->identity.born =
      (st.stx_mask & STATX_BTIME) != 0
          ? nanoseconds(st.stx_btime.tv_sec, st.stx_btime.tv_nsec)
          : 0;
  facts->regular = S_ISREG(st.stx_mode);
  facts->directory = S_ISDIR(st.stx_mode);
  facts->modified = nanoseconds(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
  facts->written = st.stx_mtime.tv_sec;
  facts->size = facts->regular ? st.stx_size : 0;
  return true;
}
#else
bool look_at(int dir, const char* path, int flags, file_facts* facts) {
  struct stat st {};
  if ((flags & AT_EMPTY_PATH) != 0 ? fstat(dir, &st) != 0
                                   : stat(path, &st) != 0)
    return false;
  facts->identity.device = static_cast<std::uint64_t>(st.st_dev);
  facts->identity.index = static_cast<std::uint64_t>(st.st_ino);
  facts->regular = S_ISREG(st.st_mode);
  facts->directory = S_ISDIR(st.st_mode);
  facts->modified = nanoseconds(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  facts->written = st.st_mtim.tv_sec;
  facts->size = facts->regular ? static_cast<std::uint64_t>(st.st_size) : 0;
  return true;
}
#endif

}  // anonymous namespace

bool platform_file_facts(std::FILE* file, file_facts* facts) {
  return look_at(fileno(file), "", AT_EMPTY_PATH, facts);
}

std::FILE* platform_open_log(const std::string& path) {
  return std::fopen(path.c_str(), "rbe");  // not inherited by the viewer
}

bool platform_written_at(const std::string& path, std::int64_t* written) {
  file_facts facts;
  if (!look_at(AT_FDCWD, path.c_str(), 0, &facts) || !facts.regular)
    return false;
  *written = facts.written;
  return true;
}

bool platform_identity_at(const std::string& path, file_identity* id) {
  file_facts facts;
  if (!look_at(AT_FDCWD, path.c_str(), 0, &facts)) return false;
  *id = facts.identity;
  return true;
}

std::string platform_temporary_folder() {
  const char* set = std::getenv("TMPDIR");
  return set != nullptr && *set != '\0' ? set : "/tmp";
}

std::FILE* platform_create_temporary(const std::string& folder, int* error) {
  int fd = -1;
#ifdef O_TMPFILE
  // Never has a name, so nothing is left behind whatever ends the run.
  fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (fd < 0) {
    // File systems without O_TMPFILE: a private name, removed at once.
    std::string name = folder + "/vantrel-XXXXXX";
    fd = mkstemp(name.data());
    if (fd >= 0) {
      unlink(name.c_str());
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, "w+b");
  if (stream == nullptr) {
    *error = errno;
    close(fd);
  }
  return stream;
}

std::string platform_error_text(int error) { return std::strerror(error); }

void platform_stop_sockets() {}

namespace {

// Gives up on what holds the console after a moment: the run ends at once
// even while a write to it waits (a pipe nobody reads).
bool hold_console() {
  for (int waited = 0; waited < 1000; ++waited) {
    if (ftrylockfile(stdout) == 0) return true;
    poll(nullptr, 0, 1);
  }
  return false;
}

// Waits for a later request; then the run's last words, the console
// flushed and put back, and the end by that request.
void* end_at_once(void*) {
  platform_keep_stop_signals_off_this_thread();
  unsigned char sig = 0;
  ssize_t got = 0;
  while ((got = read(end_pipe[0], &sig, 1)) < 0 && errno == EINTR) {
  }
  if (got != 1) return nullptr;
  if (hold_console()) {
    if (said_at_the_end != nullptr) said_at_the_end();
    std::fflush(stdout);
  }
  if (shown_attribute >= 0) write_colour_now(-1);
  signal(sig, SIG_DFL);
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, sig);
  pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
  raise(sig);
  _exit(128 + sig);
}

void start_ending_thread() {
  if (end_pipe[0] >= 0 || pipe(end_pipe) != 0) return;
  for (int end : end_pipe) fcntl(end, F_SETFD, FD_CLOEXEC);
  fcntl(end_pipe[1], F_SETFL, O_NONBLOCK);
  pthread_t thread;
  if (pthread_create(&thread, nullptr, end_at_once, nullptr) == 0) {
    pthread_detach(thread);
    return;
  }
  // No thread: a later request ends the run from its handler.
  for (int& end : end_pipe) {
    close(end);
    end = -1;
  }
}

}  // anonymous namespace

void platform_catch_stop_signals(void (*last_words)()) {
  said_at_the_end = last_words;
  start_ending_thread();
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read that waits on an idle pipe must return, or the
  // request would not be seen until more of the log came.
  action.sa_flags = 0;
  if (stop_pipe[0] < 0 && pipe(stop_pipe) == 0) {
    for (int end : stop_pipe) fcntl(end, F_SETFD, FD_CLOEXEC);
    fcntl(stop_pipe[1], F_SETFL, O_NONBLOCK);
  }
  for (std::size_t i = 0; i < 3; ++i) {
    sigaction(kStopSignals[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN)
      sigaction(kStopSignals[i], &action, nullptr);
  }
}

void platform_keep_stop_signals_off_this_thread() {
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : kStopSignals) sigaddset(&stops, sig);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

bool platform_stop_requested() { return caught != 0; }

void platform_release_stop_signals() {
  for (std::size_t i = 0; i < 3; ++i)
    sigaction(kStopSignals[i], &previous[i], nullptr);
  const int sig = caught;
  if (sig == 0) return;
  std::fflush(stdout);
  platform_reset_text_attribute();
  signal(sig, SIG_DFL);
  raise(sig);
  _exit(128 + sig);
}

void platform_clear_console() {
  if (!platform_stdout_is_terminal() || is_dumb_terminal()) return;
  std::fputs("\x1b[H\x1b[2J\x1b[3J", stdout);
  std::fflush(stdout);
}

namespace {

// An opener that cannot show the file (no display, no handler) says so at
// once; one that works may stay until the viewer closes, so after this long
// it is taken to work.
constexpr int kOpenerMomentMs = 1000;
constexpr int kOpenerLookMs = 10;

// The opener's exit status, taken as failed unless it ended with 0.
bool failed(int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; }

// Looked at often at first, where the system cannot tell us when it ends.
bool opener_failed_by_looking(pid_t pid) {
  int look = 1;
  for (int waited = 0; waited < kOpenerMomentMs; waited += look) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return failed(status);
    // Cannot be told: say nothing, as when it works.
    if (ended < 0 && errno != EINTR) return false;
    if (waited > 0) look = std::min(look * 2, kOpenerLookMs);
    poll(nullptr, 0, look);
  }
  return false;
}

// True when the opener ended within the moment other than with status 0.
// An opener that hands the file on ends within a few milliseconds, and the
// run should end with it: a process descriptor says the moment it does.
bool opener_failed(pid_t pid) {
#ifdef SYS_pidfd_open
  const int ends = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (ends >= 0) {
    pollfd ended = {ends, POLLIN, 0};
    int ready = 0;
    while ((ready = poll(&ended, 1, kOpenerMomentMs)) < 0 && errno == EINTR) {
    }
    close(ends);
    int status = 0;
    return ready > 0 && waitpid(pid, &status, 0) == pid && failed(status);
  }
#endif
  return opener_failed_by_looking(pid);
}

}  // anonymous namespace

bool platform_open_in_viewer(const char* path) {
#ifdef __APPLE__
  const char* opener = "open";
#else
  const char* opener = "xdg-open";
#endif
  // An ignored SIGCHLD (inherited) would hide how the opener ended.
  signal(SIGCHLD, SIG_DFL);
  // The viewer must not scribble on our console or wait on our input.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null",
                                   O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null",
                                   O_WRONLY, 0);
  // Its own session, so closing our terminal does not take the viewer down.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The opener gets the default handling of SIGPIPE, which the run ignores.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  short flags = POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
  flags |= POSIX_SPAWN_SETSID;
#endif
  posix_spawnattr_setflags(&attr, flags);
  char* argv[] = {const_cast<char*>(opener), const_cast<char*>(path), nullptr};
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, opener, &actions, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 && !opener_failed(pid);
}

std::string platform_absolute_path(const char* name) {
  char* folder = getcwd(nullptr, 0);
  if (folder == nullptr) return name;
  std::string path = folder;
  std::free(folder);
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}

bool platform_names_ignore_case() { return false; }

void platform_allow_many_open_files() {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= files.rlim_max)
    return;
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
}

std::size_t platform_open_file_count() {
  // /proc lists them; its own descriptor is among them while it is read.
  if (DIR* listing = opendir("/proc/self/fd")) {
    std::size_t count = 0;
    while (const dirent* entry = readdir(listing))
      if (entry->d_name[0] != '.') ++count;
    closedir(listing);
    return count > 0 ? count - 1 : 0;
  }
  // Elsewhere each descriptor below the limit is asked about.
  const std::size_t limit =
      std::min<std::size_t>(platform_open_file_limit(), 1 << 16);
  std::size_t count = 0;
  for (std::size_t fd = 0; fd < limit; ++fd)
    if (fcntl(static_cast<int>(fd), F_GETFD) >= 0) ++count;
  return count;
}

std::size_t platform_open_file_limit() {
  rlimit files{};
  // Unknown or unlimited: as many as any run could want.
  constexpr std::size_t plenty = std::size_t{1} << 20;
  if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
    return plenty;
  return files.rlim_cur < plenty ? static_cast<std::size_t>(files.rlim_cur)
                                 : plenty;
}

void platform_return_large_buffers() {
#ifdef __GLIBC__
  // glibc raises this threshold after the first large block is freed, and
  // from then on keeps freed read buffers in the heap of the thread that
  // had them, where the next log's need not fall.
  mallopt(M_MMAP_THRESHOLD, 256 << 10);
#endif
}

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t in_huge_pages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // anonymous namespace

void* platform_large_room(std::size_t bytes) {
  const std::size_t size = in_huge_pages(bytes);
  // Mapped a huge page larger, then trimmed to start on a huge page.
  void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto at = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t start = (at + kHugePage - 1) / kHugePage * kHugePage;
  if (start > at) munmap(mapped, start - at);
  munmap(reinterpret_cast<void*>(start + size), at + kHugePage - start);
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(start);
}

void platform_free_large_room(void* room, std::size_t bytes) {
  if (room != nullptr) munmap(room, in_huge_pages(bytes));
}

bool platform_is_separator(char c) { return c == '/'; }

bool platform_local_time(std::int64_t instant, std::tm* local) {
  const auto t = static_cast<std::time_t>(instant);
  return static_cast<std::int64_t>(t) == instant &&
         localtime_r(&t, local) != nullptr;
}

void platform_set_time_zone(const char* tz) {
  setenv("TZ", tz, 1);
  tzset();
}
