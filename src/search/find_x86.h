#pragma once
// The vector search behind find_term on x86-64: 16-byte SSE2, which every
// x86-64 processor has, and 32-byte AVX2 where the processor has it, chosen
// once at run time.

#include <cstddef>

#if defined(__x86_64__) || defined(_M_X64)
#define VANTREL_FIND_X86 1

/// The first start in [p, stop) where the n >= 1 bytes of term lie, or
/// those of twin (null, or the term with some letters in the other case),
/// or, when look_for_mark, the first byte equal to mark, whichever comes
/// first; null when there is none. With any_case, term and twin are the
/// upper and lower forms of a term and every spelling between them counts.
/// Needs stop - p >= 16; reads up to stop + n - 1.
const char* find_x86(const char* p, const char* stop, const char* term,
                     const char* twin, std::size_t n, bool look_for_mark,
                     char mark, bool any_case);

/// Uses AVX2 from now on when wanted and the processor has it; false when
/// the search keeps to SSE2.
bool use_avx2(bool wanted);

#endif
