#pragma once
// bzip2 data cut into its blocks, each rewritten as a stream of its own, so
// the blocks of one log can be decoded on every core. A block starts with
// the 48-bit magic 0x314159265359 at any bit; a stream ends with
// 0x177245385090 and its combined CRC. Either magic can also occur by chance
// inside a block: such a piece fails to decode and is merged with the next.
// An end magic is taken for the stream's end only where what a stream's end
// allows follows it: nothing, zero padding, or the next stream.

#include <cstddef>
#include <cstdint>
#include <vector>

/// One block as found: its bits from the block magic on, shifted to start
/// at bit 0, or none where a stream ends with no block before its end.
struct bzip2_piece {
  std::vector<unsigned char> bits;
  std::size_t bit_count = 0;
  std::uint32_t crc = 0;     // the block's, as it says itself
  char level = '9';          // its stream's block size digit
  bool ends_stream = false;  // the stream's end follows it
  std::uint32_t stream_crc = 0;
  bool cut = false;  // the data ends in it, or past where a block can
};

struct bzip2_splitter {
  enum class expect { header, block_or_end, block_body, padding, finished };
  std::vector<unsigned char> data;  // bytes not yet split off
  std::size_t at = 0;               // bit of data where the part in hand starts
  std::size_t scan = 0;             // bit the magic search goes on from
  expect state = expect::header;
  char level = '9';
  bool damaged = false;  // no more pieces: the data is not bzip2 past them
};

/// Sets a fresh splitter to start at a block inside a stream, at bit `bit`
/// (below 8) of the first byte fed: the stream's header is not seen, so its
/// blocks are taken as of the largest size.
void split_from_block(bzip2_splitter& s, unsigned bit);

/// The first bit at or after `from` where a block magic starts, where all
/// of it is in data; npos (SIZE_MAX) when there is none.
std::size_t find_block_magic(const std::vector<unsigned char>& data,
                             std::size_t from);

/// Takes more compressed bytes.
void split_feed(bzip2_splitter& s, const unsigned char* bytes,
                std::size_t size);

/// The next piece, once its end is known; false when more input is needed
/// or none is left. With input_ended, the data in hand is all there is.
bool split_next(bzip2_splitter& s, bool input_ended, bzip2_piece* piece);

/// True once the data has ended where a stream did, with nothing after.
bool split_finished(const bzip2_splitter& s);

/// Appends next's bits to piece, which ends as next does: a block the
/// magic split by chance, made whole.
void merge_pieces(bzip2_piece& piece, const bzip2_piece& next);

/// The piece as a stream of its own: header, the block, the end magic and
/// the block's CRC as the combined one.
std::vector<unsigned char> stream_of(const bzip2_piece& piece);
