#pragma once
// The written hits of a run on their way to the report while their
// destinations are being named: the search hands each line over and goes
// on, and the lines reach the report in log order, each as soon as its own
// name and every line before it are written. Shared by every section, so an
// address is asked once a run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>

#include "names/name_cache.h"
#include "platform/platform.h"

/// How many lines may wait for names before the search waits too.
struct queue_limits {
  std::size_t lines = 4096;
  std::size_t bytes = std::size_t{64} << 20;
};

struct waiting_line {
  std::string text;  // cleaned, not yet named or trimmed
  ip_address address;
  bool has_address = false;
};

struct name_pipeline {
  name_pipeline(std::FILE* report_file, std::int32_t trim_choice,
                name_source source = platform_name_of, name_rules rules = {},
                queue_limits queue_limit = {},
                std::function<bool()> asks_stop = platform_stop_requested)
      : report(report_file),
        trim(trim_choice),
        names(std::move(source), rules),
        limits(queue_limit),
        stop(std::move(asks_stop)) {}

  std::FILE* report;
  std::int32_t trim;
  name_cache names;
  queue_limits limits;
  // A stop request ends the waits for names: what is waiting is written
  // with the names already found and the other addresses as they stand.
  std::function<bool()> stop;
  std::deque<waiting_line> waiting;
  std::size_t waiting_bytes = 0;
  bool told_given_up = false;
  int write_error = 0;  // errno value of the first failed write; then none
};

/// Takes a cleaned hit (possibly moving its text away), starts the lookup
/// of its destination and writes every line that is ready. Waits only
/// while the queue is full. Returns write_error: after a failed write
/// nothing more is written.
int queue_hit(name_pipeline& pipeline, std::string& line);

/// Writes the waiting lines whose names are known, without waiting: before
/// the search may wait on the log, so lines do not sit in the queue then.
void write_ready_hits(name_pipeline& pipeline);

/// Writes every waiting line, waiting for their names: the end of a section.
/// Returns write_error.
int drain_hits(name_pipeline& pipeline);
