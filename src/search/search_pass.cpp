#include "search/search_pass.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "search/find.h"
#include "search/fold.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

struct term_state {
  const term_sink& target;
  std::int64_t count = 0;
  std::string upper;  // a mixed-case match's term, folded each way
  std::string lower;
};

term_state state_of(const term_sink& target) {
  term_state t{target, 0, {}, {}};
  if (target.match == term_match::mixed_case) {
    t.upper = t.lower = std::string(target.term);
    lower_upper(t.upper);
    upper_lower(t.lower);
  }
  return t;
}

// Word bytes are ASCII's letters, digits and '_': a byte of 128 or more
// belongs to a character only the log's unknown encoding could class, and
// the terms looked for (ids, addresses) are ASCII.
bool is_word_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '_';
}

// True when the n bytes at `at` have no word byte right before or right
// after them; the text's edges are no word bytes.
bool stands_whole(std::string_view text, std::size_t at, std::size_t n) {
  return (at == 0 || !is_word_byte(text[at - 1])) &&
         (at + n >= text.size() || !is_word_byte(text[at + n]));
}

// True when find (a place of the n-byte term at or after a position) finds
// one from `from` on; with whole, one that stands whole.
template <typename Find>
bool found(std::string_view text, std::size_t n, std::size_t from, bool whole,
           const Find& find) {
  std::size_t at = find(from);
  while (whole && at != kNone && !stands_whole(text, at, n)) at = find(at + 1);
  return at != kNone;
}

bool holds_term(std::string_view text, std::string_view term,
                std::size_t from, bool whole) {
  return found(text, term.size(), from, whole, [&](std::size_t at) {
    return find_term(text, term, at);
  });
}

// True when text, from `from` on, holds the term as the term's match asks.
bool holds(const term_state& t, std::string_view text, std::size_t from) {
  const bool whole = t.target.whole_word;
  if (t.target.match == term_match::exact)
    return holds_term(text, t.target.term, from, whole);
  return found(text, t.upper.size(), from, whole,
               [&](std::size_t at) {
                 return find_any_case(text, t.upper, t.lower, at);
               }) &&
         !holds_term(text, t.upper, from, whole) &&
         !holds_term(text, t.lower, from, whole);
}

// The terms one scan of a block looks for: one term; two case twins, whose
// places a single vector scan finds at once; or those twins and the
// mixed-case match of the same term, all of whose places lie among those
// of the term in any case, so one scan finds them too.
struct scan_group {
  term_state* members[3] = {};
  const term_state* any_case = nullptr;  // the mixed-case member, if any
};

struct search_state {
  std::vector<term_state> terms;
  std::vector<scan_group> groups;  // how the block path scans for them
  const stop_check& stop;
  const lines_seen* seen = nullptr;
  bool quit = false;  // a sink or the stop check ended the search
};

void tell_seen(const search_state& s, std::string_view lines) {
  if (s.seen != nullptr) (*s.seen)(lines);
}

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
  if (g.any_case != nullptr)
    return find_any_case_or_mark(block, g.any_case->upper, g.any_case->lower,
                                 from, kEndOfFile);
  const std::string_view term = g.members[0]->target.term;
  if (g.members[1] == nullptr)
    return find_term_or_mark(block, term, from, kEndOfFile);
  return find_twins_or_mark(block, term, g.members[1]->target.term, from,
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
  const std::size_t n = g.members[0]->target.term.size();
  const bool whole = g.members[0]->target.whole_word;
  std::size_t line_from = 0;  // the first line not yet handed over
  for (std::size_t from = 0; !s.quit;) {
    const std::size_t at = next_place(g, block, from);
    if (at == kNone) break;
    // A place inside a word is passed over: a whole one may follow on the
    // same line. Line ends are no word bytes, so the block shows its edges.
    if (whole && block[at] != kEndOfFile && !stands_whole(block, at, n)) {
      from = at + 1;
      continue;
    }
    const std::size_t before = block.rfind('\n', at);
    const std::size_t start =
        (before == kNone || before < line_from) ? line_from : before + 1;
    const std::size_t stop = block.find('\n', at) + 1;
    const std::size_t after = block[at] == kEndOfFile ? at : at + n;
    const std::size_t quit = block.substr(0, stop).find(kEndOfFile, after);
    if (quit != kNone) return {start, quit};
    const std::string_view line = strip_cr(block.substr(start, stop - start));
    // Nothing of the group lies before at (but places inside words, with
    // -w); another member may come after.
    for (term_state* t : g.members) {
      if (t != nullptr && !s.quit && holds(*t, line, at - start))
        hand_over(s, *t, line);
    }
    from = line_from = stop;
  }
  return {};
}

// Every term's scan of the complete lines held; false when the search ends
// in this block. The first term's scan finds any 0x1A, so the others need
// only look as far as its line.
bool scan_lines(search_state& s, line_reader& log) {
  std::string_view block = log.lines();
  tell_seen(s, block);
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
  tell_seen(s, last);
  for (term_state& t : s.terms) {
    if (!s.quit && holds(t, last, 0)) hand_over(s, t, last);
  }
}

void search_lines(search_state& s, line_reader& log) {
  std::string_view line;
  while (!s.quit && !s.stop() && log.next_line(&line)) {
    tell_seen(s, line);
    for (term_state& t : s.terms) {
      if (!s.quit && holds(t, line, 0)) hand_over(s, t, line);
    }
  }
}

bool exact_twins(const term_state& a, const term_state& b) {
  return a.target.match == term_match::exact &&
         b.target.match == term_match::exact &&
         a.target.whole_word == b.target.whole_word &&
         are_case_twins(a.target.term, b.target.term);
}

// True when m is the mixed-case match of the term whose two forms are a
// and b.
bool is_mixed_of(const term_state& m, const term_state& a,
                 const term_state& b) {
  return m.target.match == term_match::mixed_case &&
         m.target.whole_word == a.target.whole_word &&
         ((m.upper == a.target.term && m.lower == b.target.term) ||
          (m.upper == b.target.term && m.lower == a.target.term));
}

// Twins at the head of the terms share a scan, and so does the mixed-case
// match after them when they are its two forms; any other term has its
// own.
std::vector<scan_group> scan_groups(std::vector<term_state>& terms) {
  std::vector<scan_group> groups;
  std::size_t i = 0;
  if (terms.size() >= 2 && exact_twins(terms[0], terms[1])) {
    scan_group g;
    g.members[0] = &terms[0];
    g.members[1] = &terms[1];
    i = 2;
    if (terms.size() >= 3 && is_mixed_of(terms[2], terms[0], terms[1])) {
      g.members[2] = &terms[2];
      g.any_case = &terms[2];
      i = 3;
    }
    groups.push_back(g);
  }
  for (; i < terms.size(); ++i) {
    scan_group g;
    g.members[0] = &terms[i];
    if (terms[i].target.match == term_match::mixed_case)
      g.any_case = &terms[i];
    groups.push_back(g);
  }
  return groups;
}

search_end run_search(const term_sink* terms, std::size_t count,
                      line_reader& log, const stop_check& stop,
                      const lines_seen* seen, bool by_line) {
  search_state s{{}, {}, stop, seen};
  s.terms.reserve(count);  // the groups point into it
  for (std::size_t i = 0; i < count; ++i) s.terms.push_back(state_of(terms[i]));
  s.groups = scan_groups(s.terms);
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
  return run_search(&one, 1, log, stop, nullptr, false);
}

search_end search_terms(const term_sink* terms, std::size_t count,
                        line_reader& log, const stop_check& stop,
                        const lines_seen* seen) {
  return run_search(terms, count, log, stop, seen, false);
}

search_end search_terms_by_line(const term_sink* terms, std::size_t count,
                                line_reader& log, const stop_check& stop,
                                const lines_seen* seen) {
  return run_search(terms, count, log, stop, seen, true);
}
