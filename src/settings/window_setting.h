#pragma once
// The time window --since and --until ask for, read before the run starts.

#include <cstdint>
#include <string>

#include "settings/run_settings.h"
#include "time/window.h"

struct window_setting {
  time_window window;  // unset when neither switch was given
  bool understood = true;  // false: `value` is a WHEN not understood
  bool inverted = false;   // the window ends before it starts
  std::string value;
};

/// The window of the run's --since and --until, each read relative to now.
window_setting read_window(const run_settings& settings, std::int64_t now);
