#include "time/window.h"

#include "time/civil.h"

std::string since_text(const time_window& window) {
  return window.has_since ? local_text(window.since) : "the first line";
}

std::string until_text(const time_window& window) {
  return window.has_until ? local_text(window.until) : "the last line";
}
