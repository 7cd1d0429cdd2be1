#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// Everything one run needs to know, filled from the switches and prompts.
struct run_settings {
  std::string fname;                     // log file name, used unchanged
  std::optional<std::string> searchcmd;  // term from -s, even when empty
  std::string search;                    // the term the passes fold in place
  std::int32_t tparam = 0;               // trim choice from -t
  std::int32_t trim = 0;                 // effective trim choice: 1 trims
};
