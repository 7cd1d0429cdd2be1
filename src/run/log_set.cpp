#include "run/log_set.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <unordered_set>

#include "platform/platform.h"
#include "report/report.h"

namespace fs = std::filesystem;

namespace {

char folded(char c, bool ignore_case) {
  return ignore_case && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// A name with a wildcard is a pattern only when no file has that name:
// '*' and '?' are ordinary bytes of a name on most file systems.
bool is_pattern(const std::string& name) {
  if (name.find_first_of("*?") == std::string::npos) return false;
  std::error_code ec;
  return !fs::exists(name, ec);
}

// Where the name proper starts, after the folder part as typed.
std::size_t name_start(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (platform_is_separator(path[i - 1])) return i;
  }
  return 0;
}

// A name the C library could not open as the folder holds it (one the
// narrow character set cannot spell) is left out.
bool leaf_name(const fs::directory_entry& entry, std::string* leaf) {
  try {
    *leaf = entry.path().filename().string();
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
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? "." : folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string leaf;
    if (!leaf_name(*it, &leaf) ||
        !name_matches(wanted, leaf, platform_names_ignore_case()))
      continue;
    const std::string path = folder + leaf;
    std::error_code kind;
    if (fs::is_regular_file(path, kind) && !log_is_report(path))
      found.push_back(path);
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

bool named_before(taken_files& taken, std::FILE* file) {
  file_identity id;
  return platform_file_identity(file, &id) && !taken.insert(id).second;
}

// A directory or a name with a NUL byte cannot be a log; the C library
// would open the one and cut the other short. Nor can the report: a name
// that led nowhere before the report was created may lead to it now.
std::FILE* open_log(const std::string& log_name) {
  if (log_name.empty() || log_name.find('\0') != std::string::npos)
    return nullptr;
  std::error_code ec;
  if (fs::is_directory(log_name, ec) || log_is_report(log_name))
    return nullptr;
  return std::fopen(log_name.c_str(), "rb");
}

log_entry opened(const std::string& name, std::FILE* file) {
  log_entry log;
  log.name = name;
  log.file = file;
  std::error_code ec;
  log.regular = fs::is_regular_file(name, ec);
  if (log.regular) log.modified = fs::last_write_time(name, ec);
  return log;
}

}  // anonymous namespace

std::vector<std::string> log_names(const run_settings& settings) {
  std::vector<std::string> names{settings.log_name};
  names.insert(names.end(), settings.more_logs.begin(),
               settings.more_logs.end());
  return names;
}

std::string names_as_given(const run_settings& settings) {
  std::string joined;
  for (const std::string& name : log_names(settings))
    joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

bool names_report(const run_settings& settings) {
  const std::vector<std::string> names = log_names(settings);
  return std::any_of(names.begin(), names.end(), log_is_report);
}

bool log_is_report(const std::string& log_name) {
  std::error_code ec;
  return fs::equivalent(log_name, kReportName, ec) && !ec;
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

log_set open_logs(const std::vector<std::string>& names) {
  log_set set;
  taken_files taken;
  std::size_t open_regular = 0;
  for (const std::string& given : names) {
    const bool pattern = is_pattern(given);
    const std::vector<std::string> found =
        pattern ? expand(given) : std::vector<std::string>{given};
    if (found.empty()) set.not_opened.push_back(given);
    for (const std::string& name : found) {
      std::FILE* file = open_log(name);
      if (file == nullptr) {
        set.not_opened.push_back(name);
        continue;
      }
      if (named_before(taken, file)) {
        std::fclose(file);
        continue;
      }
      set.logs.push_back(opened(name, file));
      log_entry& log = set.logs.back();
      if (log.regular && ++open_regular > kOpenAtOnce) {
        std::fclose(log.file);
        log.file = nullptr;
      }
    }
  }
  order_logs(set.logs);
  return set;
}

bool reopen_log(log_entry& log, int* error) {
  errno = 0;
  log.file = open_log(log.name);
  if (log.file == nullptr) *error = errno != 0 ? errno : ENOENT;
  return log.file != nullptr;
}
