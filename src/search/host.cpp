#include "search/host.h"

#include "platform/platform.h"

bool system_lookup(std::uint32_t address, std::string* name) {
  return platform_reverse_lookup(address, name);
}

void substitute_host(std::string& line, std::int32_t trim,
                     const host_lookup& lookup) {
  (void)line;
  (void)trim;
  (void)lookup;
}
