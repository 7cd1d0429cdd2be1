#include "log/line_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <immintrin.h>
#endif

// The log is read, never mapped: a mapped file that another process cuts
// short (log rotation by copy and truncate) would kill the reader.

namespace {

constexpr std::size_t kReadAlign = 64;

// One past the last LF in [from, to), or 0 when there is none.
std::size_t find_last_lf(const char* buffer, std::size_t from,
                         std::size_t to) {
  for (std::size_t i = to; i > from; --i)
    if (buffer[i - 1] == '\n') return i;
  return 0;
}

}  // anonymous namespace

std::size_t chunk_for(std::uint64_t size) {
  constexpr std::uint64_t kSmallest = std::uint64_t{64} << 10;
  return static_cast<std::size_t>(
      std::clamp<std::uint64_t>(size, kSmallest, kDefaultChunk));
}

line_reader::line_reader(std::FILE* file, std::size_t chunk)
    : line_reader(file_source(file), chunk) {}

line_reader::line_reader(byte_source source, std::size_t chunk)
    : source_(std::move(source)), chunk_(chunk == 0 ? 1 : chunk) {
  if (!source_) ended_ = finished_ = true;
}

// Makes room for one more read after the bytes still held. The buffer
// grows only when a single line fills it, and then by what the read needs
// while the line fits in one read; a longer line doubles it, so holding
// that line costs amortised linear time. It grows by realloc, which can
// extend a large block without copying it, and the part not yet read into
// is never touched, so it costs no memory. A small first read gets room
// for itself alone, so a log closed after it maps no whole chunk. False
// when memory for the longer line cannot be had.
bool line_reader::make_room(std::size_t read_size) {
  const std::size_t held = end_ - begin_;
  const std::size_t most = std::numeric_limits<std::size_t>::max();
  if (held > most - read_size - kReadAlign) return false;
  const std::size_t needed = held + read_size + kReadAlign;
  if (capacity_ < needed) {
    std::size_t wanted = needed;
    if (held >= chunk_)
      wanted = std::max(wanted, capacity_ > most / 2 ? most : capacity_ * 2);
    void* grown = std::realloc(buffer_.get(), wanted);
    if (grown == nullptr) return false;
    buffer_.release();
    buffer_.reset(static_cast<char*>(grown));
    capacity_ = wanted;
  }
  place_held(held);
  return true;
}

// Moves the bytes still held to the front, just so far in that the read
// after them lands on a 64-byte boundary: a read into an address a few
// bytes past one is markedly slower in the kernel's copy.
void line_reader::place_held(std::size_t held) {
  const auto base = reinterpret_cast<std::uintptr_t>(buffer_.get());
  const std::size_t pad = (kReadAlign - (base + held) % kReadAlign) % kReadAlign;
  if (begin_ != pad) std::memmove(buffer_.get() + pad, buffer_.get() + begin_, held);
  last_lf_ = last_lf_ > begin_ ? last_lf_ - begin_ + pad : pad;
  buffer_offset_ += static_cast<std::int64_t>(begin_) -
                    static_cast<std::int64_t>(pad);
  begin_ = pad;
  end_ = pad + held;
}

// Ends the log at the first end-of-log byte in [from, end_), if any.
void line_reader::find_end_after(std::size_t from) {
  const void* quit = std::memchr(buffer_.get() + from, kEndOfFile, end_ - from);
  if (quit == nullptr) return;
  end_ = static_cast<std::size_t>(static_cast<const char*>(quit) -
                                  buffer_.get());
  ended_ = true;
}

bool line_reader::fill() {
  if (ended_) return false;
  const std::size_t size =
      next_read_ != 0 && next_read_ < chunk_ ? next_read_ : chunk_;
  if (!make_room(size)) {
    // The line in progress cannot be held whole; handing out a piece of
    // it as a line would write a line the log does not have.
    out_of_memory_ = ended_ = finished_ = true;
    return false;
  }
  next_read_ = size * 2;
  int error = 0;
  const std::ptrdiff_t read = source_(buffer_.get() + end_, size, &error);
  if (read <= 0) {
    // A piece of a line before a failed read is not a line of the log.
    if (read < 0) read_error_ = error;
    ended_ = true;
    finished_ = read < 0;
    return false;
  }
  const auto got = static_cast<std::size_t>(read);
  bytes_read_ += got;
  const std::size_t from = end_;
  end_ += got;
  const std::size_t lf = find_last_lf(buffer_.get(), from, end_);
  // Complete lines are left to whoever reads them; the bytes after the last
  // LF are looked at now, so a long run without LF behind the end-of-log
  // byte is never gathered as if it were a line.
  find_end_after(lf != 0 ? lf : from);
  if (lf != 0) last_lf_ = lf;
  return true;
}

std::uint64_t line_reader::offset_of(std::string_view text) const {
  return static_cast<std::uint64_t>(buffer_offset_ +
                                    (text.data() - buffer_.get()));
}

std::string_view line_reader::lines() const {
  if (last_lf_ <= begin_) return {};
  return std::string_view(buffer_.get() + begin_, last_lf_ - begin_);
}

void line_reader::consume(std::size_t bytes) {
  begin_ = std::min(begin_ + bytes, std::max(last_lf_, begin_));
}

void line_reader::end_at(std::size_t offset) {
  end_ = std::min(end_, begin_ + offset);
  last_lf_ = begin_;
  ended_ = true;
}

bool line_reader::last_line(std::string_view* line) {
  if (finished_) return false;
  finished_ = true;
  if (drop_empty_last_ && end_ == begin_) return false;
  *line = std::string_view(buffer_.get() + begin_, end_ - begin_);
  begin_ = end_;
  return true;
}

bool line_reader::next_line(std::string_view* line) {
  std::size_t scan = begin_;  // no LF lies in [begin_, scan)
  for (;;) {
    if (finished_) return false;
    const char* at = buffer_.get() + begin_;
    const void* lf =
        scan < end_ ? std::memchr(buffer_.get() + scan, '\n', end_ - scan)
                    : nullptr;
    if (lf != nullptr) {
      const std::size_t size =
          static_cast<std::size_t>(static_cast<const char*>(lf) - at) + 1;
      const void* quit = std::memchr(at, kEndOfFile, size);
      if (quit != nullptr) {
        end_at(static_cast<std::size_t>(static_cast<const char*>(quit) - at));
        return last_line(line);
      }
      *line = strip_cr(std::string_view(at, size));
      begin_ += size;
      return true;
    }
    scan = end_ - begin_;  // offsets move when fill() makes room
    if (!fill()) return last_line(line);
    scan += begin_;
  }
}

std::string_view strip_cr(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// 32 bytes at a time where the processor has AVX2; the bytes it leaves
// (fewer than 32) go to the 16-byte loop. Byte counters, each bumped at
// most 255 times, then summed: a count widened at every byte runs at a
// fraction of this speed.
__attribute__((target("avx2"))) std::size_t count_lf_avx2(
    const char* text, std::size_t size, std::size_t* done) {
  const __m256i lf = _mm256_set1_epi8('\n');
  std::size_t count = 0;
  std::size_t i = 0;
  while (size - i >= 32) {
    const std::size_t rounds = std::min<std::size_t>((size - i) / 32, 255);
    __m256i counters = _mm256_setzero_si256();
    for (std::size_t r = 0; r < rounds; ++r, i += 32) {
      const __m256i bytes =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
      counters = _mm256_sub_epi8(counters, _mm256_cmpeq_epi8(bytes, lf));
    }
    const __m256i sums = _mm256_sad_epu8(counters, _mm256_setzero_si256());
    count += static_cast<std::size_t>(_mm256_extract_epi64(sums, 0)) +
             static_cast<std::size_t>(_mm256_extract_epi64(sums, 1)) +
             static_cast<std::size_t>(_mm256_extract_epi64(sums, 2)) +
             static_cast<std::size_t>(_mm256_extract_epi64(sums, 3));
  }
  *done = i;
  return count;
}

bool has_avx2() {
  static const bool has = __builtin_cpu_supports("avx2") != 0;
  return has;
}
#endif

}  // anonymous namespace

std::size_t count_lf(const char* text, std::size_t size) {
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (has_avx2()) count = count_lf_avx2(text, size, &i);
#endif
#if defined(__SSE2__) || defined(_M_X64)
  const __m128i lf = _mm_set1_epi8('\n');
  while (size - i >= 16) {
    const std::size_t rounds = std::min<std::size_t>((size - i) / 16, 255);
    __m128i counters = _mm_setzero_si128();
    for (std::size_t r = 0; r < rounds; ++r, i += 16) {
      const __m128i bytes =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(bytes, lf));
    }
    const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(
                 _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; i < size; ++i) count += text[i] == '\n';
  return count;
}
