#pragma once
// The HTML report. Every line ends with CR LF and is flushed at once, so the
// file is whole up to the last line written however the run ends. A null
// report (it could not be created) silently takes nothing.

#include <cstdio>
#include <string>
#include <string_view>

/// The file the report is written to, in the current directory.
constexpr const char* kReportName = "report.html";

/// Appends text with & < > " ' replaced by their HTML references.
void append_escaped(std::string& out, std::string_view text);

/// Page start up to and including the first section heading.
void write_head(std::FILE* report, std::string_view term,
                std::string_view fname);

/// The heading of the lower-case results.
void write_lower_heading(std::FILE* report);

/// One result line.
void write_result(std::FILE* report, std::string_view line);

/// Page end.
void write_foot(std::FILE* report);
