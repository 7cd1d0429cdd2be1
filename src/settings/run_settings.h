#pragma once
// settings/: what the run is asked: the switches, the prompts and their
// answers.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/report.h"

/// Everything one run needs to know, filled from the switches and prompts
/// and not changed once the search starts.
struct run_settings {
  std::string log_name;                         // used unchanged
  // With -f, the arguments where switch parsing stopped: more logs.
  std::vector<std::string> more_logs;
  std::optional<std::string> term_from_switch;  // from -s, even when empty
  std::string term;                  // as given, before any case folding
  std::int32_t trim_from_switch = 0;  // from -t
  std::int32_t trim = 0;              // effective trim choice: 1 trims
  bool mixed_case = false;  // -i: a third section, the term in mixed case
  std::optional<std::string> since;  // --since WHEN, as given
  std::optional<std::string> until;  // --until WHEN, as given
  bool whole_words = false;  // -w: the term only where it stands whole
  std::string report_name = kReportName;  // -o's, used unchanged
};
