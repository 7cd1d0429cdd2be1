#pragma once
// One pass over the log: the one place a log is opened and closed.

#include <cstdio>
#include <string>

#include "run/run_settings.h"

struct name_pipeline;

enum class pass_kind { upper, lower };

/// How a pass went; a stop request is not among these, since the run asks
/// for it itself.
struct pass_result {
  bool log_opened = true;  // false: the upper-case pass could not open it
  bool whole = true;       // false: part of the log could not be searched
  int write_error = 0;     // errno value when the report could not be written
};

/// True when the log named is the report itself, by any path: the passes
/// would read the lines they write.
bool log_is_report(const std::string& log_name);

/// Opens the log, searches it for the term folded to the pass's case,
/// announces and writes each hit (hit_writer.h), and closes it. A log that
/// vanished before the lower-case pass reads as an empty one. What could
/// not be searched is said on the console; the search ends at the first
/// failed write. With `names`, every hit of the pass is in the report when
/// it returns.
pass_result run_pass(pass_kind kind, const run_settings& settings,
                     std::FILE* report, name_pipeline* names = nullptr);
