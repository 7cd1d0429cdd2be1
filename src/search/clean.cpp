#include "search/clean.h"

bool is_excluded(std::string_view line) {
  return line.find(rep8) != std::string_view::npos;
}

void replace_all(std::string& line, std::string_view from,
                 std::string_view to) {
  if (from.empty()) return;
  std::size_t hit = line.find(from);
  if (hit == std::string::npos) return;
  // Built in one sweep so that a line with many occurrences stays linear;
  // resuming after each old occurrence is resuming after the inserted text.
  std::string out;
  out.reserve(line.size());
  std::size_t done = 0;
  for (; hit != std::string::npos; hit = line.find(from, done)) {
    out.append(line, done, hit - done);
    out.append(to);
    done = hit + from.size();
  }
  out.append(line, done, std::string::npos);
  line.swap(out);
}

void remove_tags(std::string& line) {
  for (const removal_pair& pair : kRemovals)
    replace_all(line, pair.tag, pair.replacement);
}
