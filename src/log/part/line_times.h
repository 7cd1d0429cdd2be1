#pragma once
// The time of each line of a log as it is searched: the stamp it begins
// with, or, for a line without one, that of the last dated line before it.
// Told each run of lines before it is searched (search's lines_seen), it
// answers for any line of the run last told, looking back only as far as
// it must.

#include <cstdint>
#include <string_view>

#include "time/stamp.h"

struct line_times {
  stamp_reader stamps;  // its last_write set by the caller
  std::string_view run;  // the lines told last
  bool have_carried = false;
  std::int64_t carried = 0;  // the last dated line's before the run
  bool have_first = false;
  std::int64_t first = 0;  // the log's first dated line's
  bool have_latest = false;
  std::int64_t latest = 0;  // the last dated line's of the run, if any
  // The last line looked up in the run, and the time it had: a later line
  // looks back only to it.
  const char* known_at = nullptr;
  std::int64_t known_time = 0;
};

/// Takes the next run of lines: the run before it is done with.
void see_lines(line_times& times, std::string_view run);

/// The time of a line inside the run told last (a view of its bytes); false
/// while no dated line has come at or before it.
bool time_of(line_times& times, std::string_view line, std::int64_t* time);
