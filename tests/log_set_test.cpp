#include "run/log_set.h"

#include <gtest/gtest.h>

#include <chrono>

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

}  // namespace
