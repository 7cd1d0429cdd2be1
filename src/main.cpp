// Entry and the order of one run: switches, socket library, banner, prompts,
// the one read of each log, the report, and handing it to the viewer.

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/run_messages.h"
#include "console/startup.h"
#include "log/log_format.h"
#include "output/name_pipeline.h"
#include "platform/platform.h"
#include "report/report.h"
#include "run/log_set.h"
#include "run/search_logs.h"
#include "settings/command_line.h"
#include "settings/prompts.h"
#include "settings/run_settings.h"
#include "settings/usage.h"

namespace {

// Exit status of a run that did not write its report completely.
constexpr int kRunFailed = 1;

// What the engine is asked: -f's log (or the one prompted for) first.
search_options options_of(const run_settings& settings) {
  search_options options;
  options.term = settings.term;
  options.logs.push_back(settings.log_name);
  options.logs.insert(options.logs.end(), settings.more_logs.begin(),
                      settings.more_logs.end());
  options.mixed_case = settings.mixed_case;
  return options;
}

// 0, or the errno value of a close that failed: the last of the report
// may reach the disk only then (NFS, quotas).
int close_report(std::FILE* report) {
  errno = 0;
  if (report == nullptr || std::fclose(report) == 0) return 0;
  return errno != 0 ? errno : EIO;
}

// A stopped run ends by its signal once the report, whole up to the stop,
// is closed; the console says it was cut short.
void stop_if_asked(std::FILE* report) {
  if (!platform_stop_requested()) return;
  if (report != nullptr) print_cut_short();
  if (const int error = close_report(report))
    print_report_not_written(error);
  platform_release_stop_signals();
}

// A later stop request ends the run at once: no line of the report is
// begun after it, and the console says the run was cut short.
void say_stopped_at_once() {
  end_report_lines();
  print_cut_short();
}

// Another run is writing the same report: it is left to that run.
int end_report_busy(const std::string& name) {
  print_report_busy(name);
  platform_release_stop_signals();
  return kRunFailed;
}

// Memory exhausted anywhere in the search ends the run here rather than
// aborting it: false, and the report keeps what was written.
bool search_in_memory(const search_options& options, std::FILE* report,
                      name_pipeline& names, search_result* searched) {
  try {
    *searched = search_logs(options, report, names);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

int end_out_of_memory(std::FILE* report) {
  // What the search let go of leaves room for the foot, as a stopped run
  // gets it: the page ends whole after the last hit written.
  try {
    write_foot(report);
  } catch (const std::bad_alloc&) {
  }
  platform_release_stop_signals();
  print_out_of_memory();
  close_report(report);
  return kRunFailed;
}

int end_unwritten(std::FILE* report, int error) {
  platform_release_stop_signals();
  print_report_not_written(error);
  close_report(report);
  return kRunFailed;
}

}  // anonymous namespace

int main(int argc, char** argv) {
  platform_fill_standard_streams();
  platform_guard_console();
  // Names and the term are UTF-8 from here on, on Windows too.
  const std::vector<std::string> arguments = platform_arguments(argc, argv);
  std::vector<const char*> args;
  for (const std::string& argument : arguments)
    args.push_back(argument.c_str());
  run_settings settings;
  std::vector<std::string> unknown;
  const info_request asked = parse_switches(static_cast<int>(args.size()),
                                            args.data(), settings, unknown);
  print_unknown_switches(unknown);
  // --help and --version answer and end the run: no banner, no report.
  if (asked != info_request::none) {
    print(info_text(asked, readable_formats()));
    return 0;
  }
  if (!start_socket_library(platform_start_sockets)) return kSocketStartFailure;

  print_banner();
  if (!complete_settings(settings)) {
    print_no_answer();
    return kRunFailed;
  }
  color(GREY);
  const search_options options = options_of(settings);
  if (names_report(options.logs)) {
    print_log_is_report();
    return kRunFailed;
  }

  platform_catch_stop_signals(say_stopped_at_once);
  platform_allow_many_open_files();
  platform_return_large_buffers();
  report_open opening = report_open::opened;
  std::FILE* report = platform_open_report(kReportName, &opening);
  if (opening == report_open::busy) return end_report_busy(kReportName);
  print_progress();
  if (const int error =
          write_head(report, settings.term, names_as_given(options.logs)))
    return end_unwritten(report, error);
  auto names = std::make_unique<name_pipeline>(report, settings.trim);
  search_result searched;
  const bool in_memory = search_in_memory(options, report, *names, &searched);
  names.reset();
  if (!in_memory) return end_out_of_memory(report);
  platform_stop_sockets();
  if (!searched.log_opened && !platform_stop_requested()) {
    print_unable_to_open();
    close_report(report);
    platform_release_stop_signals();
    return kRunFailed;
  }
  int error = searched.write_error;
  if (error == 0) error = write_foot(report);
  if (error != 0) return end_unwritten(report, error);
  stop_if_asked(report);
  platform_release_stop_signals();
  // A report that was never created is not "written": no wait, no viewer.
  if (report == nullptr) {
    print_report_not_created();
    return kRunFailed;
  }

  // Closed before it is said to be written: a close can fail too.
  if (const int closing = close_report(report)) {
    print_report_not_written(closing);
    return kRunFailed;
  }
  print_file_written();
  std::fflush(stdout);
  wait_for_enter();
  // An Enter from a pipe is a script's: what the run showed stays.
  if (platform_stdin_is_terminal()) platform_clear_console();
  // The report was written whether or not it can be shown: the status
  // stays as it is, and the console says where the report is.
  if (!platform_open_in_viewer(kReportName))
    print_no_viewer(platform_absolute_path(kReportName));
  return searched.whole ? 0 : kRunFailed;
}
