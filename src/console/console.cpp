#include "console/console.h"

#include <cstdio>
#include <string>

#include "platform/platform.h"

void color(int value) { platform_set_text_attribute(value & 0xFFFF); }

void print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void print_number(std::int64_t value) { print(std::to_string(value)); }
