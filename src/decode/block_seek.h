#pragma once
// Decoding a compressed log from one of its blocks on, rather than from
// its first byte: an xz log by its index, a bzip2 log by its block magic.
// A block decodes on its own, so its text can be looked at, and reading
// started there, without the text before it. What the text says and which
// block to start at is the caller's; this only finds and decodes blocks.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decode/decoder.h"

/// Reads up to size bytes of the compressed data at offset: the count, 0
/// past its end, -1 when the read fails.
using read_at =
    std::function<std::ptrdiff_t(char* into, std::size_t size,
                                 std::uint64_t offset)>;

/// A part of the compressed data to hand a decoder: bytes made for it,
/// then the file's bytes [from, to).
struct seek_part {
  std::string made;
  std::uint64_t from = 0;
  std::uint64_t to = 0;
};

/// How to decode from a block on: the parts in order, through step.
struct block_seek {
  std::vector<seek_part> parts;
  decode_step step;
  // File bytes taken as read before the parts are: the count of those read
  // then reaches the file's size at its end.
  std::uint64_t taken_before = 0;
};

#ifdef VANTREL_HAVE_XZ
/// One block of an .xz log, as its stream's index lists it.
struct xz_block {
  std::uint64_t offset = 0;       // its header's, in the file
  std::uint64_t text_offset = 0;  // its text's, in the log's whole text
  std::uint64_t unpadded = 0;
  std::uint64_t text_size = 0;
  std::size_t stream = 0;  // its stream, in xz_index::streams
};

struct xz_stream_place {
  std::uint64_t offset = 0;      // its header's
  std::uint64_t blocks_end = 0;  // where its index starts
  std::uint64_t end = 0;         // past its footer
  unsigned check = 0;            // lzma_check
};

/// The blocks of every stream of an .xz log, in order.
struct xz_index {
  std::vector<xz_block> blocks;
  std::vector<xz_stream_place> streams;
};

/// Reads the index of each stream of an .xz log of size bytes (its ends
/// read back to front, as xz --list does). False when the log is not
/// sound .xz to its end, or its index is too large to hold.
bool read_xz_index(const read_at& read, std::uint64_t size, xz_index* index);

/// The first `most` bytes of a block's text, or all of it when it holds
/// fewer. False when the block does not decode.
bool xz_block_text(const read_at& read, const xz_index& index,
                   std::size_t block, std::size_t most, std::string* text);

/// Decoding from a block to the log's end: its stream remade to start at
/// that block (its header, the blocks from there, an index of just those),
/// then the streams after it as they are, through xz_decoder.
block_seek xz_from_block(const xz_index& index, std::size_t block,
                         std::uint64_t size);
#endif

#ifdef VANTREL_HAVE_BZIP2
/// The first block of a bzip2 log that starts at or after byte `from` of
/// its size bytes and decodes: its first bit, in the file, and the first
/// `most` bytes of its text, or all of it where it holds fewer. Only a
/// whole block's text (most npos) is held to the block's check. False
/// when none is found within a few tries.
bool bzip2_block_at(const read_at& read, std::uint64_t size,
                    std::uint64_t from, std::size_t most, std::uint64_t* bit,
                    std::string* text);

/// Decoding from the block at `bit` to the log's end through a bzip2 step
/// that starts inside a stream: that stream's combined check, over blocks
/// partly not read, is not held against it (each block's own still is).
block_seek bzip2_from_block(std::uint64_t bit, std::uint64_t size);
#endif
