#include "run/window_gate.h"

namespace {

bool any_waiting(const window_gate& gate) {
  for (const held_tape* tape : gate.waiting)
    if (tape != nullptr) return true;
  return false;
}

// The hits that came before the first dated line, in their order, kept
// when that line's time is in the window (every one when `all`).
void release_waiting(window_gate& gate, bool all) {
  const bool keep = all || gate.window->holds(gate.times.first);
  for (std::size_t s = 0; s < gate.waiting.size(); ++s) {
    held_tape* tape = gate.waiting[s];
    if (tape == nullptr) continue;
    seal_tape(*gate.store, *tape);
    if (keep)
      replay_tape(*gate.store, *tape,
                  [&](std::string_view line, std::int64_t n) {
                    return gate.hand(s, line, n);
                  },
                  [] { return false; });
    drop_tape(*gate.store, *tape);
    gate.waiting[s] = nullptr;
  }
}

void hold_waiting(window_gate& gate, std::size_t s, std::string_view line) {
  if (gate.waiting.size() <= s) gate.waiting.resize(s + 1, nullptr);
  if (gate.waiting[s] == nullptr) gate.waiting[s] = &new_tape(*gate.store);
  hold_line(*gate.store, *gate.waiting[s], line);
}

std::uint32_t little_endian_32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // anonymous namespace

void gate_lines(window_gate& gate, std::string_view run) {
  see_lines(gate.times, run);
  if (gate.times.have_first && any_waiting(gate)) release_waiting(gate, false);
  if (gate.times.have_latest && gate.window->ended_by(gate.times.latest))
    gate.ended = true;
}

bool gate_hit(window_gate& gate, std::size_t s, std::string_view line,
              std::int64_t n) {
  std::int64_t time = 0;
  if (!time_of(gate.times, line, &time)) {
    hold_waiting(gate, s, line);
    return true;
  }
  if (any_waiting(gate)) release_waiting(gate, false);
  return !gate.window->holds(time) || gate.hand(s, line, n);
}

bool gate_finish(window_gate& gate) {
  const bool no_times = !gate.times.have_first;
  if (any_waiting(gate)) release_waiting(gate, no_times);
  return no_times;
}

start_probe window_start_probe(const time_window& window,
                               std::int64_t last_write) {
  return [window, last_write](std::string_view sample) {
    stamp_reader stamps;
    stamps.last_write = last_write;
    for (std::size_t at = 0; at < sample.size();) {
      std::int64_t time = 0;
      if (stamps.instant_of(sample.substr(at), &time)) {
        if (window.all_before(time)) return at;
        return window.ended_by(time) ? kNothingMatters
                                     : std::string_view::npos;
      }
      const std::size_t lf = sample.find('\n', at);
      if (lf == std::string_view::npos) break;
      at = lf + 1;
    }
    return std::string_view::npos;
  };
}

std::int64_t last_write_of(std::string_view first_bytes,
                           std::int64_t file_written, std::int64_t otherwise) {
  // gzip keeps the time of the file it compressed (MTIME, 0 when unset).
  if (first_bytes.size() >= 8 && first_bytes.substr(0, 3) == "\x1f\x8b\x08") {
    const std::uint32_t mtime = little_endian_32(first_bytes, 4);
    if (mtime != 0) return mtime;
  }
  return file_written != 0 ? file_written : otherwise;
}
