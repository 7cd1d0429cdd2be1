// Entry and the order of one run: switches, socket library, banner, prompts,
// the two passes over the log, the report, and handing it to the viewer.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "console/console.h"
#include "platform/platform.h"
#include "report/report.h"
#include "run/command_line.h"
#include "run/prompts.h"
#include "run/run_settings.h"
#include "run/startup.h"
#include "run/stop_signals.h"
#include "run/usage.h"
#include "search/line_reader.h"
#include "search/search_pass.h"

namespace {

void print_banner() {
  color(GREY);
  print("\n\t\t************************************\n");
  color(WHITE);
  print("\t\t\t   Vantrel v1.0\n");
  print("\t\t\t   Updated 12/05/06\n");
  print("\t\t\tFirewall log search\n");
  print("\t\t    Hits named by host, in report.html\n");
  color(GREY);
  print("\t\t************************************\n\n");
  color(YELLOW);
}

void print_progress() {
  print("\n\tCreating '");
  color(WHITE);
  print(kReportName);
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

// The passes would read the lines they write, so a log that is the report
// itself (by any path) is refused before the report is truncated.
bool log_is_report(const std::string& fname) {
  std::error_code ec;
  return std::filesystem::equivalent(fname, kReportName, ec) && !ec;
}

// A directory or a name with a NUL byte cannot be a log; the C library
// would open the one and cut the other short.
std::FILE* open_log(const std::string& fname) {
  if (fname.empty() || fname.find('\0') != std::string::npos) return nullptr;
  std::error_code ec;
  if (std::filesystem::is_directory(fname, ec)) return nullptr;
  return std::fopen(fname.c_str(), "rb");
}

// The size of a regular file with something in it; false for anything
// else (a pipe, a device) and for files that show no size (/proc).
bool regular_size(const std::string& fname, std::uint64_t* size) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fname, ec) || ec) return false;
  const std::uintmax_t bytes = std::filesystem::file_size(fname, ec);
  if (ec || bytes == 0) return false;
  *size = bytes;
  return true;
}

void run_pass(pass_kind kind, std::FILE* log, const std::string& fname,
              run_settings& settings, std::FILE* report) {
  line_reader reader;
  open_reader(reader, log);
  // A log still being written to is searched as it stood when the pass
  // opened it; reading on to its end might never end.
  std::uint64_t size = 0;
  if (log != nullptr && regular_size(fname, &size)) limit_reader(reader, size);
  search_pass(kind, reader, settings, report);
  if (log != nullptr) std::fclose(log);
  if (reader.out_of_memory) {
    color(RED);
    print("\tA line of the log is too long for the memory left; the rest of "
          "the log was not searched.\n");
  }
}

// A stop signal ends the run between two lines of the report, so every
// line in it is whole.
void stop_if_asked(std::FILE* report) {
  if (!stop_requested()) return;
  if (report != nullptr) std::fclose(report);
  release_stop_signals();
}

}  // anonymous namespace

int main(int argc, char** argv) {
  run_settings settings;
  std::vector<std::string> unknown;
  const info_request asked = parse_switches(argc, argv, settings, unknown);
  for (const std::string& sw : unknown) {
    print("Unknown switch: ");
    print(sw);
    print("\n");
  }
  // --help and --version answer and end the run: no banner, no report.
  if (asked != info_request::none) {
    print(info_text(asked));
    return 0;
  }

  if (!start_socket_library(platform_start_sockets)) return kSocketStartFailure;

  print_banner();
  complete_settings(settings);
  if (settings.searchcmd) settings.search = *settings.searchcmd;

  color(GREY);
  if (log_is_report(settings.fname)) {
    color(RED);
    print("\tThe log file is the report itself; name another log.\n");
    return 0;
  }
  std::FILE* log = open_log(settings.fname);
  catch_stop_signals();
  std::FILE* report = std::fopen(kReportName, "wb");

  print_progress();
  write_head(report, settings.search, settings.fname);

  if (log == nullptr) {
    color(RED);
    print("Unable to open file");
    if (report != nullptr) std::fclose(report);
    release_stop_signals();
    return 0;
  }

  run_pass(pass_kind::upper, log, settings.fname, settings, report);
  stop_if_asked(report);
  write_lower_heading(report);
  run_pass(pass_kind::lower, open_log(settings.fname), settings.fname,
           settings, report);
  stop_if_asked(report);
  write_foot(report);
  release_stop_signals();

  color(BRIGHTGREEN);
  print("\n\tFile written.\n");
  color(WHITE);
  print("\n\n\t>>> Press enter to continue <<<\n");
  std::fflush(stdout);
  wait_for_enter();

  platform_clear_console();
  if (report != nullptr) std::fclose(report);
  platform_open_in_viewer(kReportName);
  return 0;
}
