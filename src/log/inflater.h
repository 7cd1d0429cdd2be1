#pragma once
// One gzip decompressor behind one small step, zlib's or ISA-L's, so the
// thread that drives it (inflate_source.cpp) reads input, joins members and
// tells a cut from a clean end the same way whichever it is.

#include <cstddef>
#include <functional>

/// The buffers of one step; the step advances both past what it used.
struct inflate_io {
  const unsigned char* in = nullptr;  // compressed bytes not yet taken
  std::size_t in_left = 0;            // at most UINT32_MAX
  char* out = nullptr;                // room for text
  std::size_t out_left = 0;           // at most UINT32_MAX
  bool input_ended = false;           // no more input follows in_left's
};

enum class inflate_status {
  more,          // the input is used up or the room filled
  member_ended,  // a member ended, checks and all; the next may follow
  damaged,       // the data is not gzip, or not sound, from here on
  out_of_memory,
};

/// Decompresses what it can of io's input into io's room. The state it
/// keeps lives as long as the step and its copies.
using inflate_step = std::function<inflate_status(inflate_io* io)>;

/// Makes a decompressor's first step; null when it cannot have its memory.
using inflater = inflate_step (*)();

inflate_step zlib_inflater();
#ifdef VANTREL_HAVE_ISAL
inflate_step isal_inflater();
#endif

/// ISA-L's where the build has it: it inflates gzip about twice as fast.
#ifdef VANTREL_HAVE_ISAL
constexpr inflater kDefaultInflater = isal_inflater;
#else
constexpr inflater kDefaultInflater = zlib_inflater;
#endif
