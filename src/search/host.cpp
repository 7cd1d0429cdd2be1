#include "search/host.h"

#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "search/clean.h"

namespace {

// The start of the last field: just after the last blank, 0 without one.
std::size_t last_field_start(const std::string& line) {
  const std::size_t blank = line.rfind(' ');
  return blank == std::string::npos ? 0 : blank + 1;
}

// The destination text: the last field up to, but not including, the
// character just before the line's first slash; the whole last field when
// that slash does not lie inside the field past its first character.
std::string destination_text(const std::string& line, std::size_t field) {
  const std::size_t slash = line.find('/');
  if (slash == std::string::npos || slash <= field) return line.substr(field);
  return line.substr(field, slash - field - 1);
}

// Text that is not an address is never looked up: asking for the all-ones
// address instead would name every such field after the broadcast host.
bool look_up(const std::string& destination, const host_lookup& lookup,
             std::string* name) {
  std::uint32_t address = 0;
  return platform_parse_ipv4(destination, &address) && lookup(address, name);
}

}  // anonymous namespace

bool system_lookup(std::uint32_t address, std::string* name) {
  return platform_reverse_lookup(address, name);
}

void substitute_host(std::string& line, std::int32_t trim,
                     const host_lookup& lookup) {
  const std::size_t field = last_field_start(line);
  const std::string destination = destination_text(line, field);
  std::string name;
  const bool named = look_up(destination, lookup, &name);
  const std::string& replacement = named ? name : destination;
  const std::size_t cut = field + replacement.size();

  if (named) replace_all(line, destination, name);
  if (trim == 1 && cut < line.size()) line.resize(cut);
}
