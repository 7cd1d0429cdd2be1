#include "search/clean.h"

bool is_excluded(std::string_view line) {
  (void)line;
  return false;
}

void remove_tags(std::string& line) { (void)line; }
