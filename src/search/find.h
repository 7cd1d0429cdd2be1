#pragma once
// Substring search for the term over a line or a whole block of lines. On
// x86-64 it compares two of the term's bytes, its rarest in logs, against
// 16 or 32 positions at once and confirms candidates in full (find_x86.h);
// elsewhere it falls back to memchr on the first byte. Bytes are compared
// as they are: NUL and bytes of 128 and above are ordinary.

#include <cstddef>
#include <string_view>

/// Position of the first occurrence of term in text at or after from, or
/// std::string_view::npos. An empty term is found at from (npos when from is
/// past the end), as std::string_view::find does.
std::size_t find_term(std::string_view text, std::string_view term,
                      std::size_t from);

/// As find_term, but the search also ends at the first byte equal to mark:
/// the position of the first occurrence of term or of mark, whichever comes
/// first, or npos. The term must not hold the mark byte. It lets one scan
/// look for a hit and for the byte that ends the text at once.
std::size_t find_term_or_mark(std::string_view text, std::string_view term,
                              std::size_t from, char mark);

/// True when b is a spelled as a with some letters in the other case (and
/// not a itself): the two can then be looked for in one scan.
bool are_case_twins(std::string_view a, std::string_view b);

/// As find_term_or_mark, for two case twins at once: the first place where
/// either starts, or the mark; which of them is there is the caller's to
/// see.
std::size_t find_twins_or_mark(std::string_view text, std::string_view term,
                               std::string_view twin, std::size_t from,
                               char mark);

/// As find_term, with ASCII letter case ignored: upper and lower are the
/// term folded to upper and to lower case, and every spelling between them
/// is found too.
std::size_t find_any_case(std::string_view text, std::string_view upper,
                          std::string_view lower, std::size_t from);

/// As find_term_or_mark, with ASCII letter case ignored as in
/// find_any_case. The mark must not be a letter.
std::size_t find_any_case_or_mark(std::string_view text,
                                  std::string_view upper,
                                  std::string_view lower, std::size_t from,
                                  char mark);

/// Lets the search use 32-byte vectors when wanted and the processor has
/// them (the default); false when it keeps to the narrower ones. The tests
/// use it to run both.
bool use_wide_vectors(bool wanted);
