#pragma once
// The times a user writes for --since and --until, read as journalctl
// users write them.

#include <cstdint>
#include <string_view>

/// Reads WHEN relative to now (an instant): "YYYY-MM-DD", "YYYY-MM-DD
/// HH:MM[:SS]" (or with 'T' between), each optionally followed by 'Z',
/// "+HH:MM", "-HH:MM" or " UTC"; "HH:MM[:SS]" (today); "now", "today",
/// "yesterday", "tomorrow"; "-N" or "+N" with one unit s, min, h, d or w.
/// The hour may be one digit. False when the text is none of these or
/// names a date or time that does not exist.
bool read_when(std::string_view text, std::int64_t now, std::int64_t* instant);
