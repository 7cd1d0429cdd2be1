#pragma once
// One pass over the log: the one place a log is opened and closed.

#include <cstdio>
#include <string>

#include "run/run_settings.h"

struct name_pipeline;

enum class pass_kind { upper, lower };

enum class pass_outcome {
  searched,        // the log was searched, to its end or to a stop request
  log_not_opened,  // the upper-case pass could not open the log
};

/// True when the log named is the report itself, by any path: the passes
/// would read the lines they write.
bool log_is_report(const std::string& log_name);

/// Opens the log, searches it for the term folded to the pass's case,
/// announces and writes each hit (hit_writer.h), and closes it. A log that
/// vanished before the lower-case pass reads as an empty one. With `names`,
/// every hit of the pass is in the report when it returns.
pass_outcome run_pass(pass_kind kind, const run_settings& settings,
                      std::FILE* report, name_pipeline* names = nullptr);
