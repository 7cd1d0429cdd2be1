#include "console/console.h"

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

std::size_t transient_width = 0;  // 0: no transient line shown

}  // anonymous namespace

void color(int value) { platform_set_text_attribute(value & 0xFFFF); }

void print(std::string_view text) {
  if (transient_width != 0) erase_transient();
  platform_write_text(stdout, text);
}

void show_transient(const std::string& text) {
  platform_transient_line(text, transient_width);
  transient_width = text.size();
}

void erase_transient() {
  if (transient_width == 0) return;
  platform_transient_line("", transient_width);
  transient_width = 0;
}

void print_number(std::int64_t value) { print(std::to_string(value)); }
