// A bzip2 log read from one of its blocks on: a block is found by its
// magic, at any bit, and decoded alone as the pool decodes its pieces.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/block_seek.h"
#include "decode/pools/bzip2_blocks.h"
#include "decode/pools/bzip2_pool.h"
#include "decode/seek/bzip2_text_start.h"

namespace {

constexpr std::size_t kReadSize = std::size_t{256} << 10;
// A block of level 9 takes less than this, however its text compresses:
// no block magic this far on means the data is not bzip2 there.
constexpr std::uint64_t kMostSearch = std::uint64_t{2} << 20;
constexpr std::uint64_t kSearchStep = std::uint64_t{32} << 10;
// The magic met by chance inside a block is passed over, a few times.
constexpr int kMostTries = 4;

// Up to size bytes of the log from byte `from`, fewer at its end; false
// when a read fails.
bool read_range(const read_at& read, std::uint64_t from, std::uint64_t size,
                std::vector<unsigned char>* out) {
  out->resize(static_cast<std::size_t>(size));
  std::size_t have = 0;
  while (have < out->size()) {
    const std::ptrdiff_t got =
        read(reinterpret_cast<char*>(out->data() + have), out->size() - have,
             from + have);
    if (got < 0) return false;
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  out->resize(have);
  return true;
}

// The first `most` bytes of the text of the block whose magic is at
// `bit`, split off as the step splits it: as it comes, with no check but
// the decoder's own, as the block's end is what costs (most of a block's
// decoding is handing its text out); all of it, checks and all, for npos.
// False when it does not decode (a magic by chance) or, whole, holds more
// text than a piece may.
bool decode_block_at(const read_at& read, std::uint64_t size,
                     std::uint64_t bit, std::size_t most, std::string* text) {
  bzip2_splitter split;
  split_from_block(split, static_cast<unsigned>(bit % 8));
  std::vector<unsigned char> data;
  bzip2_piece piece;
  for (std::uint64_t at = bit / 8;;) {
    const bool ended = at >= size;
    if (split_next(split, ended, &piece)) break;
    if (ended || split.damaged) return false;
    if (!read_range(read, at, std::min<std::uint64_t>(kReadSize, size - at),
                    &data) ||
        data.empty())
      return false;
    split_feed(split, data.data(), data.size());
    at += data.size();
  }
  if (most == SIZE_MAX) {
    table_cache tables;
    return decode_piece(piece, tables, text, kPieceText) == piece_result::ok;
  }
  if (bzip2_text_start(piece, most, text)) return true;
  bzip2_stream stream;
  text->assign(most, '\0');
  std::size_t have = 0;
  piece_result result = piece_result::pending;
  while (result == piece_result::pending && have < most) {
    std::size_t room = most - have;
    result = stream_piece(stream, piece, &(*text)[have], &room);
    have += room;
  }
  text->resize(have);
  return result == piece_result::pending || result == piece_result::ok;
}

}  // anonymous namespace

namespace {

// The bit of the first block magic at or after bit `scan`, looked for in
// reads that grow from a little past it to kMostSearch, as the magic is
// mostly near; SIZE_MAX when there is none that far.
std::uint64_t next_magic(const read_at& read, std::uint64_t size,
                         std::uint64_t scan) {
  const std::uint64_t first = scan / 8;
  std::vector<unsigned char> data;
  for (std::uint64_t want = kSearchStep;; want *= 4) {
    const std::uint64_t span = std::min({want, kMostSearch, size - first});
    if (!read_range(read, first, span, &data)) return SIZE_MAX;
    const std::size_t found = find_block_magic(data, scan % 8);
    if (found != SIZE_MAX) return first * 8 + found;
    if (span < want) return SIZE_MAX;
  }
}

}  // anonymous namespace

bool bzip2_block_at(const read_at& read, std::uint64_t size,
                    std::uint64_t from, std::size_t most, std::uint64_t* bit,
                    std::string* text) {
  std::uint64_t scan = from * 8;
  for (int tries = 0; tries < kMostTries; ++tries) {
    if (scan / 8 >= size) return false;
    *bit = next_magic(read, size, scan);
    if (*bit == SIZE_MAX) return false;
    if (decode_block_at(read, size, *bit, most, text)) return true;
    scan = *bit + 1;
  }
  return false;
}

block_seek bzip2_from_block(std::uint64_t bit, std::uint64_t size) {
  block_seek seek;
  seek.parts = {{"", bit / 8, size}};
  seek.taken_before = bit / 8;
  seek.step = bzip2_decoder_inside(static_cast<unsigned>(bit % 8));
  return seek;
}
