#pragma once
// run/: the engine: the set of logs and its order, the jobs and their
// workers, the held hits, and the order the report's sections come in.
// The search of the run's logs: each read once, on as many threads as the
// machine has cores, and the report's sections written in log order.

#include <cstdio>
#include <string>
#include <vector>

#include "time/window.h"
#include "report/report.h"

struct name_pipeline;

/// What the engine is asked to find, and where.
struct search_options {
  std::string term;               // as given, before any case folding
  std::vector<std::string> logs;  // as named, the first one first
  bool mixed_case = false;        // a third section: the term in mixed case
  time_window window;             // the lines kept: every one when unset
  std::int64_t started = 0;       // when the run started, an instant
  bool whole_words = false;       // -w: only where the term stands whole
  std::string report_name = kReportName;  // never searched as a log
};

/// How the search went; a stop request is not among these, since the run
/// asks for it itself.
struct search_result {
  bool log_opened = true;  // false: no log could be opened
  bool whole = true;       // false: part of the logs could not be searched
  int write_error = 0;     // errno value when the report could not be written
  // Logs read through a window that held no dated line: searched whole.
  std::vector<std::string> without_times;
  // What the console said the run lacks, a log's words once: logs not
  // searched or searched in part, held hits lost.
  std::vector<std::string> lacking;
};

/// Every section of the report from one read of each log named: opens the
/// logs (oldest first, log_set.h), says which could not be opened, looks
/// for the term folded to each section's case at once, announces and
/// hands `names` the first section's hits log after log (those of the log
/// being written as they are found, the others' once searched) and holds
/// the rest; then writes each further heading and section from what was
/// held. A regular file is read as far as it reached when opened, so every
/// section sees the same lines. What could not be searched is said on the
/// console after each section; the search ends at the first failed write.
/// A stop request ends the reading, not the writing: every hit read before
/// it, held ones included, is written in the usual order. Every hit is in
/// the report when it returns. With mixed_case the same read
/// also holds the lines that have the term in mixed case only, written as
/// a third section after the lower-case one.
search_result search_logs(const search_options& options, std::FILE* report,
                          name_pipeline& names);
