#pragma once
// One pass over the log: the one place a log is opened and closed.

#include <cstdio>
#include <string>

#include "run/run_settings.h"

struct name_pipeline;

/// How the search went; a stop request is not among these, since the run
/// asks for it itself.
struct search_result {
  bool log_opened = true;  // false: the log could not be opened
  bool whole = true;       // false: part of the log could not be searched
  int write_error = 0;     // errno value when the report could not be written
};

/// True when the log named is the report itself, by any path: the passes
/// would read the lines they write.
bool log_is_report(const std::string& log_name);

/// Both sections of the report from one read of the log: opens it, looks
/// for the term folded to upper case and to lower case at once, announces
/// and writes the upper-case hits as they are found (hit_writer.h) and
/// holds the lower-case ones; then writes the lower-case heading and
/// section from what was held, and closes the log. A regular file is read
/// as far as it reached when opened, so both sections see the same lines.
/// What could not be searched is said on the console after each section;
/// the search ends at the first failed write, and at a stop request, with
/// held hits never announced left out. With `names`, every hit is in the
/// report when it returns. With -i (settings.mixed_case) the same read
/// also holds the lines that have the term in mixed case only, written as
/// a third section after the lower-case one.
search_result search_log(const run_settings& settings, std::FILE* report,
                         name_pipeline* names = nullptr);
