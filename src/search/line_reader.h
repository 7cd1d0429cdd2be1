#pragma once
// Reads a log as lines by one set of rules on every platform: LF ends a
// line, a CR directly before the LF goes with it, any other CR is an
// ordinary byte, 0x1A ends the file, and the text after the last LF (empty
// when the file ends with LF or is empty) is a last line of its own.
//
// The reader holds only the unread lines plus one read's worth of bytes;
// the buffer grows only when one line is longer than that.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <limits>
#include <string_view>

constexpr std::size_t kDefaultChunk = std::size_t{1} << 20;
constexpr char kEndOfFile = 0x1A;

/// Frees a buffer that came from std::malloc or std::realloc.
struct free_deleter {
  void operator()(char* p) const { std::free(p); }
};

struct line_reader {
  std::FILE* file = nullptr;     // not owned; null gives no lines at all
  std::size_t chunk = kDefaultChunk;
  // Grown with realloc (see make_room), so one huge line costs about its
  // own size, and a line too long for memory is reported, not a crash.
  std::unique_ptr<char, free_deleter> buffer;
  std::size_t capacity = 0;      // bytes allocated in buffer
  std::size_t begin = 0;         // start of the first line not handed out
  std::size_t end = 0;           // end of the bytes read so far
  std::size_t scan = 0;          // no LF lies in [begin, scan)
  std::size_t last_lf = 0;       // one past the last LF in [begin, end)
  // Bytes still to be read; the file counts as ended after them.
  std::uint64_t remaining = std::numeric_limits<std::uint64_t>::max();
  bool ended = false;            // nothing more to read
  bool finished = false;         // the last line has been handed out
  bool out_of_memory = false;    // a line did not fit in memory
  // Set by a caller that scans every complete line for 0x1A anyway (see
  // end_reader_at); fill() then looks for it only after the last LF, which
  // spares a second pass over the bytes.
  bool caller_finds_end_in_lines = false;
};

/// Starts reading file (may be null) with reads of chunk bytes.
void open_reader(line_reader& reader, std::FILE* file,
                 std::size_t chunk = kDefaultChunk);

/// Reads no more than bytes from now on, as if the file ended there. A log
/// that grows faster than it is read would otherwise never end.
void limit_reader(line_reader& reader, std::uint64_t bytes);

/// Next line without its terminator; false when there are no more. The view
/// is valid until the next call on the reader.
bool next_line(line_reader& reader, std::string_view* line);

/// Reads more of the file. False once the file has nothing more to give.
bool fill(line_reader& reader);

/// The complete lines held now, each ending with its LF (maybe empty).
std::string_view complete_lines(const line_reader& reader);

/// Marks the complete lines as handed out.
void consume_complete_lines(line_reader& reader);

/// The last line, once fill() has returned false; marks it handed out.
/// When memory ran out, the incomplete line is dropped and this is empty.
std::string_view take_last_line(line_reader& reader);

/// Ends the file at offset at of complete_lines(), where the caller found
/// 0x1A: nothing after it is handed out.
void end_reader_at(line_reader& reader, std::size_t at);

/// A line without its LF and without a CR directly before that LF.
std::string_view strip_cr(std::string_view line_with_lf);
