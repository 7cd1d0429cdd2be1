// Session exclusion, tag removal and the replace-all under them, on any
// line: removal never lengthens a line, every tag left over was made by a
// removal joining the text on its two sides, and replace_all, in place or
// not, gives what the plain find-replace-resume rule gives.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "output/clean.h"
#include "test_support.h"

namespace {

// Tag removal with the place of every join kept: joined[i] is true when
// text was removed right before character i.
struct marked_line {
  std::string text;
  std::vector<bool> joined;
};

void remove_marked(marked_line& line, std::string_view tag) {
  for (std::size_t at = line.text.find(tag); at != std::string::npos;
       at = line.text.find(tag, at)) {
    line.text.erase(at, tag.size());
    line.joined.erase(line.joined.begin() + static_cast<std::ptrdiff_t>(at),
                      line.joined.begin() +
                          static_cast<std::ptrdiff_t>(at + tag.size()));
    line.joined[at] = true;
  }
}

}  // anonymous namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The whole input as a log line.
  FUZZ_CHECK(is_excluded(input) == (input.find(rep8) != std::string::npos));
  std::string cleaned(input);
  remove_tags(cleaned);
  FUZZ_CHECK(cleaned.size() <= input.size());

  marked_line marked{std::string(input), std::vector<bool>(input.size() + 1)};
  for (const removal_pair& pair : kRemovals) remove_marked(marked, pair.tag);
  FUZZ_CHECK(cleaned == marked.text);
  for (const removal_pair& pair : kRemovals) {
    for (std::size_t at = cleaned.find(pair.tag); at != std::string::npos;
         at = cleaned.find(pair.tag, at + 1)) {
      bool made_by_join = false;
      for (std::size_t i = at + 1; i < at + pair.tag.size(); ++i)
        made_by_join = made_by_join || marked.joined[i];
      FUZZ_CHECK(made_by_join);
    }
  }

  // The input split as line, from, to, with spare room or without.
  std::string_view rest = input;
  const unsigned spare = take_byte(rest);
  const std::string line(take_field(rest));
  const std::string_view from = take_field(rest);
  const std::string_view to = rest;
  const std::string want = replaced_by_rule(line, from, to);
  std::string got;
  got.reserve(line.size() + spare);
  got = line;
  replace_all(got, from, to);
  FUZZ_CHECK(got == want);
  return 0;
}
