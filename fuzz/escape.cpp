// The HTML escaper on any text: what it writes holds no raw markup
// character, every '&' starts one of its five references, and undoing them
// gives the text back. Whole result lines are the escaped text between
// "<br>" and CR LF.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "report/report.h"

namespace {

constexpr std::string_view kReferences[][2] = {
    {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
    {"&#39;", "'"}};

std::string unescaped(std::string_view html) {
  std::string out;
  while (!html.empty()) {
    if (html.front() != '&') {
      out += html.front();
      html.remove_prefix(1);
      continue;
    }
    bool known = false;
    for (const auto& ref : kReferences) {
      if (html.substr(0, ref[0].size()) == ref[0]) {
        out += ref[1];
        html.remove_prefix(ref[0].size());
        known = true;
        break;
      }
    }
    FUZZ_CHECK(known);
  }
  return out;
}

}  // anonymous namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string out = "kept";
  append_escaped(out, text);
  FUZZ_CHECK(out.compare(0, 4, "kept") == 0);
  const std::string_view escaped = std::string_view(out).substr(4);
  FUZZ_CHECK(escaped.find_first_of("<>\"'") == std::string_view::npos);
  FUZZ_CHECK(unescaped(escaped) == text);

  char* written = nullptr;
  std::size_t written_size = 0;
  std::FILE* report = open_memstream(&written, &written_size);
  FUZZ_CHECK(report != nullptr);
  write_result(report, text);
  std::fclose(report);
  FUZZ_CHECK(std::string_view(written, written_size) ==
             "<br>" + std::string(escaped) + "\r\n");
  std::free(written);
  return 0;
}
