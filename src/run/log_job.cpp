#include "run/log_job.h"

#include <cstdio>

#include "console/run_messages.h"
#include "log/line_reader.h"
#include "platform/platform.h"
#include "run/window_gate.h"

namespace {

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

constexpr std::size_t kFirstRead = std::size_t{16} << 10;

// The first bytes of the log, for a gzip header's time: a file left open
// is read at its start without moving its position.
std::string first_bytes(const log_job& job, std::FILE* file) {
  if (job.log.read_whole) return job.log.bytes.substr(0, 8);
  std::string bytes(8, '\0');
  int error = 0;
  const std::ptrdiff_t got =
      job.log.regular && file != nullptr
          ? platform_read_at(file, &bytes[0], bytes.size(), 0, &error)
          : 0;
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

// The search of one log, through the window when the run has one.
search_end search_log(log_job& job, std::vector<term_sink>& terms,
                      line_reader& reader, const stop_check& stop,
                      window_gate* gate) {
  if (gate == nullptr)
    return search_terms(terms.data(), terms.size(), reader, stop);
  bool asked = false;
  const stop_check stop_or_past = [&] {
    asked = stop();
    return asked || gate->ended;
  };
  const lines_seen seen = [gate](std::string_view run) {
    gate_lines(*gate, run);
  };
  search_end end = search_terms(terms.data(), terms.size(), reader,
                                stop_or_past, &seen);
  // Past the window is as good as the log's end.
  if (end == search_end::stopped && !asked && gate->ended)
    end = search_end::log_ended;
  // An empty log (the live one just rotated) holds no times to speak of.
  if (end == search_end::log_ended)
    job.no_times = gate_finish(*gate) && reader.bytes_read() != 0;
  return end;
}

}  // anonymous namespace

void search_job(log_job& job, const std::vector<report_section>& sections,
                hit_store& store, const hit_sink* live,
                const stop_check& stop) {
  if (job.log.file == nullptr && !job.log.read_whole) {
    const reopened got = reopen_log(job.log, &job.read.error);
    job.read.gone = got == reopened::gone;
    if (got != reopened::ok) {
      job.read.end = search_end::read_failed;
      return;
    }
  }
  std::FILE* file = job.log.file;
  job.log.file = nullptr;  // the source closes it
  const bool windowed = job.window != nullptr && job.window->set();
  std::int64_t last_write = 0;
  if (windowed)
    last_write = last_write_of(first_bytes(job, file), job.log.written,
                               job.run_started);
  job.reading.named = format_by_name(job.log.name);
  // A log whose first lines lie past the window is not read; the window's
  // start is looked for in the log, where its format lets reading start
  // late.
  const start_probe probe = windowed
                                ? window_start_probe(*job.window, last_write)
                                : start_probe();
  line_reader reader(
      job.log.read_whole
          ? open_log_bytes(std::move(job.log.bytes), &job.reading)
          : open_log_source(file, job.limit, &job.reading,
                            probe ? &probe : nullptr),
      chunk_for(job.limit));
  // Once, as soon as it is known: a pipe in a format this build lacks.
  if (job.reading.refused != log_format::plain)
    platform_write_text(stderr,
                        unreadable_text(job.log.name, job.reading.refused));
  if (!job.last) reader.drop_empty_last_line();
  // A log whose first line is past the window is closed after it.
  if (windowed) reader.start_small(kFirstRead);
  // The lines themselves are held, so the log is not needed again: its
  // descriptor goes with the reader, and a log rotated away meanwhile
  // still gives its hits as they were read.
  const section_hand keep = [&](std::size_t s, std::string_view line,
                                std::int64_t n) {
    if (s == 0 && live != nullptr) return (*live)(line, n);
    hold_line(store, *job.held[s], line);
    return true;
  };
  window_gate gate;
  gate.window = job.window;
  gate.store = &store;
  gate.hand = keep;
  gate.times.stamps.last_write = last_write;
  const auto hand = [&](std::size_t s, std::string_view line, std::int64_t n) {
    return windowed ? gate_hit(gate, s, line, n) : keep(s, line, n);
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
                     section.match, section.whole_word});
  }
  job.read.end =
      search_log(job, terms, reader, stop, windowed ? &gate : nullptr);
  job.read.error = reader.read_error();
  job.read.damaged = job.reading.damaged;
  job.read.window = job.reading.window;
  job.read.lines = job.reading.lines;
  job.read.started_late = job.reading.started_late;
  job.read.refused = job.reading.refused;
  job.read.shrunk = job.reading.shrunk;
  job.read.read_to = job.reading.file_bytes;
  for (held_tape* tape : job.held) seal_tape(store, *tape);
}

void release_job(log_job& job, hit_store& store) {
  if (job.log.file != nullptr) std::fclose(job.log.file);
  job.log.file = nullptr;
  for (held_tape* tape : job.held) drop_tape(store, *tape);
}

bool cut_short(const read_end& read) {
  return read.end == search_end::line_too_long ||
         read.end == search_end::read_failed || read.shrunk;
}

std::string print_incomplete(const read_end& read, const std::string& name,
                             bool named) {
  // A refused pipe was named on standard error when its read began.
  if (read.refused != log_format::plain) {
    const std::string said = unreadable_text(name, read.refused);
    return said.substr(0, said.size() - 1);
  }
  if (!cut_short(read)) return "";
  const std::string log = named ? "the log " + name : "the log";
  if (read.gone) return print_log_gone(name);
  if (read.shrunk) return print_log_shrunk(name, read.read_to);
  if (read.end == search_end::line_too_long) return print_line_too_long(log);
  if (read.end == search_end::read_failed && read.damaged)
    return print_compressed_log_damaged(read.lines, named ? name : "",
                                        read.started_late);
  if (read.end == search_end::read_failed && read.window != 0)
    return print_compressed_log_too_large(read.lines, read.window,
                                          named ? name : "", read.started_late);
  return print_log_unreadable(log, read.error);
}
