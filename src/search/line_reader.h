#pragma once
// Reads a log as lines by one set of rules on every platform: LF ends a
// line, a CR directly before the LF goes with it, any other CR is an
// ordinary byte, 0x1A ends the file, and the text after the last LF (empty
// when the file ends with LF or is empty) is a last line of its own.
//
// The reader holds only the unread lines plus one read's worth of bytes;
// the buffer grows only when one line is longer than that.

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

constexpr std::size_t kDefaultChunk = std::size_t{1} << 20;

struct line_reader {
  std::FILE* file = nullptr;     // not owned; null gives no lines at all
  std::size_t chunk = kDefaultChunk;
  std::vector<char> buffer;
  std::size_t begin = 0;         // start of the first line not handed out
  std::size_t end = 0;           // end of the bytes read so far
  std::size_t scan = 0;          // no LF lies in [begin, scan)
  std::size_t last_lf = 0;       // one past the last LF in [begin, end)
  bool ended = false;            // nothing more to read
  bool finished = false;         // the last line has been handed out
};

/// Starts reading file (may be null) with reads of chunk bytes.
void open_reader(line_reader& reader, std::FILE* file,
                 std::size_t chunk = kDefaultChunk);

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
std::string_view take_last_line(line_reader& reader);

/// A line without its LF and without a CR directly before that LF.
std::string_view strip_cr(std::string_view line_with_lf);
