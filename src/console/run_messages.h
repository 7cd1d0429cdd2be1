#pragma once
// The run's own console texts, each in its colours.

#include <cstdint>
#include <string>
#include <vector>

/// "Unknown switch: " and the switch, one line each, in the colour the
/// console already has.
void print_unknown_switches(const std::vector<std::string>& unknown);

/// The banner; it names the report.
void print_banner(const std::string& report);

/// The lines that say the report (named as given) is being made, before
/// the search.
void print_progress(const std::string& report);

/// Says the time window the run keeps, after the progress lines.
void print_time_window(const std::string& from, const std::string& to);

/// Says a WHEN that is not understood (as given), before the banner.
void print_time_not_understood(const std::string& value);

/// Says the window ends before it starts, before the banner.
void print_window_inverted();

/// Says a log read through the window held no times, so was searched
/// whole.
void print_log_without_times(const std::string& name);

void print_log_is_report();
void print_unable_to_open();

/// Another run holds the report (name as written): nothing is searched.
void print_report_busy(const std::string& name);

// The messages that say what of the logs the run lacks return their words
// (without the tab and line break), for the report to say it too.

/// The run's end when the report could not be created: said before any
/// log is searched.
void print_report_not_created(const std::string& report);

/// One of several logs could not be opened (or a pattern matched nothing):
/// its name as given, on a line of its own.
std::string print_not_opened(const std::string& name);

/// The report could not be written, with the system's reason.
void print_report_not_written(const std::string& report, int error);

/// A compressed log was damaged after its first `lines` complete lines, or
/// as many past where reading started when the time window let it start
/// late (the lines before are not counted); named when name is not empty.
std::string print_compressed_log_damaged(std::uint64_t lines,
                                         const std::string& name = "",
                                         bool started_late = false);

/// A compressed log asked for a window (`window` bytes) past what a run
/// allows after its first `lines` complete lines; named and counted as
/// above.
std::string print_compressed_log_too_large(std::uint64_t lines,
                                           std::uint64_t window,
                                           const std::string& name = "",
                                           bool started_late = false);

/// "\tSearching UpperCase...\n" (or the case named) in white; the hits
/// that follow are in green.
void print_searching(const char* case_name);

/// A line of the log (labelled "the log" or "the log NAME") did not fit in
/// memory.
std::string print_line_too_long(const std::string& log);

/// A read of the log (labelled as above) failed with errno value `error`.
std::string print_log_unreadable(const std::string& log, int error);

/// A log left closed was neither under its name nor anywhere in its folder
/// when its turn came: none of its hits are in the report.
std::string print_log_gone(const std::string& name);

/// A log ended before the size it had when listed, after `read_to` bytes.
std::string print_log_shrunk(const std::string& name, std::uint64_t read_to);

/// The run ran out of memory: the report holds what was written before.
void print_out_of_memory();

/// The input ended where an answer was due: the run ends, nothing searched.
void print_no_answer();

/// A stop request cut the run short; the report holds what came before it.
void print_cut_short(const std::string& report);

/// Its words, without the tab and line breaks.
std::string cut_short_text(const std::string& report);

/// How many hits found before a stop were written after it without a line
/// each, in the hits' colour.
void print_held_hits_written(std::int64_t count);

/// "File written." and the Enter prompt.
void print_file_written();

/// The temporary folder could not take held hits, which stay in memory;
/// in light red, once a run. The hits after it are in green again.
void print_spill_failed(const std::string& folder, int error);

/// Held hits of a section of a log were lost (memory exhausted, or the
/// temporary file lost them): the section is incomplete, through no fault
/// of the log.
std::string print_held_hits_lost(const std::string& section,
                                 const std::string& log, int error);

/// Where the report is, when no viewer could show it; after the clear, so
/// it is what the console is left showing.
void print_no_viewer(const std::string& path);
