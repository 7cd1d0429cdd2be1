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

// All ones in the bytes of the 16 at p that equal the byte in each lane of v.
inline __m128i equal_bytes(const char* p, __m128i v) {
  return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                        v);
}

inline unsigned mask_of(__m128i v) {
  return static_cast<unsigned>(_mm_movemask_epi8(v));
}

// One bit per start in [p, p + 16) whose first and last bytes match the term.
// Reads p[0..15] and p[n-1 .. n+14], which the callers keep inside the text.
inline unsigned candidates(const char* p, std::size_t n, __m128i first,
                           __m128i last) {
  return mask_of(
      _mm_and_si128(equal_bytes(p, first), equal_bytes(p + n - 1, last)));
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

// The first match among the 64 starts at p, given which of them have the
// term's first byte.
inline const char* confirm_round(const char* p, const __m128i (&firsts)[4],
                                 const char* term, std::size_t n,
                                 __m128i last) {
  for (int i = 0; i < 4; ++i) {
    const char* q = p + 16 * i;
    const unsigned mask = mask_of(
        _mm_and_si128(firsts[i], equal_bytes(q + n - 1, last)));
    if (const char* hit = confirm(q, mask, term, n)) return hit;
  }
  return nullptr;
}

const char* find_sse2(const char* p, const char* stop, const char* term,
                      std::size_t n) {
  if (stop - p < 16) return find_plain(p, stop, term, n);
  const __m128i first = _mm_set1_epi8(term[0]);
  const __m128i last = _mm_set1_epi8(term[n - 1]);

  // 64 starts a round, ruled out by a single branch in the common case.
  // While the first byte is rare in the text, it alone is compared, and the
  // last byte only in rounds that hold the first; a round then costs half.
  // Once the first byte shows up in more than about a quarter of the rounds
  // (a digit of an address, say), both are compared in every round. The
  // count starts near the switch, so that a term whose hits come every few
  // lines, searched afresh after each, does not pay for learning each time.
  int busy = 40;
  while (stop - p >= 64 && busy < 48) {
    const __m128i firsts[4] = {
        equal_bytes(p, first), equal_bytes(p + 16, first),
        equal_bytes(p + 32, first), equal_bytes(p + 48, first)};
    if (mask_of(_mm_or_si128(_mm_or_si128(firsts[0], firsts[1]),
                             _mm_or_si128(firsts[2], firsts[3]))) == 0) {
      busy -= busy > 0 ? 1 : 0;
    } else {
      if (const char* hit = confirm_round(p, firsts, term, n, last))
        return hit;
      busy += 3;
    }
    p += 64;
  }
  while (stop - p >= 64) {
    const __m128i both[4] = {
        _mm_and_si128(equal_bytes(p, first), equal_bytes(p + n - 1, last)),
        _mm_and_si128(equal_bytes(p + 16, first),
                      equal_bytes(p + 15 + n, last)),
        _mm_and_si128(equal_bytes(p + 32, first),
                      equal_bytes(p + 31 + n, last)),
        _mm_and_si128(equal_bytes(p + 48, first),
                      equal_bytes(p + 47 + n, last))};
    if (mask_of(_mm_or_si128(_mm_or_si128(both[0], both[1]),
                             _mm_or_si128(both[2], both[3]))) != 0) {
      for (int i = 0; i < 4; ++i)
        if (const char* hit = confirm(p + 16 * i, mask_of(both[i]), term, n))
          return hit;
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
