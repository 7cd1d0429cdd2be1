#pragma once
// log/part/: what reading only part of a log needs: where its reading may
// start, and each line's time as it is read.
// Where a log's reading may start when its early lines do not matter: a
// caller's probe looks at samples of the text and says where reading may
// start in each; the last place it says so is found by bisection, over
// byte offsets in a plain log, over blocks in an xz or bzip2 log. What makes
// a line matter (its time) is the caller's, not known here.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string_view>

#include "log/byte_source.h"

struct log_reading;

/// Looks at a sample of a log's text that begins at a line start, and says
/// where in it reading may start: the offset of a line from which every
/// later line may matter while nothing before it does, or npos when reading
/// may not start in this sample (none of its lines may, or it cannot tell).
/// Samples are whole lines, but for the log's last one; taken to say yes
/// early in the log and no later on.
using start_probe = std::function<std::size_t(std::string_view sample)>;

/// A probe's answer for a sample from which on no line of the log may
/// matter: said of the log's first lines, none of it is read.
constexpr std::size_t kNothingMatters = std::string_view::npos - 1;

/// The text of a regular file's log from the last place the probe takes,
/// to limit, counted in reading->file_bytes from that place on; takes the
/// file over. No text at all, with reading->passed_over, when the probe
/// says nothing matters in the log's first KiB of text, whatever its
/// format. Null, leaving the file as it was, where reading starts at the
/// log's first line: the probe takes no later place, or the log is of a
/// format (or an xz log of one block) that cannot be read from a later
/// place.
byte_source open_late(std::FILE* file, std::uint64_t limit,
                      log_reading* reading, const start_probe& probe);
