#pragma once
// Substring search for the term over a line or a whole block of lines. On
// x86-64 it compares the term's first and last bytes against 16 positions
// at once and confirms candidates with memcmp; elsewhere it falls back to
// memchr on the first byte. Bytes are compared as they are: NUL and bytes
// of 128 and above are ordinary.

#include <cstddef>
#include <string_view>

/// Position of the first occurrence of term in text at or after from, or
/// std::string_view::npos. An empty term is found at from (npos when from is
/// past the end), as std::string_view::find does.
std::size_t find_term(std::string_view text, std::string_view term,
                      std::size_t from);
