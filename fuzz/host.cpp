// Destination host substitution on any line, with a table in place of the
// resolver: with no name found and no trimming the line is unchanged;
// trimming only ever cuts, right after the destination as it stands in the
// rewritten last field; a found name replaces the whole occurrences of the
// destination text; only text that parses as an address is looked up, and
// only once, and it is the address the name pipeline asks for.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "output/host.h"

namespace {

struct table {
  bool knows = false;
  std::string name;
  int asked = 0;
  ip_address address;
};

bool joins(const std::string& line, std::size_t at) {
  if (at >= line.size()) return false;
  const char c = line[at];
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z') || c == '.';
}

// A successor's URL field, [USER@]ADDRESS:REST, REST a path or scheme://:
// where ADDRESS starts and ends in the field. (No std::regex: GCC 12 warns
// on it under the sanitizers.)
bool successor_form(const std::string& field, std::size_t* from,
                    std::size_t* to) {
  const std::size_t user_end = field.find_first_of("@:/");
  *from = user_end != std::string::npos && field[user_end] == '@' ? user_end + 1 : 0;
  *to = field.find_first_of("@:", *from);
  if (*to == std::string::npos || *to == *from || field[*to] != ':') return false;
  const std::size_t scheme = field.find_first_not_of(
      "+-.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", *to + 1);
  return field.compare(*to + 1, 1, "/") == 0 ||
         (scheme != std::string::npos && scheme > *to + 1 &&
          field.compare(scheme, 3, "://") == 0);
}

// The rule written out plainly on a copy of the line: find, and replace
// when nothing joins the text on either side in the line as it now stands,
// resuming after the name; else resume at the next byte. Also keeps track
// of where the destination starts and whether its own occurrence was
// replaced.
struct model {
  std::string line;
  std::size_t place;  // of the destination
  bool replaced_in_place = false;

  void replace_whole(const std::string& from, const std::string& to) {
    if (from.empty()) return;
    std::size_t at = line.find(from);
    while (at != std::string::npos) {
      const bool whole = (at == 0 || !joins(line, at - 1)) &&
                         !joins(line, at + from.size());
      if (!whole) {
        at = line.find(from, at + 1);
        continue;
      }
      if (at == place) replaced_in_place = true;
      if (at < place) place = place - from.size() + to.size();
      line.replace(at, from.size(), to);
      at = line.find(from, at + to.size());
    }
  }
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

  const host_lookup lookup = [&t](const ip_address& address,
                                  std::string* name) {
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
  std::string destination =
      before_slash ? line.substr(field, slash - field - 1) : line.substr(field);
  std::uint32_t parsed = 0;
  bool is_address = platform_parse_ipv4(destination, &parsed);
  std::size_t at = field;
  const std::string last = line.substr(field);
  std::size_t from = 0, to = 0;
  if (!is_address && successor_form(last, &from, &to) &&
      platform_parse_ipv4(last.substr(from, to - from), &parsed)) {
    at = field + from;
    destination = last.substr(from, to - from);
    is_address = true;
  }
  ip_address asked_for;
  const bool found = destination_address(line, &asked_for);
  if (found && asked_for.v6) {  // its rules are the unit tables'
    std::string cut = line;
    substitute_host(cut, trim, lookup);
    FUZZ_CHECK(t.asked == 1 && t.address == asked_for);
    FUZZ_CHECK(t.knows || line.compare(0, cut.size(), cut) == 0);
    return 0;
  }
  FUZZ_CHECK(found == is_address);
  FUZZ_CHECK(!is_address || asked_for == parsed);

  std::string whole = line;
  substitute_host(whole, 2, lookup);
  FUZZ_CHECK(t.asked == (is_address ? 1 : 0));
  if (t.asked == 1) FUZZ_CHECK(t.address == parsed);
  const bool named = t.knows && is_address;
  model m{line, at};
  if (named) m.replace_whole(destination, t.name);
  FUZZ_CHECK(whole == m.line);

  std::string cut = line;
  substitute_host(cut, trim, lookup);
  if (trim == 1) {
    const std::size_t end =
        m.place + (m.replaced_in_place ? t.name.size() : destination.size());
    FUZZ_CHECK(cut == whole.substr(0, end));
  } else {
    FUZZ_CHECK(cut == whole);
  }
  return 0;
}
