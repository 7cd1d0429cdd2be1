#pragma once
// platform/: the one door to the operating system (POSIX or Win32).
// The operating-system operations the program needs. Each platform has one
// implementation file (platform_posix.cpp, platform_win32.cpp); nothing here
// names an OS type, so the portable code never sees an OS header.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

/// Opens the null device on each standard stream (0, 1, 2) that is closed,
/// so that no file, pipe or socket the run opens later takes its place: a
/// closed standard input then reads as an ended one. First thing in main.
void platform_fill_standard_streams();

/// The program's arguments as UTF-8, its own name first. POSIX: argv's
/// bytes as they are. Windows: the wide command line, split as the C
/// library splits it for main, so letters the ANSI code page lacks survive.
std::vector<std::string> platform_arguments(int argc, char** argv);

/// How opening the report went.
enum class report_open { opened, busy, failed };

/// Opens a file by its name in UTF-8 to be written as the run's report:
/// created when missing, locked against other runs (an advisory lock, held
/// until it is closed) and only then emptied. Null when another process
/// holds the lock (*how busy: the file is left as it is) or when it cannot
/// be opened (*how failed, errno set).
std::FILE* platform_open_report(const std::string& name, report_open* how);

/// Writes text to stdout or stderr: at a Windows console as the letters
/// its UTF-8 spells (the console would read the bytes in a code page of
/// its own), elsewhere byte for byte.
void platform_write_text(std::FILE* stream, std::string_view text);

/// What was typed at a Windows console, up to and with its Enter, in UTF-8
/// and with CR LF as LF; empty once the input has ended (Ctrl-Z). False
/// when in is no console (always on POSIX): its bytes are read as they are.
bool platform_read_console(std::FILE* in, std::string* typed);

/// Sets the text attribute (bit 0 blue, 1 green, 2 red, 3 bright) for what
/// is written to standard output next. Pending output is flushed first where
/// the attribute takes effect at once. Does nothing on redirected output.
void platform_set_text_attribute(int attribute);

/// Puts back the colours the terminal had when the program started, if it
/// changed them; also done by itself when the program exits normally.
void platform_reset_text_attribute();

/// Shows text as a transient line at the start of the terminal's current
/// line, in place of the one shown before (width: its length), or erases
/// it when text is empty. Nothing at all where colours would not be shown
/// (redirected output, TERM=dumb, NO_COLOR).
void platform_transient_line(const std::string& text, std::size_t width);

/// True when standard output is a terminal that text is shown on directly.
bool platform_stdout_is_terminal();

/// True when standard input is a terminal (a person types the answers),
/// not a file or a pipe.
bool platform_stdin_is_terminal();

/// From now on the console is left as it was found however the run ends:
/// a signal that ends it (Ctrl-C, SIGTERM, SIGHUP; on Windows a console
/// event) puts the colours back first, Ctrl-Z puts them back while the
/// run is stopped and sets them again on its return, and a console that
/// goes away (a pipe whose reader has gone) ends console output only.
void platform_guard_console();

/// Starts the socket library. False when it cannot be started.
bool platform_start_sockets();

/// Parses dotted IPv4 text by the C library's inet_addr rules. False when
/// the parser rejects the text (or it holds a NUL byte).
bool platform_parse_ipv4(const std::string& text, std::uint32_t* address);

/// An address of either family by its value, whatever text it was written
/// as: the bytes in network order, an IPv4 address in the first four.
struct ip_address {
  ip_address() = default;
  /// The IPv4 address platform_parse_ipv4 gives (network byte order);
  /// implicit, as any IPv4 address is an address.
  ip_address(std::uint32_t ipv4) { std::memcpy(bytes.data(), &ipv4, 4); }
  friend bool operator==(const ip_address& a, const ip_address& b) {
    return a.v6 == b.v6 && a.bytes == b.bytes;
  }
  friend bool operator!=(const ip_address& a, const ip_address& b) {
    return !(a == b);
  }

  bool v6 = false;
  std::array<std::uint8_t, 16> bytes{};
};

/// Parses IPv6 text in any form the address family allows (RFC 4291: "::",
/// a dotted IPv4 tail), without a zone. False for any other text.
bool platform_parse_ipv6(const std::string& text, ip_address* address);

/// Reads up to size bytes of file from its position, straight from the
/// operating system: no stream buffer in between, so the bytes of a pipe
/// are handed on as they come. The count read, 0 at the end of the file, or
/// -1 with *error set to the errno value. Where the read may wait (a pipe
/// whose writer is idle), a stop request ends it with EINTR or another
/// error; a regular file's read never waits, and is not watched.
std::ptrdiff_t platform_read(std::FILE* file, char* into, std::size_t size,
                             int* error, bool may_wait = true);

/// Reads up to size bytes of a regular file at offset, as platform_read
/// does, without moving the position the other reads go on from.
std::ptrdiff_t platform_read_at(std::FILE* file, char* into, std::size_t size,
                                std::uint64_t offset, int* error);

/// Writes size bytes at offset of a file opened for writing, without moving
/// its position. The count written (short only on failure), or -1 with
/// *error set to the errno value.
std::ptrdiff_t platform_write_at(std::FILE* file, const char* from,
                                 std::size_t size, std::uint64_t offset,
                                 int* error);

/// What tells one file from another whatever its name: device and inode,
/// or on Windows the volume serial and the file index. An inode number
/// freed by a removed file is soon given to a new one, so where the file
/// system keeps a file's birth time it is part of the identity too.
struct file_identity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  std::int64_t born = 0;  // 0 where the system does not say
  bool operator==(const file_identity& other) const {
    return device == other.device && index == other.index &&
           born == other.born;
  }
};

/// What one look at an open file tells: a log set of thousands looks
/// once at each.
struct file_facts {
  file_identity identity;
  bool regular = false;       // a regular file, not a pipe or a device
  bool directory = false;     // which no log can be
  std::int64_t modified = 0;  // when last written, in the system's units
  std::int64_t written = 0;   // the same in seconds since 1970 (UTC)
  std::uint64_t size = 0;     // bytes, of a regular file
};

/// The facts of an open file; false when the system does not say.
bool platform_file_facts(std::FILE* file, file_facts* facts);

/// Opens a log (a UTF-8 path) for reading in binary mode, as fopen would (null, with
/// errno set, when it cannot). On Windows others may still rename or
/// delete it while it is held open, as log rotation does.
std::FILE* platform_open_log(const std::string& path);

/// When the regular file a path (UTF-8) names was last written, in seconds
/// since 1970 (UTC), without opening it; false when it is no regular file.
bool platform_written_at(const std::string& path, std::int64_t* written);

/// The identity of the file a path (UTF-8) names, without opening it for reading;
/// false when there is no such file.
bool platform_identity_at(const std::string& path, file_identity* id);

/// The folder temporary files go to, in UTF-8: TMPDIR when set, else the
/// system's (GetTempPath on Windows).
std::string platform_temporary_folder();

/// A new temporary file in folder (UTF-8), open for reading and writing,
/// that no other user can read and that is gone once it is closed or the
/// process ends, Ctrl-C or not. Null, with the errno value in *error, when it
/// cannot be made.
std::FILE* platform_create_temporary(const std::string& folder, int* error);

/// True where the file system compares names without regard to the case
/// of ASCII letters.
bool platform_names_ignore_case();

/// True for a byte that separates a folder from a name in a path.
bool platform_is_separator(char c);

/// The system's text for an errno value, for messages.
std::string platform_error_text(int error);

/// How a reverse lookup ended: a silent name server is told apart from one
/// that says there is no name.
enum class name_answer {
  named,         // the name is in *name
  no_such_name,  // the resolver's definite answer: none
  try_again,     // a temporary failure: no answer, or no network
  failed,        // any other failure
};

/// Reverse lookup of an IPv4 or IPv6 address through the system resolver:
/// how it ended, with the host's official name when named. Safe to call
/// from several threads at once.
name_answer platform_name_of(const ip_address& address, std::string* name);

/// Releases the socket library once nothing uses it any more.
void platform_stop_sockets();

/// Catches the requests to stop a run from now on: Ctrl-C and termination
/// (SIGINT, SIGTERM, SIGHUP; on Windows the console's control events, the
/// window being closed among them). A request only marks the run to stop,
/// so the report stays whole up to its last line. Requests within half a
/// second of the first are the same one (timeout and a group kill send two
/// at once); a later one, before the run has stopped, ends it at once:
/// last_words runs first, on a thread of its own while console output
/// waits for it, then the console text is flushed. A signal ignored when
/// the program started (nohup, a background job) stays ignored.
void platform_catch_stop_signals(void (*last_words)());

/// Keeps stop requests off the calling thread (a worker's), so that they
/// reach the thread that reads the log and end a read waiting there.
void platform_keep_stop_signals_off_this_thread();

/// Lets the process hold as many files open as the system allows it.
void platform_allow_many_open_files();

/// How many files the process may hold open at once now.
std::size_t platform_open_file_limit();

/// How many of them are open now, those inherited from the parent among
/// them.
std::size_t platform_open_file_count();

/// Large buffers (a log's read buffer) go back to the system when freed,
/// so a run over many logs holds what the logs being read need.
void platform_return_large_buffers();

/// Room for a large table filled at once and let go of soon after, in huge
/// pages where the system gives them: filling it then takes a few page
/// faults rather than one each 4 KiB. Null when there is no memory.
void* platform_large_room(std::size_t bytes);

/// Gives back room platform_large_room gave for `bytes`.
void platform_free_large_room(void* room, std::size_t bytes);

/// True once a caught request has asked the run to stop.
bool platform_stop_requested();

/// Puts back the default handling of the requests. When one was caught,
/// flushes standard output and ends the process as that request would
/// have, so the shell sees the run was interrupted.
void platform_release_stop_signals();

/// Clears the console; writes nothing when standard output is redirected.
void platform_clear_console();

/// Asks the desktop to show a file (its name in UTF-8) in its default
/// viewer; Windows is handed its full path. Waits at most a moment (about
/// a second) for the opener to fail; one still running then is left to
/// run. False when the file cannot be shown: the opener could not be
/// started or ended within the moment with a failure, or (Windows) the
/// shell knows no program for the file's type.
bool platform_open_in_viewer(const char* path);

/// The absolute path of a name in the current directory, in UTF-8, for
/// messages; the name itself when the current directory cannot be had.
std::string platform_absolute_path(const char* name);

/// The local time of an instant (seconds since 1970-01-01 UTC) in the
/// run's time zone (TZ, else the system's), as localtime gives it. Safe to
/// call from several threads at once. False where the C library cannot
/// say (Windows' before 1970 and after 3000).
bool platform_local_time(std::int64_t instant, std::tm* local);

/// Makes TZ the time zone the process converts times in from now on, as if
/// the run had started with it. For tests: no other thread may be
/// converting a time meanwhile.
void platform_set_time_zone(const char* tz);
