#include "search/line_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Makes room for one more read after the bytes still held, moving them to
// the front first. The buffer grows only when a single line fills it, and
// then by what the read needs while the line fits in one read; a longer
// line doubles it, so holding that line costs amortised linear time. It
// grows by realloc, which can extend a large block without copying it, and
// the part not yet read into is never touched, so it costs no memory.
// False when memory for the longer line cannot be had.
bool make_room(line_reader& r) {
  if (r.begin > 0) {
    const std::size_t held = r.end - r.begin;
    std::memmove(r.buffer.get(), r.buffer.get() + r.begin, held);
    r.scan -= r.begin;
    r.last_lf = r.last_lf > r.begin ? r.last_lf - r.begin : 0;
    r.end = held;
    r.begin = 0;
  }
  if (r.capacity - r.end >= r.chunk) return true;
  const std::size_t most = std::numeric_limits<std::size_t>::max();
  if (r.end > most - r.chunk) return false;
  std::size_t wanted = r.end + r.chunk;
  if (r.end >= r.chunk)
    wanted = std::max(wanted, r.capacity > most / 2 ? most : r.capacity * 2);
  void* grown = std::realloc(r.buffer.get(), wanted);
  if (grown == nullptr) return false;
  r.buffer.release();
  r.buffer.reset(static_cast<char*>(grown));
  r.capacity = wanted;
  return true;
}

// One past the last LF in [from, to), or 0 when there is none.
std::size_t find_last_lf(const char* buffer, std::size_t from,
                         std::size_t to) {
  for (std::size_t i = to; i > from; --i)
    if (buffer[i - 1] == '\n') return i;
  return 0;
}

}  // anonymous namespace

void open_reader(line_reader& reader, std::FILE* file, std::size_t chunk) {
  reader = line_reader{};
  reader.file = file;
  reader.chunk = chunk == 0 ? 1 : chunk;
  if (file == nullptr) reader.ended = reader.finished = true;
}

void limit_reader(line_reader& reader, std::uint64_t bytes) {
  reader.remaining = bytes;
}

bool fill(line_reader& r) {
  if (r.ended) return false;
  if (!make_room(r)) {
    // The line in progress cannot be held whole; handing out a piece of
    // it as a line would write a line the log does not have.
    r.out_of_memory = r.ended = r.finished = true;
    return false;
  }
  std::size_t want = r.chunk;
  if (r.remaining < want)
    want = static_cast<std::size_t>(r.remaining);
  const std::size_t got =
      want == 0 ? 0 : std::fread(r.buffer.get() + r.end, 1, want, r.file);
  if (got == 0) {
    r.ended = true;
    return false;
  }
  r.remaining -= got;
  const std::size_t from = r.end;
  r.end += got;
  std::size_t lf = find_last_lf(r.buffer.get(), from, r.end);
  const std::size_t look = r.caller_finds_end_in_lines && lf != 0 ? lf : from;
  const void* quit =
      std::memchr(r.buffer.get() + look, kEndOfFile, r.end - look);
  if (quit != nullptr) {
    r.end = static_cast<std::size_t>(static_cast<const char*>(quit) -
                                     r.buffer.get());
    r.ended = true;
    if (lf > r.end) lf = find_last_lf(r.buffer.get(), from, r.end);
  }
  if (lf != 0) r.last_lf = lf;
  return true;
}

std::string_view complete_lines(const line_reader& r) {
  if (r.last_lf <= r.begin) return {};
  return std::string_view(r.buffer.get() + r.begin, r.last_lf - r.begin);
}

void consume_complete_lines(line_reader& r) {
  if (r.last_lf > r.begin) r.begin = r.last_lf;
  r.scan = std::max(r.scan, r.begin);
}

std::string_view take_last_line(line_reader& r) {
  const bool had = !r.finished && r.end > r.begin;
  r.finished = true;
  if (!had) return {};
  std::string_view last(r.buffer.get() + r.begin, r.end - r.begin);
  r.begin = r.end;
  return last;
}

void end_reader_at(line_reader& r, std::size_t at) {
  r.end = std::min(r.end, r.begin + at);
  r.last_lf = std::min(r.last_lf, r.end);
  r.begin = r.scan = r.end;
  r.ended = r.finished = true;
}

std::string_view strip_cr(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool next_line(line_reader& r, std::string_view* line) {
  for (;;) {
    if (r.finished) return false;
    r.scan = std::max(r.scan, r.begin);
    const void* lf =
        r.scan < r.end
            ? std::memchr(r.buffer.get() + r.scan, '\n', r.end - r.scan)
            : nullptr;
    if (lf != nullptr) {
      const std::size_t stop =
          static_cast<std::size_t>(static_cast<const char*>(lf) -
                                   r.buffer.get()) + 1;
      *line = strip_cr(std::string_view(r.buffer.get() + r.begin,
                                        stop - r.begin));
      r.begin = r.scan = stop;
      return true;
    }
    r.scan = r.end;
    if (!fill(r)) {
      if (r.finished) return false;
      *line = take_last_line(r);
      return true;
    }
  }
}
