#include "run/log_job.h"

#include <cstdio>

#include "console/console.h"
#include "log/line_reader.h"
#include "platform/platform.h"
#include "run/run_messages.h"
#include "search/fold.h"

namespace {

std::string folded_term(pass_kind kind, std::string term) {
  if (kind == pass_kind::upper)
    lower_upper(term);
  else
    upper_lower(term);
  return term;
}

// The sections whose term and match are the same are served by one search
// of it: a term without letters is looked for once.
std::vector<std::vector<std::size_t>> same_terms(
    const std::vector<report_section>& sections) {
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t s = 0; s < sections.size(); ++s) {
    std::size_t g = 0;
    while (g < groups.size() &&
           (sections[groups[g][0]].term != sections[s].term ||
            sections[groups[g][0]].match != sections[s].match))
      ++g;
    if (g == groups.size()) groups.emplace_back();
    groups[g].push_back(s);
  }
  return groups;
}

}  // anonymous namespace

std::vector<report_section> report_sections(const std::string& term,
                                            bool mixed_case) {
  std::vector<report_section> sections{
      {pass_kind::upper, folded_term(pass_kind::upper, term)},
      {pass_kind::lower, folded_term(pass_kind::lower, term)}};
  // A term without letters has no mixed-case form: its section stays empty.
  if (mixed_case)
    sections.push_back({pass_kind::mixed, term, term_match::mixed_case,
                        sections[0].term != sections[1].term});
  return sections;
}

void search_job(log_job& job, const std::vector<report_section>& sections,
                const hit_sink* live, const stop_check& stop) {
  job.held.resize(sections.size());
  if (job.log.file == nullptr && !reopen_log(job.log, &job.read.error)) {
    job.read.end = search_end::read_failed;
    return;
  }
  std::FILE* file = job.log.file;
  job.log.file = nullptr;  // the source closes it
  // Gone before the held hits come back: a huge line is then held once.
  line_reader reader(open_log_source(file, job.limit, &job.reading));
  // Once, as soon as it is known: a pipe in a format this build lacks.
  if (job.reading.refused != log_format::plain)
    std::fputs(unreadable_text(job.log.name, job.reading.refused).c_str(),
               stderr);
  // A regular file's hits are read again where they lie; a compressed
  // log's text is not in the file, so its lines are held themselves.
  std::FILE* again = job.limit != kNoLimit && !job.reading.compressed
                         ? platform_duplicate_file(file)
                         : nullptr;
  for (held_hits& held : job.held) {
    held.log = again;
    held.memory_limit = job.held_limit;
  }
  if (!job.last) reader.drop_empty_last_line();
  const auto hand = [&](std::size_t s, std::string_view line, std::int64_t n) {
    if (s == 0 && live != nullptr) return (*live)(line, n);
    hold_hit(job.held[s], line, reader.offset_of(line));
    return true;
  };
  std::vector<term_sink> terms;
  for (const std::vector<std::size_t>& group : same_terms(sections)) {
    const report_section& section = sections[group[0]];
    if (!section.searched) continue;
    terms.push_back({section.term,
                     [&hand, group](std::string_view line, std::int64_t n) {
                       bool go_on = true;
                       for (std::size_t s : group)
                         go_on = hand(s, line, n) && go_on;
                       return go_on;
                     },
                     section.match});
  }
  job.read.end = search_terms(terms.data(), terms.size(), reader, stop);
  job.read.error = reader.read_error();
  job.read.damaged = job.reading.damaged;
  job.read.lines = job.reading.lines;
  job.read.refused = job.reading.refused;
}

void release_job(log_job& job) {
  if (job.log.file != nullptr) std::fclose(job.log.file);
  job.log.file = nullptr;
  if (job.held.empty()) return;
  std::FILE* again = job.held[0].log;
  for (held_hits& held : job.held) drop_hits(held);
  if (again != nullptr) std::fclose(again);
  job.held.clear();
}

bool cut_short(const read_end& read) {
  return read.end == search_end::line_too_long ||
         read.end == search_end::read_failed;
}

void print_incomplete(const read_end& read, const std::string& name,
                      bool named) {
  // A refused pipe was named on standard error when its read began.
  if (read.refused != log_format::plain) return;
  const std::string log = named ? "the log " + name : "the log";
  if (read.end == search_end::line_too_long) {
    color(RED);
    print("\tA line of " + log + " is too long for the memory left; the rest "
          "of the log was not searched.\n");
  } else if (read.end == search_end::read_failed && read.damaged) {
    print_compressed_log_damaged(read.lines, named ? name : "");
  } else if (read.end == search_end::read_failed) {
    color(RED);
    print("\tT" + log.substr(1) + " could not be read to its end: " +
          platform_error_text(read.error) + ".\n");
  }
}
