#include "run/log_pass.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "console/console.h"
#include "platform/platform.h"
#include "report/report.h"
#include "run/hit_writer.h"
#include "run/progress.h"
#include "run/name_pipeline.h"
#include "run/run_messages.h"
#include "search/fold.h"
#include "search/line_reader.h"
#include "search/log_source.h"
#include "search/search_pass.h"

namespace {

// A directory or a name with a NUL byte cannot be a log; the C library
// would open the one and cut the other short. Nor can the report: a name
// that led nowhere before the report was created may lead to it now.
std::FILE* open_log(const std::string& log_name) {
  if (log_name.empty() || log_name.find('\0') != std::string::npos)
    return nullptr;
  std::error_code ec;
  if (std::filesystem::is_directory(log_name, ec) || log_is_report(log_name))
    return nullptr;
  return std::fopen(log_name.c_str(), "rb");
}

// A log still being written to is searched as it stood when the pass
// opened it; reading on to its end might never end. Anything but a regular
// file with something in it (a pipe, a device, a file in /proc that shows
// no size) is read to its end.
std::uint64_t read_limit(const std::string& log_name) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(log_name, ec) || ec) return kNoLimit;
  const std::uintmax_t bytes = std::filesystem::file_size(log_name, ec);
  return ec || bytes == 0 ? kNoLimit : bytes;
}

void print_start(pass_kind kind) {
  color(WHITE);
  print(kind == pass_kind::upper ? "\tSearching UpperCase...\n"
                                 : "\tSearching LowerCase...\n");
  color(BRIGHTGREEN);
}

std::string folded_term(pass_kind kind, std::string term) {
  if (kind == pass_kind::upper)
    lower_upper(term);
  else
    upper_lower(term);
  return term;
}

}  // anonymous namespace

bool log_is_report(const std::string& log_name) {
  std::error_code ec;
  return std::filesystem::equivalent(log_name, kReportName, ec) && !ec;
}

pass_result run_pass(pass_kind kind, const run_settings& settings,
                     std::FILE* report, name_pipeline* names) {
  pass_result result;
  std::FILE* log = open_log(settings.log_name);
  if (log == nullptr && kind == pass_kind::upper) {
    result.log_opened = false;
    return result;
  }
  print_start(kind);
  const std::uint64_t limit =
      log == nullptr ? kNoLimit : read_limit(settings.log_name);
  log_reading reading;  // the source closes the log
  line_reader reader(open_log_source(log, limit, &reading));
  hit_writer writer;
  writer.report = report;
  writer.trim = settings.trim;
  read_progress progress = start_progress(limit == kNoLimit ? 0 : limit);
  writer.names = names;
  const search_end end = search_pass(
      folded_term(kind, settings.term), reader,
      [&writer](std::string_view line, std::int64_t number) {
        return write_hit(writer, line, number);
      },
      [&progress, &reading, names] {
        update_progress(progress, reading.file_bytes);
        if (names != nullptr) write_ready_hits(*names);
        return platform_stop_requested();
      });
  end_progress();
  if (names != nullptr && writer.write_error == 0)
    writer.write_error = drain_hits(*names);
  result.write_error = writer.write_error;
  result.whole = end != search_end::line_too_long &&
                 end != search_end::read_failed;
  if (end == search_end::line_too_long) {
    color(RED);
    print("\tA line of the log is too long for the memory left; the rest of "
          "the log was not searched.\n");
  } else if (end == search_end::read_failed && reading.damaged) {
    print_compressed_log_damaged(reading.lines);
  } else if (end == search_end::read_failed) {
    color(RED);
    print("\tThe log could not be read to its end: " +
          platform_error_text(reader.read_error()) + ".\n");
  }
  return result;
}
