#pragma once
// report/: the HTML page the hits are written to.
// The HTML report. Every line ends with CR LF and is flushed at once, so the
// file is whole up to the last line written however the run ends. A null
// report (it could not be created) silently takes nothing.
//
// The writers return 0 when their text reached the file, else the errno
// value of the failure; the stream's error stays set, so a failure is also
// seen by every later writer.

#include <cstdio>
#include <string>
#include <string_view>

/// The file the report is written to without -o, in the current directory.
constexpr const char* kReportName = "report.html";

/// Appends text with & < > " ' replaced by their HTML references.
void append_escaped(std::string& out, std::string_view text);

/// The time window a run keeps, as the report names it: both ends empty
/// when the run has none.
struct window_ends {
  std::string_view from;
  std::string_view to;
};

/// Page start up to and including the first section heading; with a
/// window, the title and the line naming the log say it.
int write_head(std::FILE* report, std::string_view term,
               std::string_view fname, window_ends window = {});

/// The heading of the lower-case results.
int write_lower_heading(std::FILE* report);

/// The heading of the mixed-case results (asked for with -i).
int write_mixed_heading(std::FILE* report);

/// One result line.
int write_result(std::FILE* report, std::string_view line);

/// One thing the run lacks (a log not searched, or searched in part, or a
/// stop), in red, after the last section's hits.
int write_lack(std::FILE* report, std::string_view text);

/// Page end.
int write_foot(std::FILE* report);

/// Waits for the line being written, a moment at most, and lets no line
/// begin after it: the run is about to end at once, and the report ends on
/// a whole line. Safe from any thread.
void end_report_lines();
