// The term search on any text: every position it gives, from any start,
// is the one the plain substring search gives, with and without a mark.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "search/find.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned head = take_byte(input);
  const unsigned shift = head & 63;
  // Either vector width, where the processor has both.
  use_wide_vectors((head & 64) != 0);
  const std::string_view term = take_field(input);
  // Copied to an odd place in its own buffer, so the text's start and end
  // fall anywhere relative to a vector load.
  const std::string buffer = std::string(shift, '\0') + std::string(input);
  const std::string_view text = std::string_view(buffer).substr(shift);
  for (std::size_t from = 0; from <= text.size() + 1;) {
    const std::size_t want = text.find(term, from);
    FUZZ_CHECK(find_term(text, term, from) == want);
    if (want == std::string_view::npos) break;
    from = want + 1;
  }
  // With 0x1A as the mark, for terms that do not hold it: the first of the
  // term and the mark.
  constexpr char mark = '\x1a';
  if (term.find(mark) == std::string_view::npos) {
    for (std::size_t from = 0; from <= text.size() + 1;) {
      std::size_t want = text.find(term, from);
      if (!term.empty()) want = std::min(want, text.find(mark, from));
      FUZZ_CHECK(find_term_or_mark(text, term, from, mark) == want);
      if (want == std::string_view::npos) break;
      from = want + 1;
    }
  }
  return 0;
}
