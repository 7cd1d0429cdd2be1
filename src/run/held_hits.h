#pragma once
// One section's hits of one log, held from the log's one read until that
// section is written. A regular file's hits are held as where they lie and
// read again then; a pipe's or a compressed log's, which cannot be read
// again, as the lines themselves. Either way they stay in memory up to a
// limit and go on in a temporary file beyond it, so memory stays bounded
// whatever the number of hits.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "search/search_pass.h"

struct held_hits {
  std::FILE* log = nullptr;  // set: a regular file, read again by offset
  std::size_t memory_limit = std::size_t{64} << 20;
  std::string records;       // held in memory, or waiting to be spilled
  std::FILE* spill = nullptr;  // the temporary file, once past the limit
  bool no_spill = false;       // it could not be made: all stay in memory
  int error = 0;  // errno value of a failed spill or read; hits were lost
  std::string window;          // log bytes read back, from window_at on
  std::uint64_t window_at = 0;
};

/// Holds one hit: the line, found at offset in the log.
void hold_hit(held_hits& held, std::string_view line, std::uint64_t offset);

/// Hands the held hits to sink in log order, numbered from 1, and lets go
/// of the temporary file. Ends early when the sink or the stop check says
/// so, or when a held hit cannot be read back (held.error).
void replay_hits(held_hits& held, const hit_sink& sink, const stop_check& stop);

/// Lets go of the temporary file without handing anything over.
void drop_hits(held_hits& held);
