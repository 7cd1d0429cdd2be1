#include "search/line_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kEndOfFile = 0x1A;

// Makes room for one more read after the bytes still held, moving them to
// the front first. The buffer grows only when a single line fills it, and
// only by what the read needs: the vector's own growth keeps that amortised,
// and the capacity it reserves beyond the size is never touched, so it costs
// no memory until a longer line needs it.
void make_room(line_reader& r) {
  if (r.begin > 0) {
    const std::size_t held = r.end - r.begin;
    std::memmove(r.buffer.data(), r.buffer.data() + r.begin, held);
    r.scan -= r.begin;
    r.last_lf = r.last_lf > r.begin ? r.last_lf - r.begin : 0;
    r.end = held;
    r.begin = 0;
  }
  if (r.buffer.size() - r.end < r.chunk) r.buffer.resize(r.end + r.chunk);
}

// One past the last LF in [from, to), or 0 when there is none.
std::size_t find_last_lf(const std::vector<char>& buffer, std::size_t from,
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

bool fill(line_reader& r) {
  if (r.ended) return false;
  make_room(r);
  const std::size_t got =
      std::fread(r.buffer.data() + r.end, 1, r.chunk, r.file);
  if (got == 0) {
    r.ended = true;
    return false;
  }
  const std::size_t from = r.end;
  r.end += got;
  const void* quit = std::memchr(r.buffer.data() + from, kEndOfFile, got);
  if (quit != nullptr) {
    r.end = static_cast<std::size_t>(static_cast<const char*>(quit) -
                                     r.buffer.data());
    r.ended = true;
  }
  const std::size_t lf = find_last_lf(r.buffer, from, r.end);
  if (lf != 0) r.last_lf = lf;
  return true;
}

std::string_view complete_lines(const line_reader& r) {
  if (r.last_lf <= r.begin) return {};
  return std::string_view(r.buffer.data() + r.begin, r.last_lf - r.begin);
}

void consume_complete_lines(line_reader& r) {
  if (r.last_lf > r.begin) r.begin = r.last_lf;
  r.scan = std::max(r.scan, r.begin);
}

std::string_view take_last_line(line_reader& r) {
  r.finished = true;
  std::string_view last(r.buffer.data() + r.begin, r.end - r.begin);
  r.begin = r.end;
  return last;
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
            ? std::memchr(r.buffer.data() + r.scan, '\n', r.end - r.scan)
            : nullptr;
    if (lf != nullptr) {
      const std::size_t stop =
          static_cast<std::size_t>(static_cast<const char*>(lf) -
                                   r.buffer.data()) + 1;
      *line = strip_cr(std::string_view(r.buffer.data() + r.begin,
                                        stop - r.begin));
      r.begin = r.scan = stop;
      return true;
    }
    r.scan = r.end;
    if (!fill(r)) {
      *line = take_last_line(r);
      return true;
    }
  }
}
