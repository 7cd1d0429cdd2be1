// Destination host substitution on any line, with a table in place of the
// resolver: with no name found and no trimming the line is unchanged;
// trimming only ever cuts; a found name replaces the destination text by
// the find-replace-resume rule; only text that parses as an address is
// looked up, and only once.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "search/host.h"
#include "test_support.h"

namespace {

struct table {
  bool knows = false;
  std::string name;
  int asked = 0;
  std::uint32_t address = 0;
};

}  // anonymous namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned mode = take_byte(input);
  constexpr std::int32_t kTrims[] = {1, 2, 0, -7};
  const std::int32_t trim = kTrims[mode & 3];
  table t;
  t.knows = (mode & 4) != 0;
  t.name = std::string(take_field(input));
  const std::string line(input);

  const host_lookup lookup = [&t](std::uint32_t address, std::string* name) {
    ++t.asked;
    t.address = address;
    if (t.knows) *name = t.name;
    return t.knows;
  };

  // The destination text, straight from the field rules.
  const std::size_t blank = line.rfind(' ');
  const std::size_t field = blank == std::string::npos ? 0 : blank + 1;
  const std::size_t slash = line.find('/');
  const bool before_slash = slash != std::string::npos && slash > field;
  const std::string ipadd =
      before_slash ? line.substr(field, slash - field - 1) : line.substr(field);
  std::uint32_t parsed = 0;
  const bool is_address = platform_parse_ipv4(ipadd, &parsed);

  std::string whole = line;
  substitute_host(whole, 2, lookup);
  FUZZ_CHECK(t.asked == (is_address ? 1 : 0));
  if (t.asked == 1) FUZZ_CHECK(t.address == parsed);
  const bool named = t.knows && is_address;
  FUZZ_CHECK(whole == (named ? replaced_by_rule(line, ipadd, t.name) : line));

  std::string cut = line;
  substitute_host(cut, trim, lookup);
  if (trim == 1) {
    const std::size_t newLen = field + (named ? t.name.size() : ipadd.size());
    FUZZ_CHECK(cut == whole.substr(0, newLen));
  } else {
    FUZZ_CHECK(cut == whole);
  }
  return 0;
}
