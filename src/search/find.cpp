#include "search/find.h"

#include <cstdint>
#include <cstring>

// SSE2 is part of x86-64 itself, so no run-time check is needed there.
#if defined(__x86_64__) || defined(_M_X64)
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
    const void* hit =
        std::memchr(p, term[0], static_cast<std::size_t>(stop - p));
    if (hit == nullptr) return nullptr;
    p = static_cast<const char*>(hit);
    if (p[n - 1] == last && rest_matches(p, term, n)) return p;
    ++p;
  }
  return nullptr;
}

#ifdef VANTREL_FIND_SSE2

inline unsigned lowest_bit(std::uint64_t mask) {
#if defined(_MSC_VER)
  unsigned long index = 0;
  _BitScanForward64(&index, mask);
  return static_cast<unsigned>(index);
#else
  return static_cast<unsigned>(__builtin_ctzll(mask));
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

// The term as the vector search needs it.
struct needle {
  const char* term;
  std::size_t n;         // 2 or more
  const char* text_end;  // one past the last byte that may be read
  __m128i first;         // the first byte in every lane
  __m128i last;          // the last byte in every lane
  __m128i whole;         // the term itself, when it fits in a vector
  unsigned whole_bits;   // one bit per byte of the term, or 0 when longer
};

needle make_needle(const char* term, std::size_t n, const char* text_end) {
  needle d;
  d.term = term;
  d.n = n;
  d.text_end = text_end;
  d.first = _mm_set1_epi8(term[0]);
  d.last = _mm_set1_epi8(term[n - 1]);
  d.whole = _mm_setzero_si128();
  d.whole_bits = 0;
  if (n <= 16) {
    char padded[16] = {};
    std::memcpy(padded, term, n);
    d.whole = _mm_loadu_si128(reinterpret_cast<const __m128i*>(padded));
    d.whole_bits = n == 16 ? 0xFFFFu : (1u << n) - 1;
  }
  return d;
}

// True when the term starts at c, whose first and last bytes match already.
// A short term is compared in one vector when the text goes on far enough;
// in logs of addresses the candidates are many, and a call per candidate
// would cost more than the scan.
inline bool matches_at(const needle& d, const char* c) {
  if (d.whole_bits != 0 && d.text_end - c >= 16)
    return (mask_of(equal_bytes(c, d.whole)) & d.whole_bits) == d.whole_bits;
  return rest_matches(c, d.term, d.n);
}

// The first match among the starts p + i for the bits i of mask. A round's
// four masks are joined into one, so that a round with one candidate costs
// one loop, not four: in logs of addresses such rounds are frequent, and
// every branch they mispredict costs as much as scanning 64 bytes.
inline const char* confirm(const needle& d, const char* p, std::uint64_t mask) {
  for (; mask != 0; mask &= mask - 1) {
    const char* c = p + lowest_bit(mask);
    if (matches_at(d, c)) return c;
  }
  return nullptr;
}

inline std::uint64_t join(__m128i c0, __m128i c1, __m128i c2, __m128i c3) {
  return std::uint64_t{mask_of(c0)} | std::uint64_t{mask_of(c1)} << 16 |
         std::uint64_t{mask_of(c2)} << 32 | std::uint64_t{mask_of(c3)} << 48;
}

// One bit per start in [p, p + 16) whose first and last bytes match the term.
// Reads p[0..15] and p[n-1 .. n+14], which the callers keep inside the text.
inline __m128i both_ends(const needle& d, const char* p) {
  return _mm_and_si128(equal_bytes(p, d.first),
                       equal_bytes(p + d.n - 1, d.last));
}

// The first match among the 64 starts at p, given a vector per 16 of them
// with the starts that hold the term's first byte.
inline const char* confirm_lazy(const needle& d, const char* p, __m128i f0,
                                __m128i f1, __m128i f2, __m128i f3) {
  const char* end = p + d.n - 1;
  return confirm(d, p,
                 join(_mm_and_si128(f0, equal_bytes(end, d.last)),
                      _mm_and_si128(f1, equal_bytes(end + 16, d.last)),
                      _mm_and_si128(f2, equal_bytes(end + 32, d.last)),
                      _mm_and_si128(f3, equal_bytes(end + 48, d.last))));
}

const char* find_sse2(const char* p, const char* stop, const char* term,
                      std::size_t n) {
  if (stop - p < 16) return find_plain(p, stop, term, n);
  const needle d = make_needle(term, n, stop + (n - 1));

  // 64 starts a round, ruled out by a single branch in the common case.
  // While the first byte is rare in the text, it alone is compared, and the
  // last byte only in rounds that hold the first; a round then costs half.
  // Once the first byte shows up in more than about a quarter of the rounds
  // (a digit of an address, say), both are compared in every round. The
  // count starts near the switch, so that a term whose hits come every few
  // lines, searched afresh after each, does not pay for learning each time.
  int busy = 40;
  while (stop - p >= 64 && busy < 48) {
    const __m128i f0 = equal_bytes(p, d.first);
    const __m128i f1 = equal_bytes(p + 16, d.first);
    const __m128i f2 = equal_bytes(p + 32, d.first);
    const __m128i f3 = equal_bytes(p + 48, d.first);
    if (mask_of(_mm_or_si128(_mm_or_si128(f0, f1), _mm_or_si128(f2, f3))) ==
        0) {
      busy -= busy > 0 ? 1 : 0;
    } else {
      if (const char* hit = confirm_lazy(d, p, f0, f1, f2, f3)) return hit;
      busy += 3;
    }
    p += 64;
  }
  while (stop - p >= 64) {
    const __m128i c0 = both_ends(d, p);
    const __m128i c1 = both_ends(d, p + 16);
    const __m128i c2 = both_ends(d, p + 32);
    const __m128i c3 = both_ends(d, p + 48);
    if (mask_of(_mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3))) !=
        0) {
      if (const char* hit = confirm(d, p, join(c0, c1, c2, c3))) return hit;
    }
    p += 64;
  }
  while (stop - p >= 16) {
    if (const char* hit = confirm(d, p, mask_of(both_ends(d, p)))) return hit;
    p += 16;
  }
  if (p == stop) return nullptr;
  // The last starts: one vector ending at stop, overlapping starts already
  // seen, whose bits are dropped.
  const char* tail = stop - 16;
  const unsigned seen = static_cast<unsigned>(p - tail);
  return confirm(d, tail, mask_of(both_ends(d, tail)) >> seen << seen);
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
