#include "search/search_pass.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "search/find.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

struct term_state {
  const term_sink& target;
  std::int64_t count = 0;
};

// The terms one scan of a block looks for: one term, or two case twins,
// whose places a single vector scan finds at once.
struct scan_group {
  term_state* first;
  term_state* twin = nullptr;
};

struct search_state {
  std::vector<term_state> terms;
  std::vector<scan_group> groups;  // how the block path scans for them
  const stop_check& stop;
  bool quit = false;  // a sink or the stop check ended the search
};

// The stop check is asked between blocks (and lines), not after each hit:
// it is dearer than a hit in a log full of them.
void hand_over(search_state& s, term_state& t, std::string_view line) {
  if (!t.target.sink(line, ++t.count)) s.quit = true;
}

// The fast path only holds when a hit can never straddle a line end or the
// cut at 0x1A; every other term goes line by line.
bool fits_fast_path(std::string_view term) {
  return !term.empty() && term.find_first_of("\n\r\x1a") == kNone;
}

// Where one term's scan of a block stopped at the end-of-log byte: the
// start of its line and the byte itself.
struct end_mark {
  std::size_t line_start = kNone;
  std::size_t at = kNone;
};

std::size_t next_place(const scan_group& g, std::string_view block,
                       std::size_t from) {
  const std::string_view term = g.first->target.term;
  if (g.twin == nullptr)
    return find_term_or_mark(block, term, from, kEndOfFile);
  return find_twins_or_mark(block, term, g.twin->target.term, from,
                            kEndOfFile);
}

// Searches the complete lines of a block as one text and widens each hit
// to its line, so lines without a hit are never looked at one by one; the
// line goes to the sink of each term of the group it holds. The same scan
// finds 0x1A, which ends the log; the line it is on is left for the last
// line. The scan ends there, or at the block's end, or when the search is
// to stop.
end_mark scan_block(search_state& s, const scan_group& g,
                    std::string_view block) {
  const std::size_t n = g.first->target.term.size();
  for (std::size_t from = 0; !s.quit;) {
    const std::size_t at = next_place(g, block, from);
    if (at == kNone) break;
    const std::size_t before = block.rfind('\n', at);
    const std::size_t start =
        (before == kNone || before < from) ? from : before + 1;
    const std::size_t stop = block.find('\n', at) + 1;
    const std::size_t after = block[at] == kEndOfFile ? at : at + n;
    const std::size_t quit = block.substr(0, stop).find(kEndOfFile, after);
    if (quit != kNone) return {start, quit};
    const std::string_view line = strip_cr(block.substr(start, stop - start));
    // Nothing of the group lies before at; a twin may come after it.
    const std::string_view rest = line.substr(at - start);
    for (term_state* t : {g.first, g.twin}) {
      if (t != nullptr && !s.quit && find_term(rest, t->target.term, 0) != kNone)
        hand_over(s, *t, line);
    }
    from = stop;
  }
  return {};
}

// Every term's scan of the complete lines held; false when the search ends
// in this block. The first term's scan finds any 0x1A, so the others need
// only look as far as its line.
bool scan_lines(search_state& s, line_reader& log) {
  std::string_view block = log.lines();
  end_mark mark;
  for (const scan_group& g : s.groups) {
    const end_mark found = scan_block(s, g, block);
    if (found.at != kNone) {
      mark = found;
      block = block.substr(0, found.line_start);
    }
  }
  if (mark.at != kNone) {
    log.consume(mark.line_start);
    log.end_at(mark.at - mark.line_start);
    return false;
  }
  log.consume(block.size());
  return !s.quit;
}

void search_blocks(search_state& s, line_reader& log) {
  while (log.fill()) {
    if (!scan_lines(s, log) || s.stop()) break;
  }
  std::string_view last;
  if (s.quit || s.stop() || !log.last_line(&last)) return;
  for (term_state& t : s.terms) {
    if (!s.quit && find_term(last, t.target.term, 0) != kNone)
      hand_over(s, t, last);
  }
}

void search_lines(search_state& s, line_reader& log) {
  std::string_view line;
  while (!s.quit && !s.stop() && log.next_line(&line)) {
    for (term_state& t : s.terms) {
      if (!s.quit && find_term(line, t.target.term, 0) != kNone)
        hand_over(s, t, line);
    }
  }
}

search_end run_search(const term_sink* terms, std::size_t count,
                      line_reader& log, const stop_check& stop, bool by_line) {
  search_state s{{}, {}, stop};
  for (std::size_t i = 0; i < count; ++i) s.terms.push_back({terms[i]});
  if (count == 2 && are_case_twins(terms[0].term, terms[1].term))
    s.groups.push_back({&s.terms[0], &s.terms[1]});
  else
    for (term_state& t : s.terms) s.groups.push_back({&t});
  const bool fast = std::all_of(terms, terms + count, [](const term_sink& t) {
    return fits_fast_path(t.term);
  });
  if (!by_line && fast)
    search_blocks(s, log);
  else
    search_lines(s, log);
  if (s.quit || stop()) return search_end::stopped;
  if (log.line_too_long()) return search_end::line_too_long;
  if (log.read_error() != 0) return search_end::read_failed;
  return search_end::log_ended;
}

}  // anonymous namespace

search_end search_pass(std::string_view term, line_reader& log,
                       const hit_sink& sink, const stop_check& stop) {
  const term_sink one{term, sink};
  return run_search(&one, 1, log, stop, false);
}

search_end search_terms(const term_sink* terms, std::size_t count,
                        line_reader& log, const stop_check& stop) {
  return run_search(terms, count, log, stop, false);
}

search_end search_terms_by_line(const term_sink* terms, std::size_t count,
                                line_reader& log, const stop_check& stop) {
  return run_search(terms, count, log, stop, true);
}
