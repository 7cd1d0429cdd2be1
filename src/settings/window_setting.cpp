#include "settings/window_setting.h"

#include "time/when.h"

namespace {

// Reads one end into *at; false, with the text kept, when not understood.
bool read_end(const std::optional<std::string>& given, std::int64_t now,
              std::int64_t* at, bool* has, window_setting* setting) {
  if (!given) return true;
  if (!read_when(*given, now, at)) {
    setting->understood = false;
    setting->value = *given;
    return false;
  }
  *has = true;
  return true;
}

}  // anonymous namespace

window_setting read_window(const run_settings& settings, std::int64_t now) {
  window_setting setting;
  time_window& w = setting.window;
  if (!read_end(settings.since, now, &w.since, &w.has_since, &setting) ||
      !read_end(settings.until, now, &w.until, &w.has_until, &setting))
    return setting;
  setting.inverted = w.has_since && w.has_until && w.until < w.since;
  return setting;
}
