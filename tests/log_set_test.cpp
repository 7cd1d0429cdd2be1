#include "run/log_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

TEST(LogSet, NameMatches) {
  struct row {
    const char* pattern;
    const char* name;
    bool ignore_case;
    bool matches;
  };
  const row rows[] = {
      {"fw.log*", "fw.log", false, true},
      {"fw.log*", "xfw.log", false, false},
      {"fw.log.?", "fw.log.1", false, true},
      {"fw.log.?", "fw.log.10", false, false},
      {"*a*b*", "xxaxxbxx", false, true},
      {"*a*b", "ab_ab_a", false, false},
      {"**", "", false, true},
      {"?", "", false, false},
      {"FW.*", "fw.log", true, true},
      {"[ab]*", "[ab]x", false, true},  // no classes: brackets are bytes
      {"\xE9*", "\xC9t\xE9", true, false},  // only ASCII letters fold
  };
  for (const row& r : rows)
    EXPECT_EQ(name_matches(r.pattern, r.name, r.ignore_case), r.matches)
        << r.pattern << " / " << r.name;
}

TEST(LogSet, OrderIsOldestFirstThenTheOthersAsGiven) {
  const std::int64_t t = 1700000000, h = 3600;
  std::vector<log_entry> logs = {
      {"pipe2", nullptr, false, 0}, {"b", nullptr, true, t},
      {"pipe1", nullptr, false, 0}, {"a", nullptr, true, t},
      {"c", nullptr, true, t - h},
  };
  order_logs(logs);
  std::vector<std::string> names;
  for (const log_entry& log : logs) names.push_back(log.name);
  EXPECT_EQ(names, (std::vector<std::string>{"c", "a", "b", "pipe2", "pipe1"}));
}

#ifndef _WIN32
// More logs than the process may hold open, and more small ones than the
// set may hold read whole: each of the others is opened in its turn.
TEST(LogSet, MoreLogsThanDescriptorsAreEachOpenedInTurn) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("vantrel-logs-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::vector<std::string> names;
  const std::string text(kWholeAtMost, 'x');
  const std::size_t held = kWholeInAll / kWholeAtMost;
  for (std::size_t i = 0; i < held + 150; ++i) {
    names.push_back((dir / std::to_string(i)).string());
    std::ofstream(names.back(), std::ios::binary) << text;
  }
  rlimit old{}, low{100, 0};
  getrlimit(RLIMIT_NOFILE, &old);
  low.rlim_max = old.rlim_max;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  log_set set = open_logs(names, 64, "report.html");
  EXPECT_TRUE(set.not_opened.empty());
  int error = 0;
  std::size_t whole = 0;
  for (log_entry& log : set.logs) {
    if (log.read_whole && log.bytes == text) ++whole;
    if (log.read_whole) continue;
    EXPECT_TRUE(log.file != nullptr ||
                reopen_log(log, &error) == reopened::ok) << error;
    if (log.file != nullptr) std::fclose(log.file);
  }
  EXPECT_EQ(whole, held);
  setrlimit(RLIMIT_NOFILE, &old);
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace
