#pragma once
// Reading fixed-width numbers and single bytes off the front of text, as
// stamps and the times a user writes are read: each step takes what it
// expects and moves on, or says false.

#include <cstddef>
#include <string_view>

/// Text and how far into it reading has come.
struct scan {
  std::string_view text;
  std::size_t at = 0;

  bool done() const { return at >= text.size(); }
  /// The byte ahead bytes on; NUL past the end.
  char peek(std::size_t ahead = 0) const {
    return at + ahead < text.size() ? text[at + ahead] : '\0';
  }
  /// Takes c when it is next.
  bool take(char c) {
    if (done() || text[at] != c) return false;
    ++at;
    return true;
  }
  /// Takes word when it is next.
  bool take(std::string_view word) {
    if (text.substr(at, word.size()) != word) return false;
    at += word.size();
    return true;
  }
};

inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

/// Takes exactly count digits as a number; takes nothing when fewer
/// digits are next.
inline bool take_number(scan& in, int count, int* value) {
  int number = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
    if (!is_ascii_digit(in.peek(i))) return false;
    number = number * 10 + (in.peek(i) - '0');
  }
  in.at += static_cast<std::size_t>(count);
  *value = number;
  return true;
}

/// "+HH:MM" or "-HH:MM", up to 23:59, as seconds east of UTC; takes
/// nothing when anything else is next.
inline bool take_offset(scan& in, int* seconds) {
  const char sign = in.peek();
  const std::size_t start = in.at;
  int hours = 0, minutes = 0;
  if ((sign != '+' && sign != '-') || !in.take(sign) ||
      !take_number(in, 2, &hours) || !in.take(':') ||
      !take_number(in, 2, &minutes) || hours > 23 || minutes > 59) {
    in.at = start;
    return false;
  }
  *seconds = (sign == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
  return true;
}
