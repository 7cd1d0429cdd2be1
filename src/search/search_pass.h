#pragma once
// Finding hits: the lines of a log that hold a term. What is done with a
// hit (announcing it, cleaning it, writing it) is the business of the sink
// it is handed to, so the search knows nothing of the console or the
// report.

#include <cstdint>
#include <functional>
#include <string_view>

#include "search/line_reader.h"

/// Takes one hit: the line without its line end, and the hit's number in
/// this search (1, 2, 3 ...). Returns false to end the search there.
using hit_sink = std::function<bool(std::string_view line, std::int64_t number)>;

/// Asked between hits and between reads: true ends the search there.
using stop_check = std::function<bool()>;

/// Why a search ended.
enum class search_end {
  log_ended,      // every line was looked at
  stopped,        // the stop check or the sink ended it
  line_too_long,  // a line did not fit in memory; the rest was not read
  read_failed,    // a read failed; the rest was not read (see read_error)
};

/// Hands every line of log that holds term (compared byte for byte) to
/// sink, in log order.
search_end search_pass(std::string_view term, line_reader& log,
                       const hit_sink& sink, const stop_check& stop);

/// The same search, taken line by line whatever the term. It finds exactly
/// what search_pass finds; the tests hold the block path against it.
search_end search_pass_by_line(std::string_view term, line_reader& log,
                               const hit_sink& sink, const stop_check& stop);
