#include "search/find.h"

#include <cstring>

// SSE2 is part of x86-64 itself, so no run-time check is needed there.
#if defined(__SSE2__) || defined(_M_X64) || \
    (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define VANTREL_FIND_SSE2 1
#include <emmintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#endif
#endif

namespace {

// True when the n >= 2 bytes at p are the term; its first and last bytes are
// already known to match, so only the bytes between them are compared.
inline bool rest_matches(const char* p, const char* term, std::size_t n) {
  return std::memcmp(p + 1, term + 1, n - 2) == 0;
}

// Scans the candidate starts [p, stop) one by one, jumping with memchr to the
// next first byte. Serves short spans and the platforms without SSE2.
const char* find_plain(const char* p, const char* stop, const char* term,
                       std::size_t n) {
  const char last = term[n - 1];
  while (p < stop) {
    const void* hit = std::memchr(p, term[0], static_cast<std::size_t>(stop - p));
    if (hit == nullptr) return nullptr;
    p = static_cast<const char*>(hit);
    if (p[n - 1] == last && rest_matches(p, term, n)) return p;
    ++p;
  }
  return nullptr;
}

#ifdef VANTREL_FIND_SSE2

inline unsigned lowest_bit(unsigned mask) {
#if defined(_MSC_VER)
  unsigned long index = 0;
  _BitScanForward(&index, mask);
  return static_cast<unsigned>(index);
#else
  return static_cast<unsigned>(__builtin_ctz(mask));
#endif
}

// Bytes set to all ones at the starts in [p, p + 16) whose first and last
// bytes match the term. Reads p[0..15] and p[n-1 .. n+14], which the callers
// keep inside the text.
inline __m128i candidate_bytes(const char* p, std::size_t n, __m128i first,
                               __m128i last) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
  return _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last));
}

inline unsigned candidates(const char* p, std::size_t n, __m128i first,
                           __m128i last) {
  return static_cast<unsigned>(
      _mm_movemask_epi8(candidate_bytes(p, n, first, last)));
}

// The first candidate in mask (bit i is the start p + i) that is a match.
inline const char* confirm(const char* p, unsigned mask, const char* term,
                           std::size_t n) {
  for (; mask != 0; mask &= mask - 1) {
    const char* c = p + lowest_bit(mask);
    if (rest_matches(c, term, n)) return c;
  }
  return nullptr;
}

const char* find_sse2(const char* p, const char* stop, const char* term,
                      std::size_t n) {
  if (stop - p < 16) return find_plain(p, stop, term, n);
  const __m128i first = _mm_set1_epi8(term[0]);
  const __m128i last = _mm_set1_epi8(term[n - 1]);
  // Four vectors a round with one test: candidates are rare in a log, so
  // the common case is 64 starts ruled out by a single branch.
  while (stop - p >= 64) {
    const __m128i c0 = candidate_bytes(p, n, first, last);
    const __m128i c1 = candidate_bytes(p + 16, n, first, last);
    const __m128i c2 = candidate_bytes(p + 32, n, first, last);
    const __m128i c3 = candidate_bytes(p + 48, n, first, last);
    const __m128i any =
        _mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3));
    if (_mm_movemask_epi8(any) != 0) {
      const __m128i parts[] = {c0, c1, c2, c3};
      for (int i = 0; i < 4; ++i) {
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(parts[i]));
        if (const char* hit = confirm(p + 16 * i, mask, term, n)) return hit;
      }
    }
    p += 64;
  }
  while (stop - p >= 16) {
    if (const char* hit = confirm(p, candidates(p, n, first, last), term, n))
      return hit;
    p += 16;
  }
  if (p == stop) return nullptr;
  // The last starts: one vector ending at stop, overlapping starts already
  // seen, whose bits are dropped.
  const char* tail = stop - 16;
  const unsigned seen = static_cast<unsigned>(p - tail);
  return confirm(tail, candidates(tail, n, first, last) >> seen << seen, term,
                 n);
}

#endif  // VANTREL_FIND_SSE2

}  // anonymous namespace

std::size_t find_term(std::string_view text, std::string_view term,
                      std::size_t from) {
  const std::size_t size = text.size();
  const std::size_t n = term.size();
  if (from > size) return std::string_view::npos;
  if (n == 0) return from;
  if (n > size - from) return std::string_view::npos;

  const char* const base = text.data();
  const char* const p = base + from;
  const char* const stop = base + (size - n) + 1;  // past the last start
  const char* hit = nullptr;
  if (n == 1) {
    hit = static_cast<const char*>(
        std::memchr(p, term[0], static_cast<std::size_t>(stop - p)));
  } else {
#ifdef VANTREL_FIND_SSE2
    hit = find_sse2(p, stop, term.data(), n);
#else
    hit = find_plain(p, stop, term.data(), n);
#endif
  }
  return hit == nullptr ? std::string_view::npos
                        : static_cast<std::size_t>(hit - base);
}
