#pragma once
// The pieces of reading a decimal number that the command line and the
// prompts share: the same white space and the same overflow-proof digits.

#include <cstdint>

/// White space as the C library's isspace sees it in the "C" locale.
inline bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

/// The magnitude with one more digit. It stops growing once past the
/// 32-bit range, so no digit string overflows it, while every digit is
/// still taken.
inline std::int64_t add_digit(std::int64_t magnitude, int digit) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 32;
  return magnitude < kLimit ? magnitude * 10 + (digit - '0') : magnitude;
}
