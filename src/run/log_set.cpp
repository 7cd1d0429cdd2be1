#include "run/log_set.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "log/log_source.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

char folded(char c, bool ignore_case) {
  return ignore_case && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Names are UTF-8 inside the program, and become paths as such (on
// Windows the narrow text of a path is in the ANSI code page). False for
// a name that is no UTF-8 there, which names no file.
bool path_of(const std::string& name, fs::path* path) {
  try {
    *path = fs::u8path(name);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// A name with a wildcard is a pattern only when no file has that name:
// '*' and '?' are ordinary bytes of a name on most file systems.
bool is_pattern(const std::string& name) {
  if (name.find_first_of("*?") == std::string::npos) return false;
  fs::path path;
  std::error_code ec;
  return !path_of(name, &path) || !fs::exists(path, ec);
}

// Where the name proper starts, after the folder part as typed.
std::size_t name_start(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (platform_is_separator(path[i - 1])) return i;
  }
  return 0;
}

// A name with no UTF-8 spelling (half a UTF-16 pair on Windows) is left
// out: no file could be opened by it.
bool leaf_name(const fs::directory_entry& entry, std::string* leaf) {
  try {
    *leaf = entry.path().filename().u8string();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The regular files of the pattern's folder it matches, as folder + name.
std::vector<std::string> expand(const std::string& pattern) {
  const std::size_t at = name_start(pattern);
  const std::string folder = pattern.substr(0, at);
  const std::string_view wanted = std::string_view(pattern).substr(at);
  std::vector<std::string> found;
  fs::path where;
  if (!path_of(folder.empty() ? "." : folder, &where)) return found;
  std::error_code ec;
  fs::directory_iterator it(where, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string leaf;
    if (!leaf_name(*it, &leaf) ||
        !name_matches(wanted, leaf, platform_names_ignore_case()))
      continue;
    // The type the listing gave: no look at each file (the report is
    // told by its identity once opened).
    std::error_code kind;
    if (it->is_regular_file(kind)) found.push_back(folder + leaf);
  }
  return found;
}

struct identity_hash {
  std::size_t operator()(const file_identity& id) const {
    return std::hash<std::uint64_t>()(id.index * 31 + id.device);
  }
};

// Files already taken, known by what the system tells them apart by
// rather than by name: one look per file, however many there are.
using taken_files = std::unordered_set<file_identity, identity_hash>;

// A directory or a name with a NUL byte cannot be a log; the C library
// would open the one and cut the other short. One look at the file opened
// tells a directory and all else the set needs.
struct open_file {
  std::FILE* file = nullptr;
  file_facts facts;
  bool known = false;  // the system told the facts
};

open_file open_log(const std::string& log_name) {
  open_file opened;
  if (log_name.empty() || log_name.find('\0') != std::string::npos)
    return opened;
  opened.file = platform_open_log(log_name);
  if (opened.file == nullptr) return opened;
  opened.known = platform_file_facts(opened.file, &opened.facts);
  if (opened.known && opened.facts.directory) {
    std::fclose(opened.file);
    opened.file = nullptr;
    errno = EISDIR;
  }
  return opened;
}

// A small log is read whole while it is open anyway: its first bytes tell
// its format all the same, and a set of thousands of them is not opened
// twice. `room`: what the set may still hold.
bool read_small(const open_file& opened, std::uint64_t room,
                std::string* bytes) {
  const std::uint64_t size = opened.facts.size;
  if (!opened.facts.regular || size == 0 || size > kWholeAtMost ||
      size > room)
    return false;
  bytes->resize(static_cast<std::size_t>(size));
  int error = 0;
  return platform_read_at(opened.file, &(*bytes)[0], bytes->size(), 0,
                          &error) == static_cast<std::ptrdiff_t>(size);
}

// A pipe's bytes cannot be peeked at and read again: it is told when read.
log_format format_of(const std::string& name, const open_file& opened,
                     bool whole, const std::string& bytes) {
  if (format_by_name(name) != log_format::plain) return format_by_name(name);
  if (whole) return sniff_format(bytes);
  return opened.facts.regular ? peek_format(opened.file) : log_format::plain;
}

log_entry entry_of(const std::string& name, const open_file& opened) {
  log_entry log;
  log.name = name;
  log.file = opened.file;
  log.identity = opened.facts.identity;
  log.regular = opened.facts.regular;  // false where the system did not say
  log.limit = read_limit(opened.facts);
  if (log.regular) log.modified = opened.facts.modified;
  if (log.regular) log.written = opened.facts.written;
  return log;
}

// Lets go of the last regular file held open (it is opened again in its
// turn); false when none is held.
bool let_go_of_one(std::vector<log_entry>& logs) {
  for (auto log = logs.rbegin(); log != logs.rend(); ++log) {
    if (log->file == nullptr || !log->regular) continue;
    std::fclose(log->file);
    log->file = nullptr;
    return true;
  }
  return false;
}

// Out of descriptors (more taken than counted, by another thread or a
// parent): a log held open gives way rather than this one being lost.
open_file open_making_room(const std::string& name,
                           std::vector<log_entry>& logs) {
  open_file opened = open_log(name);
  while (opened.file == nullptr && (errno == EMFILE || errno == ENFILE) &&
         let_go_of_one(logs))
    opened = open_log(name);
  return opened;
}

// Nor can the report be a log: a name that led nowhere before the report
// was created may lead to it now. Known by identity, each file is looked
// at once, and a file named twice is searched once.
struct file_check {
  taken_files taken;
  file_identity report;
  bool have_report = false;
};

enum class verdict { log, report, named_before };

verdict check(file_check& files, const open_file& opened) {
  if (!opened.known) return verdict::log;
  const file_identity& id = opened.facts.identity;
  if (files.have_report && id == files.report) return verdict::report;
  return files.taken.insert(id).second ? verdict::log : verdict::named_before;
}

// Where the files of one folder are, by identity, as last listed: a
// rotation renames a whole set at once, and each log opened again after it
// would otherwise list the folder anew.
struct folder_listing {
  std::mutex lock;
  bool listed = false;
  std::string folder;
  std::unordered_map<file_identity, std::string, identity_hash> paths;
};

void list_folder(folder_listing& files, const std::string& folder) {
  files.listed = true;
  files.folder = folder;
  files.paths.clear();
  std::error_code ec;
  fs::path where;
  if (!path_of(folder.empty() ? "." : folder, &where)) return;
  fs::directory_iterator it(where, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string leaf;
    std::error_code kind;
    file_identity id;
    if (leaf_name(*it, &leaf) && it->is_regular_file(kind) &&
        platform_identity_at(folder + leaf, &id))
      files.paths.emplace(id, folder + leaf);
  }
}

// The listed path of the file, if it is still there.
std::string still_there(const folder_listing& files,
                        const file_identity& wanted) {
  const auto at = files.paths.find(wanted);
  file_identity id;
  if (at == files.paths.end() || !platform_identity_at(at->second, &id) ||
      !(id == wanted))
    return "";
  return at->second;
}

// Where the file listed under `name` is now, among the regular files of the
// same folder; empty when it is not there.
std::string path_by_identity(const std::string& name,
                             const file_identity& wanted) {
  static folder_listing files;
  const std::string folder = name.substr(0, name_start(name));
  const std::lock_guard<std::mutex> hold(files.lock);
  const bool known = files.listed && files.folder == folder;
  if (!known) list_folder(files, folder);
  std::string path = still_there(files, wanted);
  // Moved again since the folder was listed.
  if (path.empty() && known) {
    list_folder(files, folder);
    path = still_there(files, wanted);
  }
  return path;
}

}  // anonymous namespace

std::string names_as_given(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names)
    joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

bool names_report(const std::vector<std::string>& names,
                  const std::string& report_name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& log) {
    return log_is_report(log, report_name);
  });
}

bool log_is_report(const std::string& log_name,
                   const std::string& report_name) {
  fs::path path, report;
  std::error_code ec;
  return path_of(log_name, &path) && path_of(report_name, &report) &&
         fs::equivalent(path, report, ec) && !ec;
}

// Back to the last '*' on a mismatch, letting it take one byte more: no
// recursion, and time bounded by the product of the lengths.
bool name_matches(std::string_view pattern, std::string_view name,
                  bool ignore_case) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || folded(pattern[p], ignore_case) ==
                                         folded(name[n], ignore_case))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void order_logs(std::vector<log_entry>& logs) {
  std::stable_sort(logs.begin(), logs.end(),
                   [](const log_entry& a, const log_entry& b) {
                     if (a.regular != b.regular) return a.regular;
                     if (!a.regular) return false;
                     if (a.modified != b.modified)
                       return a.modified < b.modified;
                     return a.name < b.name;
                   });
}

open_file_plan plan_open_files(std::size_t limit, std::size_t cores) {
  constexpr std::size_t reserve = 32, per_search = 2;
  const std::size_t room = limit > reserve ? limit - reserve : 0;
  open_file_plan plan;
  plan.searches = std::max<std::size_t>(1, std::min(cores, room / per_search));
  const std::size_t searching = plan.searches * per_search;
  plan.held_open = room > searching ? room - searching : 0;
  return plan;
}

namespace {

// A log whose every line was written before the window opens.
bool before_window(const std::string& name, const time_window* window) {
  std::int64_t written = 0;
  return window != nullptr && window->has_since &&
         platform_written_at(name, &written) && window->all_before(written);
}

}  // anonymous namespace

log_set open_logs(const std::vector<std::string>& names,
                  std::size_t held_open, const std::string& report_name,
                  const time_window* window) {
  log_set set;
  file_check files;
  files.have_report = platform_identity_at(report_name, &files.report);
  std::size_t open_regular = 0;
  std::uint64_t whole_room = kWholeInAll;
  for (const std::string& given : names) {
    const bool pattern = is_pattern(given);
    const std::vector<std::string> found =
        pattern ? expand(given) : std::vector<std::string>{given};
    bool matched = false;  // a pattern never matches the report
    for (const std::string& name : found) {
      if (before_window(name, window)) {
        ++set.skipped;
        matched = true;
        continue;
      }
      open_file opened = open_making_room(name, set.logs);
      std::FILE*& file = opened.file;
      std::string bytes;
      const bool whole =
          file != nullptr && read_small(opened, whole_room, &bytes);
      if (file != nullptr &&
          refuse_unreadable(name, format_of(name, opened, whole, bytes))) {
        std::fclose(file);
        file = nullptr;
      }
      const verdict v = file == nullptr ? verdict::log : check(files, opened);
      matched = matched || v != verdict::report;
      if (file != nullptr && v != verdict::log) std::fclose(file);
      if (file == nullptr || (v == verdict::report && !pattern))
        set.not_opened.push_back(name);
      if (file == nullptr || v != verdict::log) continue;
      set.logs.push_back(entry_of(name, opened));
      log_entry& log = set.logs.back();
      if (whole) {
        whole_room -= bytes.size();
        log.bytes = std::move(bytes);
        log.read_whole = true;
      }
      if (whole || (log.regular && ++open_regular > held_open)) {
        std::fclose(log.file);
        log.file = nullptr;
      }
    }
    if (pattern && !matched) set.not_opened.push_back(given);
  }
  order_logs(set.logs);
  return set;
}

reopened reopen_log(log_entry& log, int* error) {
  std::string path = log.name;
  file_identity id;
  if (!platform_identity_at(path, &id) || !(id == log.identity))
    path = path_by_identity(log.name, log.identity);
  if (path.empty()) return reopened::gone;
  errno = 0;
  open_file opened = open_log(path);
  if (opened.file == nullptr) {
    *error = errno != 0 ? errno : ENOENT;
    return reopened::failed;
  }
  // Renamed once more between the look and the open.
  if (!opened.known || !(opened.facts.identity == log.identity)) {
    std::fclose(opened.file);
    return reopened::gone;
  }
  log.file = opened.file;
  return reopened::ok;
}
