#pragma once
// One log's hits kept to the run's time window: a hit whose line's time
// lies outside it is as if the line were not in the log; hits before the
// log's first dated line wait for that line's time; a dated line far
// enough past the window's end ends the log's reading.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "log/part/line_times.h"
#include "log/part/log_start.h"
#include "store/hit_store.h"
#include "time/window.h"

/// Where a hit of section s goes once it is kept.
using section_hand =
    std::function<bool(std::size_t s, std::string_view line, std::int64_t n)>;

struct window_gate {
  const time_window* window = nullptr;
  hit_store* store = nullptr;
  section_hand hand;
  line_times times;
  std::vector<held_tape*> waiting;  // per section, once a hit waits there
  bool ended = false;  // the rest of the log lies past the window
};

/// Takes the next run of lines the search is about to look at.
void gate_lines(window_gate& gate, std::string_view run);

/// Takes a hit of section s (a line inside the run taken last): handed on
/// when its time is in the window, held while the time is not yet known.
/// False when the hand said to end the search.
bool gate_hit(window_gate& gate, std::size_t s, std::string_view line,
              std::int64_t n);

/// At the log's end: hands on what still waits. True when the log held no
/// dated line at all, so every hit of it was kept.
bool gate_finish(window_gate& gate);

/// Where a log's reading may start for the window: at a sample's first
/// dated line when it lies more than the order slack before the window's
/// start, so nothing before it can be in the window; nowhere when it lies
/// more than that past the window's end.
start_probe window_start_probe(const time_window& window,
                               std::int64_t last_write);

/// When the log's lines were last written, for the year of stamps that
/// leave it out: a gzip log's own header time where set (its first bytes
/// given), else the file's, else (0) `otherwise`.
std::int64_t last_write_of(std::string_view first_bytes,
                           std::int64_t file_written, std::int64_t otherwise);
