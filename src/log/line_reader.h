#pragma once
// Reads a log as lines by one set of rules on every platform: LF ends a
// line, a CR directly before the LF goes with it, any other CR is an
// ordinary byte, 0x1A ends the log, and the text after the last LF (empty
// when the log ends with LF or is empty) is a last line of its own.
//
// The reader holds only the unread lines plus one read's worth of bytes;
// the buffer grows only when one line is longer than that. Two ways to use
// it: next_line() hands out one line at a time; or fill() / lines() /
// consume() hand out whole runs of complete lines, for a search that looks
// at a block at once and finds line boundaries only around its hits.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "log/byte_source.h"

constexpr std::size_t kDefaultChunk = std::size_t{1} << 20;

/// The chunk to read a log of `size` bytes in (kNoLimit when not known):
/// no larger than it needs, so a set of small logs takes small buffers.
std::size_t chunk_for(std::uint64_t size);

constexpr char kEndOfFile = 0x1A;
class line_reader {
 public:
  /// Reads file (not owned; null gives no lines at all) chunk bytes at a
  /// time.
  explicit line_reader(std::FILE* file, std::size_t chunk = kDefaultChunk);

  /// The same over any source of bytes (null: no lines at all).
  explicit line_reader(byte_source source, std::size_t chunk = kDefaultChunk);

  /// Next line without its terminator; false when there are no more. The
  /// view is valid until the next call on the reader.
  bool next_line(std::string_view* line);

  /// Reads more of the log. False once it has nothing more to give; then
  /// last_line() holds what is left. A read that fails (a stop request
  /// among the causes) ends the log there.
  bool fill();

  /// The complete lines held, each ending with its LF. They may still hold
  /// the end-of-log byte: a caller that looks at every byte of them finds it
  /// in passing and says so with end_at(), which spares a second pass over
  /// the bytes here.
  std::string_view lines() const;

  /// Marks the first bytes of lines() as handed out.
  void consume(std::size_t bytes);

  /// The end-of-log byte is at offset of lines(): nothing from it on is
  /// handed out, and the bytes before it on its line, which must start at
  /// offset 0 (consume up to it first), become the last line.
  void end_at(std::size_t offset);

  /// Once fill() has returned false: the last line, handed out once. False
  /// when there is none to hand out: it was handed out already, or the log
  /// could not be read to its end, when the text after the last LF is only
  /// a piece of a line.
  bool last_line(std::string_view* line);

  /// Makes the first read no larger than `first`, and each read after it
  /// twice the one before, up to the chunk: a log whose first lines may
  /// end its reading is not decoded further than they need.
  void start_small(std::size_t first) { next_read_ = first; }

  /// Makes an empty last line no line at all: a log read as one of several
  /// ends its last line, and only the last log's text ends in an empty one.
  void drop_empty_last_line() { drop_empty_last_ = true; }

  /// True when a line was too long for the memory left; the rest of the
  /// log is not read.
  bool line_too_long() const { return out_of_memory_; }

  /// The errno value of a read that failed, ending the log early; 0 when
  /// none did.
  int read_error() const { return read_error_; }

  /// Where text (a view of bytes the reader handed out, still valid) lies
  /// in the log: its byte offset from the start.
  std::uint64_t offset_of(std::string_view text) const;

  /// Bytes read from the log so far.
  std::uint64_t bytes_read() const { return bytes_read_; }

  /// Bytes the buffer holds room for; the tests keep it bounded.
  std::size_t capacity() const { return capacity_; }

 private:
  bool make_room(std::size_t read_size);
  void place_held(std::size_t held);
  void find_end_after(std::size_t from);

  byte_source source_;
  std::size_t chunk_;
  std::size_t next_read_ = 0;  // the next read's size, when below chunk_
  std::uint64_t bytes_read_ = 0;
  // Grown with realloc (see make_room), so one huge line costs about its
  // own size, and a line too long for memory is reported, not a crash.
  struct free_deleter {
    void operator()(char* p) const { std::free(p); }
  };
  std::unique_ptr<char, free_deleter> buffer_;
  std::size_t capacity_ = 0;  // bytes allocated in buffer_
  std::int64_t buffer_offset_ = 0;  // offset in the log of buffer_[0]
  std::size_t begin_ = 0;     // start of the first byte not handed out
  std::size_t end_ = 0;       // end of the bytes read so far
  std::size_t last_lf_ = 0;   // one past the last LF in [begin_, end_)
  bool ended_ = false;        // nothing more to read
  bool finished_ = false;     // the last line has been handed out
  bool out_of_memory_ = false;
  bool drop_empty_last_ = false;
  int read_error_ = 0;
};

/// The LF bytes in [text, text + size), at the speed of memory.
std::size_t count_lf(const char* text, std::size_t size);

/// A line without its LF and without a CR directly before that LF.
std::string_view strip_cr(std::string_view line_with_lf);
