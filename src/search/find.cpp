#include "search/find.h"

#include <cstring>

#include "search/find_x86.h"

namespace {

// True when the n bytes at p are the term; its first and last bytes are
// already known to match, so only the bytes between them are compared.
inline bool rest_matches(const char* p, const char* term, std::size_t n) {
  return n <= 2 || std::memcmp(p + 1, term + 1, n - 2) == 0;
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

// The first start in [p, stop) that holds the term or the mark byte, taken
// in windows so that a mark far ahead is not looked for again after every
// hit. The term holds no mark, so a hit before the mark ends before it.
const char* find_plain_or_mark(const char* p, const char* stop,
                               const char* term, std::size_t n, char mark) {
  constexpr std::ptrdiff_t window = 4096;
  while (p < stop) {
    const char* end = stop - p > window ? p + window : stop;
    const char* at = static_cast<const char*>(
        std::memchr(p, mark, static_cast<std::size_t>(end - p)));
    if (const char* hit = find_plain(p, at != nullptr ? at : end, term, n))
      return hit;
    if (at != nullptr) return at;
    p = end;
  }
  return nullptr;
}

// The earlier of two starts, either of which may be null.
inline const char* earlier(const char* a, const char* b) {
  if (a == nullptr) return b;
  if (b == nullptr) return a;
  return a < b ? a : b;
}

// True when each of the n bytes at p is the upper or the lower form's
// byte there: the term with ASCII letter case ignored.
inline bool matches_any_case(const char* p, const char* upper,
                             const char* lower, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] != upper[i] && p[i] != lower[i]) return false;
  return true;
}

// The first start in [p, stop) of the term in any case, or of the mark
// when asked; byte by byte, as only short spans and the platforms without
// SSE2 come here.
const char* find_plain_any_case(const char* p, const char* stop,
                                const char* upper, const char* lower,
                                std::size_t n, bool look_for_mark, char mark) {
  for (; p < stop; ++p)
    if ((look_for_mark && *p == mark) || matches_any_case(p, upper, lower, n))
      return p;
  return nullptr;
}

// The plain scans for the term or its twin: each found alone, the first
// kept. Only short spans and the platforms without SSE2 come here.
const char* find_plain_either(const char* p, const char* stop,
                              const char* term, const char* twin,
                              std::size_t n, bool look_for_mark, char mark,
                              bool any_case) {
  if (any_case)
    return find_plain_any_case(p, stop, term, twin, n, look_for_mark, mark);
  const auto one = [&](const char* t) {
    return look_for_mark ? find_plain_or_mark(p, stop, t, n, mark)
                         : find_plain(p, stop, t, n);
  };
  const char* hit = one(term);
  if (twin == nullptr) return hit;
  return earlier(hit, one(twin));
}

// The first start in [p, stop) of the term or its twin (with any_case, of
// any spelling between the two), or of the mark when asked.
const char* first_start(const char* p, const char* stop, const char* term,
                        const char* twin, std::size_t n, bool look_for_mark,
                        char mark, bool any_case) {
  if (n == 1 && !look_for_mark && twin == nullptr)
    return static_cast<const char*>(
        std::memchr(p, term[0], static_cast<std::size_t>(stop - p)));
#ifdef VANTREL_FIND_X86
  if (stop - p >= 16)
    return find_x86(p, stop, term, twin, n, look_for_mark, mark, any_case);
#endif
  return find_plain_either(p, stop, term, twin, n, look_for_mark, mark,
                           any_case);
}

// What find_term and its siblings share: the bounds, and with a mark the
// last bytes, too near the end to start a hit but not to be a mark.
std::size_t search(std::string_view text, std::string_view term,
                   const char* twin, std::size_t from, bool look_for_mark,
                   char mark, bool any_case = false) {
  const std::size_t size = text.size();
  const std::size_t n = term.size();
  if (from > size) return std::string_view::npos;
  if (n == 0) return from;

  const char* const base = text.data();
  const char* const p = base + from;
  const char* stop = p;  // past the last start of a hit
  const char* hit = nullptr;
  if (n <= size - from) {
    stop = base + (size - n) + 1;
    hit = first_start(p, stop, term.data(), twin, n, look_for_mark, mark,
                      any_case);
  }
  if (look_for_mark && hit == nullptr && stop != base + size)
    hit = static_cast<const char*>(
        std::memchr(stop, mark, static_cast<std::size_t>(base + size - stop)));
  return hit == nullptr ? std::string_view::npos
                        : static_cast<std::size_t>(hit - base);
}

}  // anonymous namespace

bool use_wide_vectors(bool wanted) {
#ifdef VANTREL_FIND_X86
  return use_avx2(wanted);
#else
  (void)wanted;
  return false;
#endif
}

std::size_t find_term(std::string_view text, std::string_view term,
                      std::size_t from) {
  return search(text, term, nullptr, from, false, 0);
}

std::size_t find_term_or_mark(std::string_view text, std::string_view term,
                              std::size_t from, char mark) {
  return search(text, term, nullptr, from, true, mark);
}

bool are_case_twins(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a == b) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char lower = static_cast<char>(a[i] | 0x20);
    if (a[i] != b[i] && ((a[i] ^ b[i]) != 0x20 || lower < 'a' || lower > 'z'))
      return false;
  }
  return true;
}

std::size_t find_twins_or_mark(std::string_view text, std::string_view term,
                               std::string_view twin, std::size_t from,
                               char mark) {
  return search(text, term, twin.data(), from, true, mark);
}

std::size_t find_any_case(std::string_view text, std::string_view upper,
                          std::string_view lower, std::size_t from) {
  return search(text, upper, lower.data(), from, false, 0, true);
}

std::size_t find_any_case_or_mark(std::string_view text,
                                  std::string_view upper,
                                  std::string_view lower, std::size_t from,
                                  char mark) {
  return search(text, upper, lower.data(), from, true, mark, true);
}
