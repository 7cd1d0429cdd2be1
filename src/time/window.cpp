#include "time/window.h"

#include "time/civil.h"

// A line's time as read is when it was written, or up to as much as the
// clock went back earlier (a local stamp of the repeated hour's second
// pass); lines are written in order to within the slack. The clock is
// looked at only where the slack alone would let the line go by.
bool time_window::ended_by(std::int64_t t) const {
  return has_until && t > until && t - until > kOrderSlack &&
         t - until > kOrderSlack + clock_set_back_near(t);
}

bool time_window::all_before(std::int64_t t) const {
  return has_since && t < since && since - t > kOrderSlack &&
         since - t > kOrderSlack + clock_set_back_near(t);
}

std::string since_text(const time_window& window) {
  return window.has_since ? local_text(window.since) : "the first line";
}

std::string until_text(const time_window& window) {
  return window.has_until ? local_text(window.until) : "the last line";
}
