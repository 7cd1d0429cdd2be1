#pragma once
// One log's part of the run: the one read of it, on whichever thread
// searches it, with each section's hits written as found (the first
// section's, when the log is the one being written) or held until that
// section is written.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "log/byte_source.h"
#include "log/log_source.h"
#include "store/hit_store.h"
#include "run/log_set.h"
#include "run/sections.h"
#include "search/search_pass.h"
#include "time/window.h"

/// How the one read ended: every section comes from it, so each says at its
/// end what was not searched.
struct read_end {
  search_end end = search_end::log_ended;
  int error = 0;              // errno value of a failed read
  bool damaged = false;       // a compressed log's data broke off
  std::uint64_t window = 0;   // or asked for a window past what we allow
  std::uint64_t lines = 0;    // and the complete lines before that,
  bool started_late = false;  // from where the time window let reading start
  log_format refused = log_format::plain;  // a pipe this build cannot read
  bool gone = false;  // moved or removed before its turn: nothing searched
  bool shrunk = false;        // cut short while read,
  std::uint64_t read_to = 0;  // after this many of its bytes
};

struct log_job {
  log_entry log;  // its file is closed once searched
  // The log's size when listed, whichever file descriptor reads it.
  std::atomic<std::uint64_t> limit{kNoLimit};
  bool last = false;  // the last log searched: its text ends the run's
  log_reading reading;
  std::vector<held_tape*> held;  // one per section, in the run's store
  std::vector<int> lost;  // per section: errno value once held hits were lost
  read_end read;
  const time_window* window = nullptr;  // the run's: every line when unset
  std::int64_t run_started = 0;  // a pipe's lines were written before it
  bool no_times = false;  // the window was set, the log held no dated line
};

/// Reads the job's log once and looks in it for every section's term. With
/// `live`, the first section's hits go to it; every other hit is held on
/// the job's tapes of the store.
void search_job(log_job& job, const std::vector<report_section>& sections,
                hit_store& store, const hit_sink* live,
                const stop_check& stop);

/// Lets go of what the job holds.
void release_job(log_job& job, hit_store& store);

/// True when the read did not reach the end of the log as it was listed.
bool cut_short(const read_end& read);

/// Says on the console what of the log was not searched, if anything;
/// with its name when `named`. Returns those words (a refused pipe's from
/// standard error, said when its read began), empty when it lacks nothing.
std::string print_incomplete(const read_end& read, const std::string& name,
                             bool named);
