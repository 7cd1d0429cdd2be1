#include "output/clean.h"

#include <cstring>

bool is_excluded(std::string_view line) {
  return line.find(rep8) != std::string_view::npos;
}

namespace {

// Moves the text from the first hit on, in one left-to-right sweep, so
// that [in, end) always holds the unread text and out never passes in:
// the line is rewritten without a second copy of it. `in` starts `room`
// bytes past `out`, room being exactly what the replacements add.
void sweep(std::string& line, std::string_view from, std::string_view to,
           std::size_t out, std::size_t in) {
  char* text = line.data();
  for (std::size_t hit = line.find(from, in); hit != std::string::npos;
       hit = line.find(from, in)) {
    std::memmove(text + out, text + in, hit - in);
    out += hit - in;
    std::memcpy(text + out, to.data(), to.size());
    out += to.size();
    in = hit + from.size();
  }
  std::memmove(text + out, text + in, line.size() - in);
  line.resize(out + line.size() - in);
}

}  // anonymous namespace

void replace_all(std::string& line, std::string_view from,
                 std::string_view to) {
  if (from.empty()) return;
  const std::size_t first = line.find(from);
  if (first == std::string::npos) return;
  if (to.size() <= from.size()) {
    sweep(line, from, to, first, first);
    return;
  }
  std::size_t count = 0;
  for (std::size_t hit = first; hit != std::string::npos;
       hit = line.find(from, hit + from.size()))
    ++count;
  // Grown once by exactly what the replacements add (in place when the
  // capacity allows); the unread text moves to the end of the grown line
  // first, and the sweep then fills in from the front.
  const std::size_t size = line.size();
  const std::size_t room = count * (to.size() - from.size());
  line.resize(size + room);
  std::memmove(line.data() + first + room, line.data() + first, size - first);
  sweep(line, from, to, first, first + room);
}

void remove_tags(std::string& line) {
  for (const removal_pair& pair : kRemovals)
    replace_all(line, pair.tag, pair.replacement);
}
