#include "search/host.h"

#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "search/clean.h"

namespace {

// Positions are signed, -1 for "not found", as the field arithmetic below
// relies on; 64 bits so that no line length can overflow them.
std::int64_t position(std::size_t found) {
  return found == std::string::npos ? -1 : static_cast<std::int64_t>(found);
}

// The destination text: from the start of the last field up to, but not
// including, the character before the first slash; the whole last field
// when that slash is not inside the field past its first character.
std::string destination_text(const std::string& line, std::int64_t wordLen,
                             std::int64_t wordLen2) {
  const std::int64_t ipLen = wordLen2 - wordLen - 1;
  const auto start = static_cast<std::size_t>(wordLen);
  if (ipLen < 0) return line.substr(start);
  return line.substr(start, static_cast<std::size_t>(ipLen));
}

}  // anonymous namespace

bool system_lookup(std::uint32_t address, std::string* name) {
  return platform_reverse_lookup(address, name);
}

void substitute_host(std::string& line, std::int32_t trim,
                     const host_lookup& lookup) {
  std::int64_t wordLen = position(line.rfind(' '));
  const std::int64_t wordLen2 = position(line.find('/'));
  wordLen = wordLen + 1;
  const std::string ipadd = destination_text(line, wordLen, wordLen2);

  // Text that is not an address is never looked up: asking for the
  // all-ones address instead would name every such field after the
  // broadcast host.
  std::uint32_t addr = 0;
  std::string hname;
  const bool named =
      platform_parse_ipv4(ipadd, &addr) && lookup(addr, &hname);
  const std::string& sOldip = ipadd;
  const std::string& sNewip = named ? hname : ipadd;
  const std::int64_t newLen =
      wordLen + static_cast<std::int64_t>(sNewip.size());

  if (named) replace_all(line, sOldip, sNewip);
  if (trim == 1 && newLen < static_cast<std::int64_t>(line.size()))
    line.resize(static_cast<std::size_t>(newLen));
}
