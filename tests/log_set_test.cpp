#include "run/log_set.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
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
      {"fw.log*", "fw.log.2.gz", false, true},
      {"fw.log*", "xfw.log", false, false},
      {"fw.log.?", "fw.log.1", false, true},
      {"fw.log.?", "fw.log.10", false, false},
      {"fw.log.?", "fw.log.", false, false},
      {"*.gz", "fw.log.gz.old", false, false},
      {"*a*b*", "xxaxxbxx", false, true},
      {"*a*b", "ab_ab_a", false, false},
      {"**", "", false, true},
      {"?", "", false, false},
      {"FW.*", "fw.log", false, false},
      {"FW.*", "fw.log", true, true},
      {"[ab]*", "[ab]x", false, true},  // no classes: brackets are bytes
      {"\xE9*", "\xC9t\xE9", true, false},  // only ASCII letters fold
  };
  for (const row& r : rows)
    EXPECT_EQ(name_matches(r.pattern, r.name, r.ignore_case), r.matches)
        << r.pattern << " / " << r.name;
}

TEST(LogSet, OrderIsOldestFirstThenTheOthersAsGiven) {
  const auto t = std::filesystem::file_time_type::clock::now();
  const auto h = std::chrono::hours(1);
  std::vector<log_entry> logs = {
      {"pipe2", nullptr, false, {}}, {"b", nullptr, true, t},
      {"pipe1", nullptr, false, {}}, {"a", nullptr, true, t},
      {"c", nullptr, true, t - h},
  };
  order_logs(logs);
  std::vector<std::string> names;
  for (const log_entry& log : logs) names.push_back(log.name);
  EXPECT_EQ(names, (std::vector<std::string>{"c", "a", "b", "pipe2", "pipe1"}));
}

#ifndef _WIN32
// More logs than the process may hold open: every one is still searched,
// opened in its turn.
TEST(LogSet, MoreLogsThanDescriptorsAreEachOpenedInTurn) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("vantrel-logs-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) {
    names.push_back((dir / ("fw.log." + std::to_string(i))).string());
    std::ofstream(names.back()) << i << "\n";
  }
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit low = old;
  low.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  log_set set = open_logs(names);
  EXPECT_TRUE(set.not_opened.empty());
  EXPECT_EQ(set.logs.size(), names.size());
  for (log_entry& log : set.logs) {
    int error = 0;
    EXPECT_TRUE(log.file != nullptr || reopen_log(log, &error)) << error;
    if (log.file != nullptr) std::fclose(log.file);
  }
  setrlimit(RLIMIT_NOFILE, &old);
  fs::remove_all(dir);
}
#endif

}  // namespace
