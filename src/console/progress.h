#pragma once
// A progress line for a long search: how far the log has been read and how
// fast, shown on a terminal once the search has run a second, so a rare
// term on a slow disk does not look like a hung program.

#include <chrono>
#include <cstddef>
#include <cstdint>

struct read_progress {
  std::uint64_t total = 0;  // bytes the log holds; 0 when unknown
  std::size_t log_number = 1;  // which log of how many the run searches
  std::size_t log_count = 1;
  std::size_t skipped = 0;  // logs the time window let the run leave unread
  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point shown;  // last update
};

/// Starts timing the search of a log of total bytes (0: unknown), the
/// log_number-th of log_count.
read_progress start_progress(std::uint64_t total, std::size_t log_number = 1,
                             std::size_t log_count = 1);

/// Shows how far the search has got, a few times a second at most.
void update_progress(read_progress& progress, std::uint64_t bytes_read);

/// Erases the line, as the search of the log ends.
void end_progress();
