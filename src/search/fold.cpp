#include "search/fold.h"

// Only ASCII letters fold: the log's single-byte code page may put letters
// above 127, and those must match only as typed.
int upper_lower(std::string& text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return 0;
}

int lower_upper(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return 0;
}
