// Entry and the order of one run: switches, socket library, banner, prompts,
// the one read of each log, the report, and handing it to the viewer.

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <utility>
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
#include "settings/window_setting.h"

namespace {

// Exit status of a run that did not write its report completely.
constexpr int kRunFailed = 1;

// What the engine is asked: -f's log (or the one prompted for) first.
search_options options_of(const run_settings& settings,
                          const window_setting& window, std::int64_t now) {
  search_options options;
  options.window = window.window;
  options.started = now;
  options.term = settings.term;
  options.logs.push_back(settings.log_name);
  options.logs.insert(options.logs.end(), settings.more_logs.begin(),
                      settings.more_logs.end());
  options.mixed_case = settings.mixed_case;
  options.whole_words = settings.whole_words;
  options.report_name = settings.report_name;
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
void stop_if_asked(std::FILE* report, const std::string& name) {
  if (!platform_stop_requested()) return;
  if (report != nullptr) print_cut_short(name);
  if (const int error = close_report(report))
    print_report_not_written(name, error);
  platform_release_stop_signals();
}

// A later stop request ends the run at once: no line of the report is
// begun after it, and the console says the run was cut short.
// The report's name as a stop at once says it.
std::string stopped_report_name;

void say_stopped_at_once() {
  end_report_lines();
  print_cut_short(stopped_report_name);
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

int end_unwritten(std::FILE* report, const std::string& name, int error) {
  platform_release_stop_signals();
  print_report_not_written(name, error);
  close_report(report);
  return kRunFailed;
}

// A window that cannot be kept ends the run before it starts.
bool window_usable(const window_setting& window) {
  if (!window.understood) print_time_not_understood(window.value);
  if (window.inverted) print_window_inverted();
  return window.understood && !window.inverted;
}

void print_logs_without_times(const search_result& searched) {
  for (const std::string& name : searched.without_times)
    print_log_without_times(name);
}

// The report says what the console said the run lacks, and a stop, before
// its foot: the report is what gets handed on, the console is cleared.
int write_lacking(std::FILE* report, std::vector<std::string> lacking,
                  const std::string& name) {
  if (platform_stop_requested()) lacking.push_back(cut_short_text(name));
  for (const std::string& text : lacking)
    if (const int error = write_lack(report, text)) return error;
  return 0;
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
  const std::int64_t now = std::time(nullptr);
  const window_setting window = read_window(settings, now);
  if (!window_usable(window)) return kRunFailed;
  const std::string since = window.window.set() ? since_text(window.window) : "";
  const std::string until = window.window.set() ? until_text(window.window) : "";
  if (!start_socket_library(platform_start_sockets)) return kSocketStartFailure;

  const std::string& report_name = settings.report_name;
  print_banner(report_name);
  if (!complete_settings(settings)) {
    print_no_answer();
    return kRunFailed;
  }
  color(GREY);
  const search_options options = options_of(settings, window, now);
  if (names_report(options.logs, report_name)) {
    print_log_is_report();
    return kRunFailed;
  }

  stopped_report_name = report_name;
  platform_catch_stop_signals(say_stopped_at_once);
  platform_allow_many_open_files();
  platform_return_large_buffers();
  report_open opening = report_open::opened;
  std::FILE* report = platform_open_report(report_name, &opening);
  if (opening == report_open::busy) return end_report_busy(report_name);
  // Hits with nowhere to go are not searched for: said once, up front.
  if (report == nullptr) {
    platform_release_stop_signals();
    print_report_not_created(report_name);
    return kRunFailed;
  }
  print_progress(report_name);
  if (window.window.set()) print_time_window(since, until);
  if (const int error = write_head(report, settings.term,
                                   names_as_given(options.logs),
                                   {since, until}))
    return end_unwritten(report, report_name, error);
  auto names = std::make_unique<name_pipeline>(report, settings.trim);
  search_result searched;
  const bool in_memory = search_in_memory(options, report, *names, &searched);
  names.reset();
  if (!in_memory) return end_out_of_memory(report);
  platform_stop_sockets();
  print_logs_without_times(searched);
  if (!searched.log_opened && !platform_stop_requested()) {
    print_unable_to_open();
    close_report(report);
    platform_release_stop_signals();
    return kRunFailed;
  }
  int error = searched.write_error;
  if (error == 0)
    error = write_lacking(report, std::move(searched.lacking), report_name);
  if (error == 0) error = write_foot(report);
  if (error != 0) return end_unwritten(report, report_name, error);
  stop_if_asked(report, report_name);
  platform_release_stop_signals();

  // Closed before it is said to be written: a close can fail too.
  if (const int closing = close_report(report)) {
    print_report_not_written(report_name, closing);
    return kRunFailed;
  }
  print_file_written();
  std::fflush(stdout);
  wait_for_enter();
  // An Enter from a pipe is a script's: what the run showed stays.
  if (platform_stdin_is_terminal()) platform_clear_console();
  // The report was written whether or not it can be shown: the status
  // stays as it is, and the console says where the report is.
  if (!platform_open_in_viewer(report_name.c_str()))
    print_no_viewer(platform_absolute_path(report_name.c_str()));
  return searched.whole ? 0 : kRunFailed;
}
