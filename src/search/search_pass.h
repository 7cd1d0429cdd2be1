#pragma once
// search/: finding the term in a log's lines.
// Finding hits: the lines of a log that hold a term. What is done with a
// hit (announcing it, cleaning it, writing it) is the business of the sink
// it is handed to, so the search knows nothing of the console or the
// report.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "log/line_reader.h"

/// Takes one hit: the line without its line end, and the hit's number in
/// this search (1, 2, 3 ...). Returns false to end the search there.
using hit_sink = std::function<bool(std::string_view line, std::int64_t number)>;

/// Asked between blocks of lines: true ends the search there.
using stop_check = std::function<bool()>;

/// Told every run of lines before it is searched, in log order: each block
/// of complete lines (each with its LF) on the block path, each line
/// (without its line end) on the line path, and the last line; a hit
/// handed on is always inside the run told last.
using lines_seen = std::function<void(std::string_view lines)>;

/// Which lines hold a term.
enum class term_match {
  exact,       // the term byte for byte
  mixed_case,  // the term with ASCII letter case ignored, but neither its
               // upper-case nor its lower-case form
};

/// A term and where its hits go.
struct term_sink {
  std::string_view term;
  hit_sink sink;
  term_match match = term_match::exact;
  // -w: only an occurrence with no word byte (ASCII letter, digit, '_')
  // right before it or right after it counts; a line holding one is a hit
  // however many others sit inside words.
  bool whole_word = false;
};

/// Why a search ended.
enum class search_end {
  log_ended,      // every line was looked at
  stopped,        // the stop check or a sink ended it
  line_too_long,  // a line did not fit in memory; the rest was not read
  read_failed,    // a read failed; the rest was not read (see read_error)
};

/// Hands every line of log that holds term (compared byte for byte) to
/// sink, in log order.
search_end search_pass(std::string_view term, line_reader& log,
                       const hit_sink& sink, const stop_check& stop);

/// Reads the log once and looks in it for each of the terms (one or more),
/// handing each term's hits to its own sink in log order: what separate
/// searches of the same bytes would give each sink. A term's upper- and
/// lower-case forms, and its mixed-case match after them, take one scan
/// when given in that order. With `seen`, every run of lines goes to it
/// before it is searched.
search_end search_terms(const term_sink* terms, std::size_t count,
                        line_reader& log, const stop_check& stop,
                        const lines_seen* seen = nullptr);

/// The same search, taken line by line whatever the terms. It finds exactly
/// what search_terms finds; the tests hold the block path against it.
search_end search_terms_by_line(const term_sink* terms, std::size_t count,
                                line_reader& log, const stop_check& stop,
                                const lines_seen* seen = nullptr);
