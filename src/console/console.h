#pragma once
// console/: what the console shows: colours, the run's messages and the
// progress line, from plain values.
// Console text and its colour. All program messages go through print() so
// that colour changes and text stay in order.

#include <cstdint>
#include <string>
#include <string_view>

constexpr int GREY = 7;
constexpr int BRIGHTBLUE = 9;
constexpr int RED = 4;
constexpr int YELLOW = 14;
constexpr int BRIGHTGREEN = 10;
constexpr int WHITE = 15;
constexpr int LIGHTRED = 12;
constexpr int LIGHTCYAN = 11;

/// Sets the colour of the console text written from now on (low 16 bits).
void color(int value);

/// Writes text to standard output, byte for byte (it may hold NUL bytes).
void print(std::string_view text);

/// Shows a transient line (a progress line) on a terminal; it is erased
/// before anything else is printed. Nothing is written off a terminal.
void show_transient(const std::string& text);

/// Erases the transient line, if one is shown.
void erase_transient();

/// Writes a number in decimal to standard output.
void print_number(std::int64_t value);
