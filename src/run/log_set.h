#pragma once
// The logs a run searches: the names given, each pattern among them turned
// into the files of its folder it matches, every file once, opened, and
// put in the order they are searched in (oldest first).

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "log/byte_source.h"
#include "platform/platform.h"

struct log_entry {
  std::string name;  // as given, or the path a pattern found
  std::FILE* file = nullptr;
  bool regular = false;  // a regular file, not a pipe or a device
  std::int64_t modified = 0;  // when last written, in the system's units
  file_identity identity{};  // of the file open_logs opened
  std::uint64_t limit = kNoLimit;  // how much of it to read (read_limit)
  // A small regular file is read whole when opened: it is searched from
  // these bytes and never opened again.
  bool read_whole = false;
  std::string bytes{};
};

struct log_set {
  std::vector<log_entry> logs;          // open, in the order searched
  std::vector<std::string> not_opened;  // names as given, in that order
};

/// The names as given, joined by ", ", for the report's head.
std::string names_as_given(const std::vector<std::string>& names);

/// True when one of the logs named is the report itself, by any path: the
/// search would read the lines it writes.
bool names_report(const std::vector<std::string>& names);

/// True when the log named is the report itself.
bool log_is_report(const std::string& log_name);

/// True when name matches pattern: '*' any run of bytes, '?' one byte,
/// every other byte itself, ASCII letters in either case with ignore_case.
bool name_matches(std::string_view pattern, std::string_view name,
                  bool ignore_case);

/// Sorts logs into search order: regular files oldest first, names
/// breaking ties, then the others in the order they came.
void order_logs(std::vector<log_entry>& logs);

/// Regular files held open at once: the rest are opened to see that they
/// can be, closed again and opened when their turn comes, so a pattern over
/// thousands of files does not run out of file descriptors.
constexpr std::size_t kOpenAtOnce = 64;

/// The largest log read whole when opened, and the most bytes of such logs
/// a set holds.
constexpr std::uint64_t kWholeAtMost = std::uint64_t{4} << 10;
constexpr std::uint64_t kWholeInAll = std::uint64_t{4} << 20;

/// Opens the logs named (patterns expanded, a file named twice once) and
/// orders them; a name that cannot be opened, or a pattern that matches
/// nothing, goes to not_opened. A log read whole, and a regular file past
/// kOpenAtOnce, is left closed (file null).
log_set open_logs(const std::vector<std::string>& names);

/// Opens a log that open_logs left closed; false, with the errno value in
/// *error, when it cannot be opened now.
bool reopen_log(log_entry& log, int* error);
