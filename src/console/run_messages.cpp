#include "console/run_messages.h"

#include "console/console.h"
#include "platform/platform.h"
#include "report/report.h"

namespace {

// A message on a line of its own; its words come back for the report,
// which lists what the run lacks.
std::string say(const std::string& text) {
  print("\t" + text + "\n");
  return text;
}

// The report as messages name it: as -o gave it, or capitalised at the
// head of a sentence.
std::string report_subject(const std::string& report) {
  return report == kReportName ? "Report.html" : report;
}

}  // anonymous namespace

void print_unknown_switches(const std::vector<std::string>& unknown) {
  for (const std::string& sw : unknown) {
    print("Unknown switch: ");
    print(sw);
    print("\n");
  }
}

void print_banner(const std::string& report) {
  color(GREY);
  print("\n\t\t************************************\n");
  color(WHITE);
  print("\t\t\t   Vantrel v1.0\n");
  print("\t\t\t   Updated 12/05/06\n");
  print("\t\t\tFirewall log search\n");
  print("\t\t    Hits named by host, in " + report + "\n");
  color(GREY);
  print("\t\t************************************\n\n");
  color(YELLOW);
}

void print_progress(const std::string& report) {
  print("\n\tCreating '");
  color(WHITE);
  print(report);
  color(GREY);
  print("' with your results in it..\n\n\tPlease be patient, it will take a "
        "while.\n\n");
  color(WHITE);
  print("\t[");
  color(LIGHTCYAN);
  print("Writing...");
  color(WHITE);
  print("]\n");
  color(WHITE);
  print("\t[");
  color(BRIGHTBLUE);
  print("Searching UpperCase then LowerCase...");
  color(WHITE);
  print("]\n");
}

void print_time_window(const std::string& from, const std::string& to) {
  color(LIGHTCYAN);
  print("\tTime window: between " + from + " and " + to + "\n");
}

void print_time_not_understood(const std::string& value) {
  print("\tThe time '" + value +
        "' is not understood: give YYYY-MM-DD [HH:MM[:SS]], HH:MM, today, "
        "yesterday, now or -2h.\n");
}

void print_window_inverted() {
  print("\tThe time window ends before it starts.\n");
}

void print_log_without_times(const std::string& name) {
  color(YELLOW);
  print("\tThe log " + name + " holds no times; all its lines were searched.\n");
}

void print_log_is_report() {
  color(RED);
  print("\tThe log file is the report itself; name another log.\n");
}

void print_unable_to_open() {
  color(RED);
  print("Unable to open file");
}

void print_no_answer() {
  color(LIGHTRED);
  print("\n\tThe input ended before an answer was given; nothing was "
        "searched.\n");
}

std::string cut_short_text(const std::string& report) {
  return "Stopped: " + report +
         " holds only what was found before the stop.";
}

void print_report_busy(const std::string& name) {
  color(LIGHTRED);
  print("\tAnother run is writing " + name + "; wait for it to end.\n");
}

void print_cut_short(const std::string& report) {
  color(LIGHTRED);
  print("\n");
  say(cut_short_text(report));
}

void print_report_not_created(const std::string& report) {
  color(LIGHTRED);
  print("\n\t" + report_subject(report) +
        " could not be opened or created, make sure the directory is not "
        "read-only.\n");
}

void print_report_not_written(const std::string& report, int error) {
  color(LIGHTRED);
  print("\t" + report_subject(report) +
        " could not be written: " + platform_error_text(error) + ".\n");
}

std::string print_not_opened(const std::string& name) {
  color(LIGHTRED);
  return say("Unable to open file " + name);
}

namespace {

// Where in a log something was met: its lines before were read, from its
// first or, the time window having let reading start late, from there.
std::string after_lines(std::uint64_t lines, bool started_late) {
  return started_late ? std::to_string(lines) +
                            " lines past where the time window started its "
                            "reading"
                      : "after line " + std::to_string(lines);
}

}  // anonymous namespace

std::string print_compressed_log_damaged(std::uint64_t lines,
                                         const std::string& name,
                                         bool started_late) {
  color(LIGHTRED);
  return say("The compressed log " + (name.empty() ? "" : name + " ") +
             "is damaged " + after_lines(lines, started_late) +
             "; the rest was not searched.");
}

namespace {

// A size as a person reads it: "1 GiB", "192 MiB", rounded up.
std::string size_text(std::uint64_t bytes) {
  static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (unit < 4 && bytes > 1023) {
    bytes = (bytes + 1023) / 1024;
    ++unit;
  }
  return std::to_string(bytes) + " " + kUnits[unit];
}

}  // anonymous namespace

std::string print_compressed_log_too_large(std::uint64_t lines,
                                           std::uint64_t window,
                                           const std::string& name,
                                           bool started_late) {
  color(LIGHTRED);
  return say("The compressed log " + (name.empty() ? "" : name + " ") +
             "asks for a window of " + size_text(window) + " " +
             after_lines(lines, started_late) +
             ", more memory than this run allows; the rest was not searched.");
}

void print_searching(const char* case_name) {
  color(WHITE);
  print(std::string("\tSearching ") + case_name + "...\n");
  color(BRIGHTGREEN);
}

std::string print_line_too_long(const std::string& log) {
  color(RED);
  return say("A line of " + log + " is too long for the memory left; the "
             "rest of the log was not searched.");
}

std::string print_log_unreadable(const std::string& log, int error) {
  color(RED);
  return say("T" + log.substr(1) + " could not be read to its end: " +
             platform_error_text(error) + ".");
}

std::string print_log_gone(const std::string& name) {
  color(LIGHTRED);
  return say("The log " + name +
             " was moved or removed before it was searched; its hits are "
             "missing.");
}

std::string print_log_shrunk(const std::string& name, std::uint64_t read_to) {
  color(LIGHTRED);
  return say("The log " + name +
             " was cut short while it was searched; hits after byte " +
             std::to_string(read_to) + " may be missing.");
}

void print_out_of_memory() {
  color(LIGHTRED);
  print("\tThe run ran out of memory; the report holds the hits written "
        "before it.\n");
}

void print_held_hits_written(std::int64_t count) {
  color(BRIGHTGREEN);
  print("\tWrote " + std::to_string(count) +
        (count == 1 ? " result" : " results") +
        " found before the stop.\n");
}

void print_file_written() {
  color(BRIGHTGREEN);
  print("\n\tFile written.\n");
  color(WHITE);
  print("\n\n\t>>> Press enter to continue <<<\n");
}

void print_spill_failed(const std::string& folder, int error) {
  color(LIGHTRED);
  print("\tThe temporary folder " + folder +
        " could not take the held hits (" + platform_error_text(error) +
        "); they are kept in memory.\n");
  color(BRIGHTGREEN);
}

std::string print_held_hits_lost(const std::string& section,
                                 const std::string& log, int error) {
  color(RED);
  return say("The " + section + " hits held for the log " + log +
             " could not all be kept (" + platform_error_text(error) +
             "); that section of the report is incomplete.");
}

void print_no_viewer(const std::string& path) {
  color(YELLOW);
  print("\tNo viewer could show the report; it is at " + path + "\n");
  // Back to the colour the Enter prompt left.
  color(WHITE);
}
