#pragma once
// decode/: compressed data to text, one small step per format.
// gzip/ holds gzip's two steps, zlib's inflater and ISA-L's held to what
// zlib accepts; steps/ the other formats' steps, one file a format (xz's
// blocks spread over the cores inside liblzma); pools/ the pools that
// decode the blocks of a bzip2 log on every core for its step; seek/ finds
// the blocks of an xz or bzip2 log to start decoding at (block_seek.h).
// One decompressor behind one small step, whatever the format (gzip through
// zlib's or ISA-L's, bzip2, xz, zstd and the rest), so the reader that
// drives it (decode_source.cpp) reads input, joins members and tells a cut
// from a clean end the same way whichever it is.

#include <cstddef>
#include <cstdint>
#include <functional>

/// The buffers of one step; the step advances both past what it used.
struct decode_io {
  const unsigned char* in = nullptr;  // compressed bytes not yet taken
  std::size_t in_left = 0;            // at most UINT32_MAX
  char* out = nullptr;                // room for text
  std::size_t out_left = 0;           // at most UINT32_MAX
  bool input_ended = false;           // no more input follows in_left's
  std::uint64_t window = 0;           // too_large: the window asked for
};

enum class decode_status {
  more,          // the input is used up or the room filled
  member_ended,  // a member (stream, frame) ended, checks and all; the
                 // next may follow
  damaged,       // the data is not of the format, or not sound, from here on
  out_of_memory,
  too_large,  // the data asks for a window past what a run allows
};

/// Decompresses what it can of io's input into io's room. The state it
/// keeps lives as long as the step and its copies.
using decode_step = std::function<decode_status(decode_io* io)>;

/// Makes a decompressor's first step; null when it cannot have its memory.
using decoder = decode_step (*)();

decode_step zlib_inflater();

/// Takes the zero bytes that may follow the last gzip member (tar and
/// block-sized writes leave them, and gzip accepts them): member_ended once
/// it took some, as the data may end there; more when io holds none;
/// damaged at any other byte, as nothing may follow them.
decode_status take_padding(decode_io* io);
#ifdef VANTREL_HAVE_ISAL
decode_step isal_inflater();
#endif
#ifdef VANTREL_HAVE_BZIP2
/// Streams one after another, their blocks split off and decoded on every
/// core, handed on in order.
decode_step bzip2_decoder();
/// The same from a block inside a stream, its magic at bit `bit` (below 8)
/// of the first byte; that stream's combined CRC is not checked.
decode_step bzip2_decoder_inside(unsigned bit);
#endif
#ifdef VANTREL_HAVE_XZ
/// .xz streams one after another, a stream's blocks on every core.
decode_step xz_decoder();
/// The older .lzma: one stream, nothing after it.
decode_step lzma_decoder();
#endif
#ifdef VANTREL_HAVE_LZ4
decode_step lz4_decoder();
#endif
#ifdef VANTREL_HAVE_BROTLI
/// One stream, nothing after it.
decode_step brotli_decoder();
#endif
/// compress's .Z, by the program itself: every build has it.
decode_step compress_decoder();
#ifdef VANTREL_HAVE_ZSTD
decode_step zstd_decoder();
#endif

/// ISA-L's where the build has it: it inflates gzip about twice as fast.
#ifdef VANTREL_HAVE_ISAL
constexpr decoder kGzipDecoder = isal_inflater;
#else
constexpr decoder kGzipDecoder = zlib_inflater;
#endif
