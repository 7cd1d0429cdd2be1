#pragma once
// log/: a log, plain or compressed, file or pipe, turned into lines.
// Where a log's lines come from: the file's own bytes, or, for a
// compressed log (gzip, bzip2, xz or zstd, known by its first bytes,
// whatever its name), the text it holds, decompressed as it is read.
// Either way every reading rule applies to the text the reader gets.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "log/line_reader.h"
#include "log/log_format.h"
#include "log/part/log_start.h"
#include "platform/platform.h"

/// How the reading of one log went, filled in as it goes; it must outlive
/// the source it was given to.
struct log_reading {
  std::atomic<std::uint64_t> file_bytes{0};  // taken from the file so far
  bool compressed = false;  // the lines are the decompressed text
  bool damaged = false;     // the compressed data ended in damage
  std::uint64_t window = 0;  // it asked for a window past what a run allows
  std::uint64_t lines = 0;  // compressed: LF bytes handed to the reader
  // The file ended before its read limit: it was cut short (truncated, as
  // copytruncate does) after file_bytes.
  bool shrunk = false;
  // A format this build does not read: its reads fail, nothing searched.
  log_format refused = log_format::plain;
  // Set before opening: the format the log's name says (format_by_name),
  // taken over its first bytes.
  log_format named = log_format::plain;
  // A start probe let reading begin past the log's first line: file_bytes
  // began at the bytes passed over, lines count from there.
  bool started_late = false;
  // A start probe said none of the log matters: nothing of it was read.
  bool passed_over = false;
};

/// The bytes to read a log's lines from. Takes the file over (null: no
/// source at all) and closes it once the source and its copies are gone.
/// No more than limit bytes of the file are read, as if it ended there.
/// With a probe, a regular file's log is read from the last place the
/// probe takes (open_late), where its format allows; from its start where
/// it does not, as without one.
byte_source open_log_source(std::FILE* file, std::uint64_t limit,
                            log_reading* reading,
                            const start_probe* probe = nullptr);

/// The same from a log's bytes already read whole.
byte_source open_log_bytes(std::string bytes, log_reading* reading);

/// True, once standard error says why, when a log is compressed in a
/// format this build does not read: it counts as a log that does not open.
bool refuse_unreadable(const std::string& log_name, log_format format);

/// How much of an open log to read: a log still being written to is
/// searched as it stood when it was opened, since reading on to its end
/// might never end. Taken from the open file's facts, not its name, so a
/// log rotated meanwhile gives its own size. Anything but a regular file
/// with something in it (a pipe, a device, a file in /proc that shows no
/// size) is read to its end.
std::uint64_t read_limit(const file_facts& facts);
