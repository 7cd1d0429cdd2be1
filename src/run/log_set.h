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
#include "time/window.h"

struct log_entry {
  std::string name;  // as given, or the path a pattern found
  std::FILE* file = nullptr;
  bool regular = false;  // a regular file, not a pipe or a device
  std::int64_t modified = 0;  // when last written, in the system's units
  std::int64_t written = 0;   // the same in seconds since 1970
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
  std::size_t skipped = 0;  // written to before the time window: not opened
};

/// The names as given, joined by ", ", for the report's head.
std::string names_as_given(const std::vector<std::string>& names);

/// True when one of the logs named is the report (named report_name)
/// itself, by any path: the search would read the lines it writes.
bool names_report(const std::vector<std::string>& names,
                  const std::string& report_name);

/// True when the log named is the report itself.
bool log_is_report(const std::string& log_name,
                   const std::string& report_name);

/// True when name matches pattern: '*' any run of bytes, '?' one byte,
/// every other byte itself, ASCII letters in either case with ignore_case.
bool name_matches(std::string_view pattern, std::string_view name,
                  bool ignore_case);

/// Sorts logs into search order: regular files oldest first, names
/// breaking ties, then the others in the order they came.
void order_logs(std::vector<log_entry>& logs);

/// How a run spends the files it may hold open: threads that search, and
/// regular files held open from their listing on, so that no log is
/// opened by name again. The rest of the limit stays free for what else
/// the run opens.
struct open_file_plan {
  std::size_t searches = 1;  // threads searching logs, the main one among them
  std::size_t held_open = 0;
};

/// Counted from what the process's limit leaves free (`limit`: the limit
/// less the files open already): a fixed reserve (standard streams,
/// report, held hits' file, stop pipe, listing, name lookups), two for each
/// search (the log it opens again, and its folder while the log is looked
/// for there), the rest held open. Searches are fewer than cores where the
/// limit is too low for each to have its two.
open_file_plan plan_open_files(std::size_t limit, std::size_t cores);

/// The largest log read whole when opened, and the most bytes of such logs
/// a set holds.
constexpr std::uint64_t kWholeAtMost = std::uint64_t{4} << 10;
constexpr std::uint64_t kWholeInAll = std::uint64_t{4} << 20;

/// Opens the logs named (patterns expanded, a file named twice once, the
/// report never) and orders them; a name that cannot be opened, or a
/// pattern that matches nothing, goes to not_opened. A log read whole, and
/// a regular file past the first held_open, is left closed (file null); so
/// is a regular file held before, when the process is out of descriptors
/// for the next log. With a window, a regular file last written before it
/// (by more than the order slack) is not opened at all: it is counted as
/// skipped.
log_set open_logs(const std::vector<std::string>& names,
                  std::size_t held_open, const std::string& report_name,
                  const time_window* window = nullptr);

enum class reopened { ok, failed, gone };

/// Opens a log that open_logs left closed: the file listed, whatever its
/// name holds now. Renamed meanwhile, it is looked for by its identity
/// among the files of its folder (rotation renames there). `gone` when it
/// is nowhere to be found; `failed`, with the errno value in *error, when
/// it is found but cannot be opened. Its read limit stays the listed one.
reopened reopen_log(log_entry& log, int* error);
