#include "platform/platform.h"

// winsock2.h must come before windows.h, which would pull in the old
// winsock.h otherwise.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>
#include <io.h>
#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// inet_addr answers INADDR_NONE both for text it rejects and for the
// broadcast address itself, so that answer alone cannot say which. The
// text spells all ones when it is one to four numbers in the parser's C
// notation (decimal, 0 octal, 0x hex), split by dots and ending at the end
// or at white space, each at the largest value its place allows.
bool spells_all_ones(const char* text) {
  unsigned long parts[4] = {};
  int count = 0;
  const char* p = text;
  for (;;) {
    if (std::isdigit(static_cast<unsigned char>(*p)) == 0) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(p, &end, 0);
    if (errno == ERANGE || value > 0xFFFFFFFFUL) return false;
    parts[count++] = value;
    if (*end == '\0' || std::isspace(static_cast<unsigned char>(*end)) != 0)
      break;
    if (*end != '.' || count == 4) return false;
    p = end + 1;
  }
  for (int i = 0; i + 1 < count; ++i)
    if (parts[i] != 0xFF) return false;
  // The last number fills the bytes the earlier ones leave.
  return parts[count - 1] == (0xFFFFFFFFUL >> (8 * (count - 1)));
}

// Set by the console's control handler, which Windows runs on a thread of
// its own; read by every thread of the search.
std::atomic<int> stop_asked{0};
static_assert(std::atomic<int>::is_always_lock_free);
// When the first event came (GetTickCount64); events within this long of
// it are the same request.
std::atomic<ULONGLONG> stop_asked_at{0};
constexpr ULONGLONG kSameRequestMs = 500;
void (*said_at_the_end)() = nullptr;
// The thread that reads the log, so that a read waiting on an idle pipe
// can be ended from the handler's thread.
HANDLE main_thread = nullptr;

// The console's attributes before the first change, put back at the end.
bool color_changed = false;
WORD attributes_at_start = 0;

// Safe from the handler's thread: no stream is touched.
void put_back_attributes() {
  if (color_changed)
    SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE),
                            attributes_at_start);
}

// Outside the search (at a prompt, at "Press enter") a console event ends
// the run at once, in the console's own colours.
BOOL WINAPI on_console_exit(DWORD) {
  put_back_attributes();
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

BOOL WINAPI on_console_event(DWORD event) {
  const ULONGLONG now = GetTickCount64();
  if (stop_asked.exchange(1) != 0) {
    const ULONGLONG first = stop_asked_at;
    if (first == 0 || now - first < kSameRequestMs) return TRUE;
    // A thread of its own already: the last words may use the streams.
    if (said_at_the_end != nullptr) said_at_the_end();
    std::fflush(stdout);
    put_back_attributes();
    ExitProcess(STATUS_CONTROL_C_EXIT);
  }
  stop_asked_at = now;
  if (main_thread != nullptr) CancelSynchronousIo(main_thread);
  // When the window closes, Windows ends the process as soon as this
  // returns: give the run the few seconds it allows to finish the line in
  // hand and end by itself.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
      event == CTRL_SHUTDOWN_EVENT)
    Sleep(4000);
  return TRUE;
}

}  // anonymous namespace

namespace {

void remember_attributes() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) == 0)
    return;
  attributes_at_start = info.wAttributes;
  color_changed = true;
  std::atexit(platform_reset_text_attribute);
}

}  // anonymous namespace

void platform_reset_text_attribute() {
  if (!color_changed) return;
  std::fflush(stdout);
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE),
                          attributes_at_start);
}

void platform_transient_line(const std::string& text, std::size_t width) {
  if (!platform_stdout_is_terminal()) return;
  // The console has no erase-to-end: blanks cover what the last one left.
  std::string line = "\r" + text;
  if (text.size() < width) line.append(width - text.size(), ' ');
  if (text.empty()) line += '\r';
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

void platform_set_text_attribute(int attribute) {
  if (!color_changed) remember_attributes();
  // Text already written must show in the colour it was written in.
  std::fflush(stdout);
  // Fetched on every call: the handle may have been replaced meanwhile.
  // Redirected output makes the call fail, which leaves it uncoloured.
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE),
                          static_cast<WORD>(attribute & 0xFFFF));
}

bool platform_stdout_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool platform_stdin_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// A closed pipe on standard output makes its writes fail, with no signal:
// only the console's colours need a handler.
void platform_guard_console() { SetConsoleCtrlHandler(on_console_exit, TRUE); }

bool platform_start_sockets() {
  WSADATA wData;
  return WSAStartup(MAKEWORD(2, 2), &wData) == 0;
}

bool platform_parse_ipv4(const std::string& text, std::uint32_t* address) {
  // The parser stops at a NUL, so such text would be read as its prefix.
  if (text.find('\0') != std::string::npos) return false;
  const unsigned long parsed = inet_addr(text.c_str());
  if (parsed == INADDR_NONE && !spells_all_ones(text.c_str())) return false;
  *address = static_cast<std::uint32_t>(parsed);
  return true;
}

bool platform_parse_ipv6(const std::string& text, ip_address* address) {
  if (text.find('\0') != std::string::npos) return false;
  IN6_ADDR parsed{};
  if (inet_pton(AF_INET6, text.c_str(), &parsed) != 1) return false;
  address->v6 = true;
  std::memcpy(address->bytes.data(), &parsed, sizeof parsed);
  return true;
}

// gethostbyaddr keeps its answer per thread, so workers may call it at once.
name_answer platform_name_of(const ip_address& address, std::string* name) {
  const hostent* h =
      gethostbyaddr(reinterpret_cast<const char*>(address.bytes.data()),
                    address.v6 ? 16 : 4, address.v6 ? AF_INET6 : AF_INET);
  if (h != nullptr && h->h_name != nullptr) {
    *name = h->h_name;
    return name_answer::named;
  }
  if (h != nullptr) return name_answer::no_such_name;
  switch (WSAGetLastError()) {
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
      return name_answer::no_such_name;
    case WSATRY_AGAIN:
      return name_answer::try_again;
    default:
      return name_answer::failed;
  }
}

std::ptrdiff_t platform_read(std::FILE* file, char* into, std::size_t size,
                             int* error, bool /*may_wait*/) {
  const unsigned most = size > 0x40000000u ? 0x40000000u
                                           : static_cast<unsigned>(size);
  const int got = _read(_fileno(file), into, most);
  if (got < 0) *error = errno;
  return got;
}

std::ptrdiff_t platform_read_at(std::FILE* file, char* into, std::size_t size,
                                std::uint64_t offset, int* error) {
  const HANDLE handle =
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const DWORD most = size > 0x40000000u ? 0x40000000u
                                        : static_cast<DWORD>(size);
  // A read at an offset moves the position of a handle not opened for
  // overlapped reads: it is put back, as the other reads go on from it.
  LARGE_INTEGER position{};
  const LARGE_INTEGER here{};
  if (SetFilePointerEx(handle, here, &position, FILE_CURRENT) == 0) {
    *error = EIO;
    return -1;
  }
  DWORD got = 0;
  const BOOL read = ReadFile(handle, into, most, &got, &at);
  const DWORD failure = GetLastError();
  SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  if (read != 0) return got;
  if (failure == ERROR_HANDLE_EOF) return 0;
  *error = EIO;
  return -1;
}

namespace {

HANDLE handle_of(std::FILE* file) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

int errno_of(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
      return ENOENT;
    default:
      return EIO;
  }
}

// Names and text are UTF-8 inside the program; the wide calls take UTF-16.
// Strict: false for text that is no UTF-8 (a name so spelled names no
// file); otherwise such bytes become U+FFFD.
bool to_wide(std::string_view text, std::wstring* wide, bool strict = true) {
  wide->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  const int size = static_cast<int>(text.size());
  const int length =
      MultiByteToWideChar(CP_UTF8, flags, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->resize(static_cast<std::size_t>(length));
  MultiByteToWideChar(CP_UTF8, flags, text.data(), size, &(*wide)[0], length);
  return true;
}

std::string to_utf8(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size,
                                         nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &utf8[0], length,
                      nullptr, nullptr);
  return utf8;
}

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// The full path of a name, or the name itself when the system cannot say.
std::wstring full_path_of(const std::wstring& name) {
  const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return name;
  std::wstring path(needed, L'\0');
  const DWORD length =
      GetFullPathNameW(name.c_str(), needed, &path[0], nullptr);
  if (length == 0 || length >= needed) return name;
  path.resize(length);
  return path;
}

// Set once Ctrl-Z has ended the typing, which is then over for good, as
// it is for the C library's reads.
bool console_input_ended = false;

}  // anonymous namespace

// The C library's own splitter, the one main's argv came from, in its wide
// form: the same rules for quotes and backslashes, letters kept.
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env,
                              int glob, int* startup);

std::vector<std::string> platform_arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** env = nullptr;
  int new_mode = 0;
  if (__wgetmainargs(&count, &wide, &env, 0, &new_mode) < 0 ||
      wide == nullptr || count != argc)
    return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(to_utf8(wide[i]));
  return arguments;
}

void platform_fill_standard_streams() {
  const struct {
    DWORD which;
    int flags;
    DWORD access;
  } streams[] = {{STD_INPUT_HANDLE, _O_RDONLY, GENERIC_READ},
                 {STD_OUTPUT_HANDLE, _O_WRONLY, GENERIC_WRITE},
                 {STD_ERROR_HANDLE, _O_WRONLY, GENERIC_WRITE}};
  for (int fd = 0; fd <= 2; ++fd) {
    const HANDLE handle = GetStdHandle(streams[fd].which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) continue;
    const HANDLE null = CreateFileW(
        L"NUL", streams[fd].access, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (null == INVALID_HANDLE_VALUE) continue;
    const int opened =
        _open_osfhandle(reinterpret_cast<intptr_t>(null), streams[fd].flags);
    if (opened < 0) {
      CloseHandle(null);
      continue;
    }
    if (opened != fd) {
      _dup2(opened, fd);
      _close(opened);
    }
    SetStdHandle(streams[fd].which,
                 reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
  }
}

void platform_write_text(std::FILE* stream, std::string_view text) {
  const HANDLE handle = handle_of(stream);
  const auto ascii = [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  };
  // ASCII goes out as it always has; other letters only a wide write shows.
  if (std::all_of(text.begin(), text.end(), ascii) || !is_console(handle)) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  std::wstring wide;
  to_wide(text, &wide, false);
  std::fflush(stream);
  for (std::size_t done = 0; done < wide.size();) {
    const DWORD most =
        static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
    DWORD put = 0;
    if (WriteConsoleW(handle, wide.data() + done, most, &put, nullptr) == 0 ||
        put == 0)
      return;
    done += put;
  }
}

bool platform_read_console(std::FILE* in, std::string* typed) {
  const HANDLE handle = handle_of(in);
  if (!is_console(handle)) return false;
  typed->clear();
  wchar_t buffer[1025];
  DWORD got = 0;
  if (console_input_ended ||
      ReadConsoleW(handle, buffer, 1024, &got, nullptr) == 0)
    return true;
  // A letter past U+FFFF comes as two halves: never keep one without the
  // other.
  DWORD more = 0;
  if (got > 0 && IS_HIGH_SURROGATE(buffer[got - 1]) &&
      ReadConsoleW(handle, buffer + got, 1, &more, nullptr) != 0)
    got += more;
  std::wstring_view text(buffer, got);
  const std::size_t end = text.find(L'\x1a');
  console_input_ended = end != std::wstring_view::npos;
  *typed = to_utf8(text.substr(0, end));
  // The console ends a line with CR LF; the answers are read up to the LF.
  for (std::size_t at; (at = typed->find("\r\n")) != std::string::npos;)
    typed->erase(at, 1);
  return true;
}

std::ptrdiff_t platform_write_at(std::FILE* file, const char* from,
                                 std::size_t size, std::uint64_t offset,
                                 int* error) {
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>((offset + done) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const std::size_t left = size - done;
    const DWORD most = left > 0x40000000u ? 0x40000000u
                                          : static_cast<DWORD>(left);
    DWORD put = 0;
    if (WriteFile(handle_of(file), from + done, most, &put, &at) == 0 ||
        put == 0) {
      *error = errno_of(GetLastError());
      return -1;
    }
    done += put;
  }
  return static_cast<std::ptrdiff_t>(done);
}

namespace {

// 100 ns ticks since 1601, as the system keeps them.
std::int64_t file_time(const FILETIME& time) {
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
      time.dwLowDateTime);
}

std::int64_t unix_seconds(const FILETIME& time) {
  constexpr std::int64_t k1601To1970 = 116444736000000000;
  return (file_time(time) - k1601To1970) / 10000000;
}

}  // anonymous namespace

bool platform_file_facts(std::FILE* file, file_facts* facts) {
  const HANDLE handle = handle_of(file);
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info) == 0) return false;
  facts->identity.device = info.dwVolumeSerialNumber;
  facts->identity.index =
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
      info.nFileIndexLow;
  facts->regular = GetFileType(handle) == FILE_TYPE_DISK;
  facts->directory =
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts->modified = file_time(info.ftLastWriteTime);
  facts->written = unix_seconds(info.ftLastWriteTime);
  facts->size = facts->regular ? (static_cast<std::uint64_t>(info.nFileSizeHigh)
                                  << 32) | info.nFileSizeLow
                               : 0;
  return true;
}

namespace {

// A C stream over a handle; the handle is closed when none can be made.
std::FILE* stream_of(HANDLE handle, int flags, const char* mode) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  std::FILE* stream = fd >= 0 ? _fdopen(fd, mode) : nullptr;
  if (stream == nullptr) {
    if (fd >= 0)
      _close(fd);
    else
      CloseHandle(handle);
  }
  return stream;
}

}  // anonymous namespace

std::FILE* platform_open_log(const std::string& path) {
  std::wstring wide_path;
  if (!to_wide(path, &wide_path)) {
    errno = ENOENT;
    return nullptr;
  }
  // The C library's fopen would not let others rename or delete the log
  // while it is held open, and log rotation does both.
  const HANDLE handle = CreateFileW(
      wide_path.c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = errno_of(GetLastError());
    return nullptr;
  }
  std::FILE* stream = stream_of(handle, _O_RDONLY | _O_BINARY, "rb");
  if (stream == nullptr) errno = EMFILE;
  return stream;
}

bool platform_written_at(const std::string& path, std::int64_t* written) {
  std::wstring wide_path;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!to_wide(path, &wide_path) ||
      GetFileAttributesExW(wide_path.c_str(), GetFileExInfoStandard, &data) ==
          0 ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  *written = unix_seconds(data.ftLastWriteTime);
  return true;
}

std::FILE* platform_open_report(const std::string& name, report_open* how) {
  *how = report_open::failed;
  std::wstring wide_name;
  if (!to_wide(name, &wide_name)) {
    errno = ENOENT;
    return nullptr;
  }
  // Shared as the C library's fopen shares it.
  const HANDLE handle = CreateFileW(
      wide_name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = errno_of(GetLastError());
    return nullptr;
  }
  // A byte far past any report's end is locked: another run's lock of it
  // fails, and readers of the page (a browser) are not kept out.
  OVERLAPPED beyond{};
  beyond.OffsetHigh = 0x40000000;
  // A device or a file system without locks is written as before there
  // were any.
  if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                 0, 1, 0, &beyond) == 0 &&
      GetLastError() == ERROR_LOCK_VIOLATION) {
    CloseHandle(handle);
    *how = report_open::busy;
    return nullptr;
  }
  // Emptied only once it is ours: a run still writing it keeps it whole.
  // A device (NUL) has nothing to empty.
  if (GetFileType(handle) == FILE_TYPE_DISK && SetEndOfFile(handle) == 0) {
    errno = errno_of(GetLastError());
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = stream_of(handle, _O_WRONLY | _O_BINARY, "wb");
  if (stream == nullptr) {
    errno = EMFILE;
    return nullptr;
  }
  *how = report_open::opened;
  return stream;
}

bool platform_identity_at(const std::string& path, file_identity* id) {
  std::wstring wide_path;
  if (!to_wide(path, &wide_path)) return false;
  // No access asked: a file others hold open without sharing is still told.
  const HANDLE handle = CreateFileW(
      wide_path.c_str(), 0,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return false;
  id->device = info.dwVolumeSerialNumber;
  id->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
              info.nFileIndexLow;
  return true;
}

std::string platform_temporary_folder() {
  const wchar_t* set = _wgetenv(L"TMPDIR");
  if (set != nullptr && *set != L'\0') return to_utf8(set);
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return length > 0 && length <= MAX_PATH ? to_utf8({path, length}) : ".";
}

std::FILE* platform_create_temporary(const std::string& folder, int* error) {
  std::wstring wide_folder;
  if (!to_wide(folder, &wide_folder)) {
    *error = ENOENT;
    return nullptr;
  }
  wchar_t name[MAX_PATH];
  if (GetTempFileNameW(wide_folder.c_str(), L"vtl", 0, name) == 0) {
    *error = errno_of(GetLastError());
    return nullptr;
  }
  // Shared with no one, and deleted by the system when the last handle
  // goes, which ExitProcess closes however the run ends.
  const HANDLE handle = CreateFileW(
      name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = errno_of(GetLastError());
    DeleteFileW(name);
    return nullptr;
  }
  std::FILE* stream = stream_of(handle, _O_RDWR | _O_BINARY, "w+b");
  if (stream == nullptr) *error = EMFILE;
  return stream;
}

std::string platform_error_text(int error) { return std::strerror(error); }

void platform_stop_sockets() { WSACleanup(); }

void platform_catch_stop_signals(void (*last_words)()) {
  said_at_the_end = last_words;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                  &main_thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

// The console's control handler runs on a thread of its own anyway.
void platform_keep_stop_signals_off_this_thread() {}

bool platform_stop_requested() { return stop_asked != 0; }

void platform_release_stop_signals() {
  SetConsoleCtrlHandler(on_console_event, FALSE);
  if (stop_asked == 0) return;
  std::fflush(stdout);
  platform_reset_text_attribute();
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

void platform_clear_console() {
  // Redirected output has no screen to clear, and must get no bytes for it.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(out, &info) == 0) return;
  std::fflush(stdout);
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) *
                      static_cast<DWORD>(info.dwSize.Y);
  const COORD home = {0, 0};
  DWORD written = 0;
  FillConsoleOutputCharacterA(out, ' ', cells, home, &written);
  FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &written);
  SetConsoleCursorPosition(out, home);
}

bool platform_open_in_viewer(const char* path) {
  std::wstring wide;
  if (!to_wide(path, &wide)) return false;
  // 32 or less is the shell's failure, SE_ERR_NOASSOC among them.
  const HINSTANCE result = ShellExecuteW(
      nullptr, L"open", full_path_of(wide).c_str(), L"", L"", SW_SHOW);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::string platform_absolute_path(const char* name) {
  std::wstring wide;
  return to_wide(name, &wide) ? to_utf8(full_path_of(wide)) : name;
}

bool platform_names_ignore_case() { return true; }

// The C library's own cap on open streams (512 at first); 2048 is the most
// msvcrt allows.
void platform_allow_many_open_files() { _setmaxstdio(2048); }

// Handles inherited from the parent take no slot of the C library's: only
// the standard streams are counted against its cap.
std::size_t platform_open_file_count() { return 3; }

std::size_t platform_open_file_limit() {
  const int most = _getmaxstdio();
  return most > 0 ? static_cast<std::size_t>(most) : 512;
}

// The heap gives blocks this large their own pages already.
void platform_return_large_buffers() {}

// Large pages need a privilege users lack: committed pages, zeroed as
// first touched, are what there is.
void* platform_large_room(std::size_t bytes) {
  return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void platform_free_large_room(void* room, std::size_t) {
  if (room != nullptr) VirtualFree(room, 0, MEM_RELEASE);
}

// A drive's colon ends the folder part too: C:fw.log* lists C:'s folder.
bool platform_is_separator(char c) {
  return c == '/' || c == '\\' || c == ':';
}

bool platform_local_time(std::int64_t instant, std::tm* local) {
  const auto t = static_cast<std::time_t>(instant);
  return static_cast<std::int64_t>(t) == instant && localtime_s(local, &t) == 0;
}

void platform_set_time_zone(const char* tz) {
  _putenv_s("TZ", tz);
  _tzset();
}
