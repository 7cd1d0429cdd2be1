#pragma once
// A progress line for a long pass: how far the log has been read and how
// fast, shown on a terminal once the pass has run for a second, so a rare
// term on a slow disk does not look like a hung program.

#include <chrono>
#include <cstdint>

struct read_progress {
  std::uint64_t total = 0;  // bytes the log holds; 0 when unknown
  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point shown;  // last update
};

/// Starts timing a pass over a log of total bytes (0: unknown).
read_progress start_progress(std::uint64_t total);

/// Shows how far the pass has got, a few times a second at most.
void update_progress(read_progress& progress, std::uint64_t bytes_read);

/// Erases the line, as the pass ends.
void end_progress();
