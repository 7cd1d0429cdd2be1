#include "search/find_x86.h"

#ifdef VANTREL_FIND_X86

#include <cstdint>
#include <cstring>

#include <immintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#endif

// Functions using AVX2 are compiled for it one by one and only called once
// the processor is known to have it; the rest of the program stays SSE2.
#if defined(__GNUC__) || defined(__clang__)
#define VANTREL_AVX2 __attribute__((target("avx2")))
#else
#define VANTREL_AVX2
#endif

namespace {

inline unsigned lowest_bit(std::uint64_t mask) {
#if defined(_MSC_VER)
  unsigned long index = 0;
  _BitScanForward64(&index, mask);
  return static_cast<unsigned>(index);
#else
  return static_cast<unsigned>(__builtin_ctzll(mask));
#endif
}

inline __m128i load(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// All ones in the bytes of the 16 at p that equal the byte in each lane of v.
inline __m128i equal_bytes(const char* p, __m128i v) {
  return _mm_cmpeq_epi8(load(p), v);
}

inline unsigned mask_of(__m128i v) {
  return static_cast<unsigned>(_mm_movemask_epi8(v));
}

// Bytes from the most to the least common in firewall logs, roughly: those
// of addresses, times and ports, then spaces, lower-case letters, common
// punctuation and upper case. A byte not listed counts as the rarest. The
// order only steers the filter; any order gives the same results.
constexpr char kCommonFirst[] =
    ".01 :2345678-9/etaoinsrlcdhupmgfTCPSUDAIREONLH(),_=@ywbvkxjqzMBFGKVWY"
    "XJQZ%<>[]#";

struct commonness_table {
  unsigned char of[256] = {};
  constexpr commonness_table() {
    const std::size_t count = sizeof kCommonFirst - 1;
    for (std::size_t i = 0; i < count; ++i)
      of[static_cast<unsigned char>(kCommonFirst[i])] =
          static_cast<unsigned char>(count - i);
  }
};

constexpr commonness_table kCommonness;

inline unsigned commonness(char c) {
  return kCommonness.of[static_cast<unsigned char>(c)];
}

// The term as the vector search needs it. The filter looks at two of its
// bytes, the rarest two by commonness, so that fewer places pass it.
struct needle {
  const char* term;
  const char* twin;      // the term in the other case, or null
  std::size_t n;         // 1 or more
  const char* text_end;  // one past the last byte that may be read
  std::size_t at1;       // the rarest byte's offset in the term
  std::size_t at2;       // the next rarest's (the same when n is 1)
  __m128i rare1;         // the byte at at1 in every lane
  __m128i rare2;         // the byte at at2 in every lane
  // With a twin, a letter where the two differ is compared with its case
  // bit set on both sides, so one filter passes the places of either.
  __m128i fold1;         // 0x20 in every lane there, else 0
  __m128i fold2;
  __m128i whole;         // the term itself, when it fits in a vector
  __m128i twin_whole;    // the twin, likewise
  unsigned whole_bits;   // one bit per byte of the term, or 0 when longer
  __m128i mark;          // the byte that also ends the search, in every lane
  // Term and twin are a term's upper and lower forms, and any spelling
  // between them is a hit: the filter already passes every one.
  bool any_case;
};

// The byte at i as the filter compares it: with its case bit set where the
// twin differs there (only ever in the case of a letter).
inline char filter_byte(const char* term, const char* twin, std::size_t i) {
  return twin != nullptr && twin[i] != term[i]
             ? static_cast<char>(term[i] | 0x20)
             : term[i];
}

inline __m128i fold_at(const char* term, const char* twin, std::size_t i) {
  return _mm_set1_epi8(twin != nullptr && twin[i] != term[i] ? 0x20 : 0);
}

inline __m128i vector_of(const char* bytes, std::size_t n) {
  char padded[16] = {};
  std::memcpy(padded, bytes, n);
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(padded));
}

needle make_needle(const char* term, const char* twin, std::size_t n,
                   const char* text_end, char mark, bool any_case) {
  needle d;
  d.any_case = any_case;
  d.term = term;
  d.twin = twin;
  d.n = n;
  d.text_end = text_end;
  d.at1 = 0;
  for (std::size_t i = 1; i < n; ++i)
    if (commonness(term[i]) < commonness(term[d.at1])) d.at1 = i;
  d.at2 = d.at1;
  for (std::size_t i = 0; i < n; ++i)
    if (i != d.at1 && (d.at2 == d.at1 ||
                       commonness(term[i]) < commonness(term[d.at2])))
      d.at2 = i;
  d.rare1 = _mm_set1_epi8(filter_byte(term, twin, d.at1));
  d.rare2 = _mm_set1_epi8(filter_byte(term, twin, d.at2));
  d.fold1 = fold_at(term, twin, d.at1);
  d.fold2 = fold_at(term, twin, d.at2);
  d.whole = d.twin_whole = _mm_setzero_si128();
  d.whole_bits = 0;
  if (n <= 16) {
    d.whole = vector_of(term, n);
    d.twin_whole = vector_of(twin != nullptr ? twin : term, n);
    d.whole_bits = n == 16 ? 0xFFFFu : (1u << n) - 1;
  }
  d.mark = _mm_set1_epi8(mark);
  return d;
}

// True when the term starts at c. A short term is compared in one vector
// when the text goes on far enough; in logs of addresses the candidates are
// many, and a call per candidate would cost more than the scan.
inline bool matches_at(const needle& d, const char* c) {
  if (d.whole_bits != 0 && d.text_end - c >= 16) {
    const __m128i text = load(c);
    const unsigned same = mask_of(_mm_cmpeq_epi8(text, d.whole)) |
                          mask_of(_mm_cmpeq_epi8(text, d.twin_whole));
    if ((same & d.whole_bits) != d.whole_bits) return false;
    // Each byte is one term's or the other's; whole only when one of them
    // holds throughout, unless any mix of the two will do.
    if (d.twin == nullptr || d.any_case) return true;
  }
  if (d.any_case) {
    for (std::size_t i = 0; i < d.n; ++i)
      if (c[i] != d.term[i] && c[i] != d.twin[i]) return false;
    return true;
  }
  return std::memcmp(c, d.term, d.n) == 0 ||
         (d.twin != nullptr && std::memcmp(c, d.twin, d.n) == 0);
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

// As confirm, but a mark at p + i for a bit i of marks ends the search:
// the first match before the first mark, or else that mark.
inline const char* confirm_or_mark(const needle& d, const char* p,
                                   std::uint64_t mask, std::uint64_t marks) {
  if (marks == 0) return confirm(d, p, mask);
  const std::uint64_t before = (marks & (0 - marks)) - 1;
  if (const char* hit = confirm(d, p, mask & before)) return hit;
  return p + lowest_bit(marks);
}

// The same, out of line: the 32-byte loop calls it only for a round that
// holds a candidate or a mark, and inlined there it made the compiler move
// the loop's vectors through the stack in every round.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((noinline))
#elif defined(_MSC_VER)
__declspec(noinline)
#endif
const char* confirm_round(const needle& d, const char* p, std::uint64_t mask,
                          std::uint64_t marks) {
  return confirm_or_mark(d, p, mask, marks);
}

inline std::uint64_t join(__m128i c0, __m128i c1, __m128i c2, __m128i c3) {
  return std::uint64_t{mask_of(c0)} | std::uint64_t{mask_of(c1)} << 16 |
         std::uint64_t{mask_of(c2)} << 32 | std::uint64_t{mask_of(c3)} << 48;
}

// v with the lanes of the 16 bytes at p that hold the mark set too, when the
// search looks for a mark; the common case then still takes one branch.
template <bool Mark>
inline __m128i or_marks(const needle& d, const char* p, __m128i v) {
  if constexpr (Mark)
    return _mm_or_si128(v, equal_bytes(p, d.mark));
  else
    return v;
}

// One bit per mark in the 16 or 64 bytes at p; only asked for after a
// round's single branch has seen something.
template <bool Mark>
inline unsigned marks_in_16(const needle& d, const char* p) {
  if constexpr (Mark)
    return mask_of(equal_bytes(p, d.mark));
  else
    return 0;
}

template <bool Mark>
inline std::uint64_t marks_in_64(const needle& d, const char* p) {
  if constexpr (Mark)
    return join(equal_bytes(p, d.mark), equal_bytes(p + 16, d.mark),
                equal_bytes(p + 32, d.mark), equal_bytes(p + 48, d.mark));
  else
    return 0;
}

// The bytes at p that equal the filter's first or second rare byte.
inline __m128i filter1(const needle& d, const char* p) {
  return _mm_cmpeq_epi8(_mm_or_si128(load(p), d.fold1), d.rare1);
}

inline __m128i filter2(const needle& d, const char* p) {
  return _mm_cmpeq_epi8(_mm_or_si128(load(p), d.fold2), d.rare2);
}

// One bit per start in [p, p + 16) that holds both rare bytes where the
// term has them. Reads p[0 .. n+14], which the callers keep inside the text.
inline __m128i both_rare(const needle& d, const char* p) {
  return _mm_and_si128(filter1(d, p + d.at1), filter2(d, p + d.at2));
}

// The first match among the 64 starts at p, given a vector per 16 of them
// with the starts that hold the rarest byte.
template <bool Mark>
inline const char* confirm_lazy(const needle& d, const char* p, __m128i f0,
                                __m128i f1, __m128i f2, __m128i f3) {
  const char* second = p + d.at2;
  return confirm_or_mark(
      d, p,
      join(_mm_and_si128(f0, filter2(d, second)),
           _mm_and_si128(f1, filter2(d, second + 16)),
           _mm_and_si128(f2, filter2(d, second + 32)),
           _mm_and_si128(f3, filter2(d, second + 48))),
      marks_in_64<Mark>(d, p));
}

VANTREL_AVX2 inline __m256i load32(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

VANTREL_AVX2 inline __m256i equal32(const char* p, __m256i v) {
  return _mm256_cmpeq_epi8(load32(p), v);
}

VANTREL_AVX2 inline __m256i folded32(const char* p, __m256i fold, __m256i v) {
  return _mm256_cmpeq_epi8(_mm256_or_si256(load32(p), fold), v);
}

// One bit per byte of the two vectors, the first in the low half.
VANTREL_AVX2 inline std::uint64_t join32(__m256i low, __m256i high) {
  return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(low))} |
         std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))}
             << 32;
}

// Rounds of 64 starts from *at while 64 remain: the first hit or mark, or
// null with *at moved past the rounds ruled out.
template <bool Mark>
const char* rounds_sse2(const char** at, const char* stop, const needle& d) {
  const char* p = *at;
  // 64 starts a round, ruled out by a single branch in the common case.
  // While the rarest byte is rare in the text too, it alone is compared, and
  // the second only in rounds that hold the first; a round then costs half.
  // Once the rarest byte shows up in more than about a quarter of the rounds
  // (a digit of an address, say), both are compared in every round. The
  // count starts near the switch, so that a term whose hits come every few
  // lines, searched afresh after each, does not pay for learning each time.
  int busy = 40;
  while (stop - p >= 64 && busy < 48) {
    const char* rare = p + d.at1;
    const __m128i f0 = filter1(d, rare);
    const __m128i f1 = filter1(d, rare + 16);
    const __m128i f2 = filter1(d, rare + 32);
    const __m128i f3 = filter1(d, rare + 48);
    const __m128i any = _mm_or_si128(
        _mm_or_si128(or_marks<Mark>(d, p, f0), or_marks<Mark>(d, p + 16, f1)),
        _mm_or_si128(or_marks<Mark>(d, p + 32, f2),
                     or_marks<Mark>(d, p + 48, f3)));
    if (mask_of(any) == 0) {
      busy -= busy > 0 ? 1 : 0;
    } else {
      if (const char* hit = confirm_lazy<Mark>(d, p, f0, f1, f2, f3))
        return hit;
      busy += 3;
    }
    p += 64;
  }
  while (stop - p >= 64) {
    const __m128i c0 = both_rare(d, p);
    const __m128i c1 = both_rare(d, p + 16);
    const __m128i c2 = both_rare(d, p + 32);
    const __m128i c3 = both_rare(d, p + 48);
    const __m128i any = _mm_or_si128(
        _mm_or_si128(or_marks<Mark>(d, p, c0), or_marks<Mark>(d, p + 16, c1)),
        _mm_or_si128(or_marks<Mark>(d, p + 32, c2),
                     or_marks<Mark>(d, p + 48, c3)));
    if (mask_of(any) != 0) {
      if (const char* hit = confirm_or_mark(d, p, join(c0, c1, c2, c3),
                                            marks_in_64<Mark>(d, p)))
        return hit;
    }
    p += 64;
  }
  *at = p;
  return nullptr;
}

template <bool Mark>
VANTREL_AVX2 inline __m256i marks32(const char* p, __m256i mark) {
  if constexpr (Mark)
    return equal32(p, mark);
  else
    return _mm256_setzero_si256();
}

// Rounds as in rounds_sse2, for processors with AVX2, but with both rare
// bytes compared in every round. With 32-byte vectors that is two more loads
// a round, and it costs less than a lazy phase: in real logs the rarest byte
// of a user id alone shows up in about one round in twenty, and the branch
// mispredicted at each such round cost more than the compares it spared.
template <bool Mark>
VANTREL_AVX2 const char* rounds_avx2(const char** at, const char* stop,
                                     const needle& d) {
  const __m256i rare1 = _mm256_broadcastsi128_si256(d.rare1);
  const __m256i rare2 = _mm256_broadcastsi128_si256(d.rare2);
  const __m256i fold1 = _mm256_broadcastsi128_si256(d.fold1);
  const __m256i fold2 = _mm256_broadcastsi128_si256(d.fold2);
  const __m256i mark = _mm256_broadcastsi128_si256(d.mark);
  const std::size_t at1 = d.at1;
  const std::size_t at2 = d.at2;
  const char* p = *at;
  for (; stop - p >= 64; p += 64) {
    const char* r1 = p + at1;
    const char* r2 = p + at2;
    const __m256i c0 = _mm256_and_si256(folded32(r1, fold1, rare1),
                                        folded32(r2, fold2, rare2));
    const __m256i c1 = _mm256_and_si256(folded32(r1 + 32, fold1, rare1),
                                        folded32(r2 + 32, fold2, rare2));
    const __m256i m0 = marks32<Mark>(p, mark);
    const __m256i m1 = marks32<Mark>(p + 32, mark);
    const __m256i any =
        _mm256_or_si256(_mm256_or_si256(c0, c1), _mm256_or_si256(m0, m1));
    if (_mm256_testz_si256(any, any)) continue;
    if (const char* hit = confirm_round(d, p, join32(c0, c1), join32(m0, m1)))
      return hit;
  }
  *at = p;
  return nullptr;
}

bool processor_has_avx2() {
#if defined(_MSC_VER) && !defined(__clang__)
  int regs[4];
  __cpuid(regs, 0);
  if (regs[0] < 7) return false;
  __cpuid(regs, 1);
  // The system must save the 32-byte registers too (OSXSAVE, then XCR0).
  if ((regs[2] & (1 << 27)) == 0 || (_xgetbv(0) & 6) != 6) return false;
  __cpuidex(regs, 7, 0);
  return (regs[1] & (1 << 5)) != 0;
#else
  // Checks the system's support for the registers as well.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#endif
}

bool avx2_in_use = processor_has_avx2();

// The first hit or mark among the 16 starts at p.
template <bool Mark>
inline const char* confirm_16(const needle& d, const char* p) {
  return confirm_or_mark(d, p, mask_of(both_rare(d, p)),
                         marks_in_16<Mark>(d, p));
}

template <bool Mark>
const char* find_vector(const char* p, const char* stop, const needle& d) {
  // The 32-byte rounds go faster on 64-byte boundaries, where their loads
  // for the mark do not straddle cache lines. The starts before the first
  // boundary are taken 16 at a time, the first step overlapping the second.
  // The 16-byte rounds measured slower with this step, so they go without.
  while (avx2_in_use && (reinterpret_cast<std::uintptr_t>(p) & 63) != 0 &&
         stop - p >= 64) {
    if (const char* hit = confirm_16<Mark>(d, p)) return hit;
    p += 16 - (reinterpret_cast<std::uintptr_t>(p) & 15);
  }
  if (const char* found = avx2_in_use ? rounds_avx2<Mark>(&p, stop, d)
                                      : rounds_sse2<Mark>(&p, stop, d))
    return found;
  for (; stop - p >= 16; p += 16)
    if (const char* hit = confirm_16<Mark>(d, p)) return hit;
  if (p == stop) return nullptr;
  // The last starts: one vector ending at stop, overlapping starts already
  // seen, whose bits are dropped.
  const char* tail = stop - 16;
  const unsigned seen = static_cast<unsigned>(p - tail);
  return confirm_or_mark(d, tail, mask_of(both_rare(d, tail)) >> seen << seen,
                         marks_in_16<Mark>(d, tail) >> seen << seen);
}

}  // anonymous namespace

const char* find_x86(const char* p, const char* stop, const char* term,
                     const char* twin, std::size_t n, bool look_for_mark,
                     char mark, bool any_case) {
  const needle d = make_needle(term, twin, n, stop + (n - 1), mark, any_case);
  return look_for_mark ? find_vector<true>(p, stop, d)
                       : find_vector<false>(p, stop, d);
}

bool use_avx2(bool wanted) {
  avx2_in_use = wanted && processor_has_avx2();
  return avx2_in_use;
}

#endif  // VANTREL_FIND_X86
