#include "search/search_pass.h"

#include <cassert>
#include <string_view>

#include "search/find.h"

namespace {

struct search_state {
  std::string_view term;
  const hit_sink& sink;
  const stop_check& stop;
  std::int64_t count = 0;
  bool quit = false;  // the sink or the stop check ended the search
};

void hand_over(search_state& s, std::string_view line) {
  if (!s.sink(line, ++s.count) || s.stop()) s.quit = true;
}

// The fast path only holds when a hit can never straddle a line end or the
// cut at 0x1A; every other term goes line by line.
bool fits_fast_path(std::string_view term) {
  return !term.empty() && term.find_first_of("\n\r\x1a") == std::string_view::npos;
}

// Searches the complete lines held as one text and widens each hit to its
// line, so lines without a hit are never looked at one by one. The same
// scan finds 0x1A, which ends the log: the reader is told, and the line it
// is on becomes the last line. False when the search ends in this block.
bool scan_lines(search_state& s, line_reader& log) {
  const std::string_view block = log.lines();
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = find_term_or_mark(block, s.term, from, kEndOfFile);
    if (at == std::string_view::npos) {
      log.consume(block.size());
      return true;
    }
    const std::size_t before = block.rfind('\n', at);
    const std::size_t start =
        (before == std::string_view::npos || before < from) ? from : before + 1;
    const std::size_t stop = block.find('\n', at) + 1;
    const std::size_t after =
        block[at] == kEndOfFile ? at : at + s.term.size();
    const std::size_t quit = block.substr(0, stop).find(kEndOfFile, after);
    if (quit != std::string_view::npos) {
      log.consume(start);
      log.end_at(quit - start);
      return false;
    }
    const std::string_view line = strip_cr(block.substr(start, stop - start));
    assert(find_term(line, s.term, 0) != std::string_view::npos);
    hand_over(s, line);
    from = stop;
    if (s.quit) {
      log.consume(stop);
      return false;
    }
  }
}

void search_blocks(search_state& s, line_reader& log) {
  while (log.fill()) {
    if (!scan_lines(s, log) || s.stop()) break;
  }
}

void search_lines(search_state& s, line_reader& log) {
  std::string_view line;
  while (!s.quit && !s.stop() && log.next_line(&line)) {
    if (find_term(line, s.term, 0) != std::string_view::npos)
      hand_over(s, line);
  }
}

search_end run_search(std::string_view term, line_reader& log,
                      const hit_sink& sink, const stop_check& stop,
                      bool by_line) {
  search_state s{term, sink, stop};
  if (!by_line && fits_fast_path(term)) {
    search_blocks(s, log);
    std::string_view last;
    if (!s.quit && !stop() && log.last_line(&last) &&
        find_term(last, term, 0) != std::string_view::npos)
      hand_over(s, last);
  } else {
    search_lines(s, log);
  }
  if (s.quit || stop()) return search_end::stopped;
  if (log.line_too_long()) return search_end::line_too_long;
  if (log.read_error() != 0) return search_end::read_failed;
  return search_end::log_ended;
}

}  // anonymous namespace

search_end search_pass(std::string_view term, line_reader& log,
                       const hit_sink& sink, const stop_check& stop) {
  return run_search(term, log, sink, stop, false);
}

search_end search_pass_by_line(std::string_view term, line_reader& log,
                               const hit_sink& sink, const stop_check& stop) {
  return run_search(term, log, sink, stop, true);
}
