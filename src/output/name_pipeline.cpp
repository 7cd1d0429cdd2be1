#include "output/name_pipeline.h"

#include <utility>

#include "report/report.h"
#include "output/host.h"

namespace {

void tell_if_given_up(name_pipeline& p) {
  if (p.told_given_up || !p.names.given_up()) return;
  p.told_given_up = true;
  std::fputs("vantrel: the name server is not answering; addresses not yet "
             "named are left as they are\n",
             stderr);
}

// The one place a hit reaches the report. The host rule stays in
// substitute_host; it sees the name found, or none.
void write_line(name_pipeline& p, std::string& line) {
  tell_if_given_up(p);
  if (p.write_error != 0) return;
  substitute_host(line, p.trim,
                  [&p](const ip_address& address, std::string* name) {
                    return p.names.peek(address, name) == name_state::named;
                  });
  p.write_error = write_result(p.report, line);
}

bool is_ready(const name_pipeline& p, const waiting_line& w) {
  if (!w.has_address) return true;
  const name_state state = p.names.peek(w.address, nullptr);
  return state != name_state::pending;
}

// Writes the first waiting line: at once when its name is known, after
// waiting for it (or for a stop request) when `wait` is set. False when
// it was not ready and not waited for.
bool write_first(name_pipeline& p, bool wait) {
  waiting_line& first = p.waiting.front();
  if (wait && first.has_address)
    p.names.await(first.address, p.stop);
  else if (!is_ready(p, first))
    return false;
  write_line(p, first.text);
  p.waiting_bytes -= first.text.size();
  p.waiting.pop_front();
  return true;
}

bool is_full(const name_pipeline& p, std::size_t more_bytes) {
  return p.waiting.size() >= p.limits.lines ||
         p.waiting_bytes + more_bytes > p.limits.bytes;
}

}  // anonymous namespace

int queue_hit(name_pipeline& p, std::string& line) {
  waiting_line hit;
  hit.has_address = destination_address(line, &hit.address);
  if (hit.has_address) p.names.ask(hit.address);
  write_ready_hits(p);
  // Nothing before it and nothing to wait for: no copy, no queue.
  if (p.waiting.empty() && is_ready(p, hit)) {
    write_line(p, line);
    return p.write_error;
  }
  // A line bigger than the whole queue still goes in, alone.
  while (!p.waiting.empty() && is_full(p, line.size())) write_first(p, true);
  p.waiting_bytes += line.size();
  hit.text = std::move(line);
  p.waiting.push_back(std::move(hit));
  return p.write_error;
}

void write_ready_hits(name_pipeline& p) {
  while (!p.waiting.empty() && write_first(p, false)) {
  }
}

int drain_hits(name_pipeline& p) {
  while (!p.waiting.empty()) write_first(p, true);
  return p.write_error;
}
