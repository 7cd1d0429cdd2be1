#include "run/log_pass.h"

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "console/console.h"
#include "platform/platform.h"
#include "report/report.h"
#include "run/held_hits.h"
#include "run/hit_writer.h"
#include "run/name_pipeline.h"
#include "run/progress.h"
#include "run/run_messages.h"
#include "search/fold.h"
#include "log/line_reader.h"
#include "log/log_source.h"
#include "search/search_pass.h"

namespace {

enum class pass_kind { upper, lower, mixed };

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

void print_start(pass_kind kind) {
  color(WHITE);
  print(kind == pass_kind::upper   ? "\tSearching UpperCase...\n"
        : kind == pass_kind::lower ? "\tSearching LowerCase...\n"
                                   : "\tSearching MixedCase...\n");
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

namespace {

// How the one read ended: both sections come from it, so each says at its
// end what was not searched.
struct read_end {
  search_end end = search_end::log_ended;
  int error = 0;              // errno value of a failed read
  bool damaged = false;       // a compressed log's data broke off
  std::uint64_t lines = 0;    // and the complete lines before that
};

void print_incomplete(const read_end& read) {
  if (read.end == search_end::line_too_long) {
    color(RED);
    print("\tA line of the log is too long for the memory left; the rest of "
          "the log was not searched.\n");
  } else if (read.end == search_end::read_failed && read.damaged) {
    print_compressed_log_damaged(read.lines);
  } else if (read.end == search_end::read_failed) {
    color(RED);
    print("\tThe log could not be read to its end: " +
          platform_error_text(read.error) + ".\n");
  }
}

// Every hit of a section is in the report once this returns, or the first
// write that failed is in writer.write_error.
void finish_section(hit_writer& writer, name_pipeline* names) {
  if (names != nullptr && writer.write_error == 0)
    writer.write_error = drain_hits(*names);
}

hit_writer writer_for(const run_settings& settings, std::FILE* report,
                      name_pipeline* names) {
  hit_writer writer;
  writer.report = report;
  writer.trim = settings.trim;
  writer.names = names;
  return writer;
}

// A section's hits held until the sections before it are written.
hit_sink holder(held_hits& held, const line_reader& reader) {
  return [&held, &reader](std::string_view line, std::int64_t) {
    hold_hit(held, line, reader.offset_of(line));
    return true;
  };
}

// The read: upper-case hits are written as they are found, lower-case and
// mixed-case ones held. A term without letters is the same in both cases
// and is looked for once; it has no mixed-case form.
search_end read_log(const run_settings& settings, line_reader& reader,
                    const log_reading& reading, hit_writer& writer,
                    held_hits& held, held_hits& mixed_held,
                    name_pipeline* names, std::uint64_t size) {
  const std::string upper = folded_term(pass_kind::upper, settings.term);
  const std::string lower = folded_term(pass_kind::lower, settings.term);
  const hit_sink write = [&writer](std::string_view line, std::int64_t n) {
    return write_hit(writer, line, n);
  };
  const hit_sink hold = holder(held, reader);
  const hit_sink both = [&](std::string_view line, std::int64_t n) {
    return hold(line, n) && write(line, n);
  };
  read_progress progress = start_progress(size);
  const stop_check stop = [&progress, &reading, names] {
    update_progress(progress, reading.file_bytes);
    if (names != nullptr) write_ready_hits(*names);
    return platform_stop_requested();
  };
  std::vector<term_sink> terms{{upper, upper == lower ? both : write}};
  if (upper != lower) terms.push_back({lower, hold});
  if (upper != lower && settings.mixed_case)
    terms.push_back({settings.term, holder(mixed_held, reader),
                     term_match::mixed_case});
  const search_end end =
      search_terms(terms.data(), terms.size(), reader, stop);
  end_progress();
  return end;
}

// The lower-case or mixed-case section, from the hits held.
int write_held_section(pass_kind kind, const run_settings& settings,
                       std::FILE* report, held_hits& held,
                       name_pipeline* names) {
  const int error = kind == pass_kind::lower ? write_lower_heading(report)
                                             : write_mixed_heading(report);
  if (error != 0) return error;
  print_start(kind);
  hit_writer writer = writer_for(settings, report, names);
  replay_hits(held,
              [&writer](std::string_view line, std::int64_t n) {
                return write_hit(writer, line, n);
              },
              platform_stop_requested);
  finish_section(writer, names);
  return writer.write_error;
}

}  // anonymous namespace

search_result search_log(const run_settings& settings, std::FILE* report,
                         name_pipeline* names) {
  search_result result;
  std::FILE* log = open_log(settings.log_name);
  if (log == nullptr) {
    result.log_opened = false;
    return result;
  }
  const std::uint64_t limit = read_limit(settings.log_name);
  // The lower-case hits, then with -i the mixed-case ones.
  const pass_kind held_kinds[] = {pass_kind::lower, pass_kind::mixed};
  held_hits held[2];
  const std::size_t sections = settings.mixed_case ? 2 : 1;
  print_start(pass_kind::upper);
  hit_writer writer = writer_for(settings, report, names);
  read_end read;
  {
    // Gone before the held hits come back: a huge line is then held once.
    // The source closes the log.
    log_reading reading;
    line_reader reader(open_log_source(log, limit, &reading));
    // A regular file's hits are read again where they lie; a compressed
    // log's text is not in the file, so its lines are held themselves.
    if (limit != kNoLimit && !reading.compressed)
      for (std::size_t i = 0; i < sections; ++i)
        held[i].log = platform_duplicate_file(log);
    read.end = read_log(settings, reader, reading, writer, held[0], held[1],
                        names, limit == kNoLimit ? 0 : limit);
    read.error = reader.read_error();
    read.damaged = reading.damaged;
    read.lines = reading.lines;
  }
  finish_section(writer, names);
  print_incomplete(read);
  result.whole = read.end != search_end::line_too_long &&
                 read.end != search_end::read_failed;
  result.write_error = writer.write_error;
  for (std::size_t i = 0; i < sections; ++i) {
    if (result.write_error == 0 && !platform_stop_requested()) {
      result.write_error = write_held_section(held_kinds[i], settings, report,
                                              held[i], names);
      print_incomplete(read);
    }
    if (held[i].error != 0 && result.write_error == 0) {
      print_incomplete({search_end::read_failed, held[i].error, false, 0});
      result.whole = false;
    }
  }
  for (held_hits& h : held) {
    drop_hits(h);
    if (h.log != nullptr) std::fclose(h.log);
  }
  return result;
}
