#include "log/part/line_times.h"

namespace {

// The start of the line before the one starting at `at`, within run; null
// at the run's start.
const char* previous_start(std::string_view run, const char* at) {
  if (at <= run.data()) return nullptr;
  std::size_t i = static_cast<std::size_t>(at - run.data()) - 1;  // its LF
  while (i > 0 && run[i - 1] != '\n') --i;
  return run.data() + i;
}

// The time of the last dated line starting in [from, before) of run,
// looking back from before; false when none is.
bool last_dated(line_times& times, const char* from, const char* before,
                std::int64_t* time) {
  for (const char* at = previous_start(times.run, before);
       at != nullptr && at >= from; at = previous_start(times.run, at)) {
    const auto size = static_cast<std::size_t>(
        times.run.data() + times.run.size() - at);
    const std::string_view line(at, size);
    if (times.stamps.instant_of(line, time)) return true;
  }
  return false;
}

void find_first(line_times& times) {
  std::string_view rest = times.run;
  while (!rest.empty()) {
    if (times.stamps.instant_of(rest, &times.first)) {
      times.have_first = true;
      return;
    }
    const std::size_t lf = rest.find('\n');
    if (lf == std::string_view::npos) return;
    rest.remove_prefix(lf + 1);
  }
}

}  // anonymous namespace

void see_lines(line_times& times, std::string_view run) {
  if (times.have_latest) {
    times.have_carried = true;
    times.carried = times.latest;
  }
  times.run = run;
  times.known_at = nullptr;
  // Worked out now, while the run's bytes are there: the next run may
  // take their place.
  times.have_latest =
      last_dated(times, run.data(), run.data() + run.size(), &times.latest);
  if (!times.have_first && times.have_latest) find_first(times);
}

bool time_of(line_times& times, std::string_view line, std::int64_t* time) {
  if (times.stamps.instant_of(line, time)) {
    times.known_at = line.data();
    times.known_time = *time;
    return true;
  }
  const bool after_known =
      times.known_at != nullptr && times.known_at <= line.data();
  const char* from = after_known ? times.known_at : times.run.data();
  if (!last_dated(times, from, line.data(), time)) {
    if (after_known) {
      *time = times.known_time;
    } else if (times.have_carried) {
      *time = times.carried;
    } else {
      return false;
    }
  }
  times.known_at = line.data();
  times.known_time = *time;
  return true;
}
