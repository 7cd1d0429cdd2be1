#include "decode/pools/bzip2_blocks.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::uint64_t kBlockMagic = 0x314159265359;
constexpr std::uint64_t kEndMagic = 0x177245385090;
constexpr std::size_t kMagicBits = 48;
constexpr std::size_t kCrcBits = 32;
// No block of level 9 takes this much: past it the data is not bzip2.
constexpr std::size_t kMostBlockBits = std::size_t{8} << 23;
// Bytes already split off are dropped once this many pile up.
constexpr std::size_t kDropAt = std::size_t{1} << 20;

// Up to 56 bits of data from bit `at`, MSB first, zeros past the end.
std::uint64_t bits_at(const std::vector<unsigned char>& data, std::size_t at,
                      std::size_t count) {
  std::uint64_t word = 0;
  const std::size_t first = at / 8;
  for (std::size_t i = 0; i < 8; ++i)
    word = word << 8 | (first + i < data.size() ? data[first + i] : 0u);
  return (word >> (64 - count - at % 8)) & ((std::uint64_t{1} << count) - 1);
}

// For each byte value, the bit offsets (0-7) of a magic starting in the
// byte two before it that put that value there: a cheap first test, so
// most bytes are passed over with one look-up.
std::array<unsigned char, 256> magic_filter() {
  std::array<unsigned char, 256> filter{};
  for (const std::uint64_t magic : {kBlockMagic, kEndMagic})
    for (unsigned shift = 0; shift < 8; ++shift)
      filter[(magic >> (24 + shift)) & 0xff] |=
          static_cast<unsigned char>(1u << shift);
  return filter;
}

// The first bit at or after `from` where either magic starts, or npos;
// only where all 48 bits are in data.
std::size_t find_magic(const std::vector<unsigned char>& data,
                       std::size_t from) {
  static const std::array<unsigned char, 256> filter = magic_filter();
  for (std::size_t byte = from / 8; byte + 2 < data.size(); ++byte) {
    unsigned shifts = filter[data[byte + 2]];
    while (shifts != 0) {
      const unsigned shift = static_cast<unsigned>(__builtin_ctz(shifts));
      shifts &= shifts - 1;
      const std::size_t at = byte * 8 + shift;
      if (at < from || at + kMagicBits > data.size() * 8) continue;
      const std::uint64_t word = bits_at(data, at, kMagicBits);
      if (word == kBlockMagic || word == kEndMagic) return at;
    }
  }
  return SIZE_MAX;
}

// Writes bits MSB first into a byte vector.
struct bit_writer {
  std::vector<unsigned char>& out;
  std::uint64_t held = 0;
  unsigned count = 0;  // bits in held, below 8 between calls

  void put(std::uint64_t value, unsigned bits) {
    held = held << bits | (value & ((std::uint64_t{1} << bits) - 1));
    count += bits;
    while (count >= 8) {
      count -= 8;
      out.push_back(static_cast<unsigned char>(held >> count));
    }
  }
  void finish() {
    if (count > 0) put(0, 8 - count);
  }
};

void copy_bits(bit_writer& w, const unsigned char* from, std::size_t at,
               std::size_t count) {
  if (w.count == 0 && at % 8 == 0) {
    w.out.insert(w.out.end(), from + at / 8, from + (at + count) / 8);
  } else {
    const unsigned shift = at % 8;
    for (std::size_t i = 0; i < count / 8; ++i) {
      const std::size_t byte = at / 8 + i;
      unsigned value = static_cast<unsigned>(from[byte]) << shift;
      if (shift != 0)
        value |= static_cast<unsigned>(from[byte + 1]) >> (8 - shift);
      w.put(value & 0xff, 8);
    }
  }
  for (std::size_t bit = at + count / 8 * 8; bit < at + count; ++bit)
    w.put(static_cast<unsigned>(from[bit / 8]) >> (7 - bit % 8), 1);
}

bzip2_piece piece_of(const bzip2_splitter& s, std::size_t end) {
  bzip2_piece piece;
  piece.level = s.level;
  piece.bit_count = end - s.at;
  bit_writer w{piece.bits};
  copy_bits(w, s.data.data(), s.at, piece.bit_count);
  w.finish();
  if (piece.bit_count >= kMagicBits + kCrcBits)
    piece.crc = static_cast<std::uint32_t>(
        bits_at(s.data, s.at + kMagicBits, kCrcBits));
  return piece;
}

// A stream's end at bit `at`: the piece before it is told so, and what
// follows starts at the next byte.
void end_stream(bzip2_splitter& s, std::size_t at, bzip2_piece* piece) {
  piece->ends_stream = true;
  piece->stream_crc =
      static_cast<std::uint32_t>(bits_at(s.data, at + kMagicBits, kCrcBits));
  s.at = (at + kMagicBits + kCrcBits + 7) / 8 * 8;
  s.state = bzip2_splitter::expect::header;
}

// Zero bytes after a stream, as tar and block-sized writes leave: the data
// must end in them.
void split_padding(bzip2_splitter& s, bool input_ended) {
  std::size_t first = s.at / 8;
  while (first < s.data.size() && s.data[first] == 0) ++first;
  s.at = first * 8;
  if (first < s.data.size())
    s.damaged = true;
  else if (input_ended)
    s.state = bzip2_splitter::expect::finished;
}

bool split_header(bzip2_splitter& s, bool input_ended) {
  const std::size_t first = s.at / 8;
  if (first < s.data.size() && s.data[first] == 0) {
    s.state = bzip2_splitter::expect::padding;
    return true;
  }
  if (s.data.size() - first < 4) {
    if (input_ended && s.data.size() == first)
      s.state = bzip2_splitter::expect::finished;
    else if (input_ended)
      s.damaged = true;
    return false;
  }
  const unsigned char* h = s.data.data() + first;
  if (std::memcmp(h, "BZh", 3) != 0 || h[3] < '1' || h[3] > '9') {
    s.damaged = true;
    return false;
  }
  s.level = static_cast<char>(h[3]);
  s.at += 32;
  s.state = bzip2_splitter::expect::block_or_end;
  return true;
}

// What starts a stream's body, or follows the end of a block found: a
// block, or the stream's end (an empty stream's, here).
bool split_start(bzip2_splitter& s, bool input_ended, bzip2_piece* piece) {
  const std::size_t have = s.data.size() * 8;
  if (s.at + kMagicBits + kCrcBits > have) {
    if (input_ended) s.damaged = true;
    return false;
  }
  const std::uint64_t magic = bits_at(s.data, s.at, kMagicBits);
  if (magic == kBlockMagic) {
    s.scan = s.at + kMagicBits;
    s.state = bzip2_splitter::expect::block_body;
    return false;
  }
  if (magic != kEndMagic) {
    s.damaged = true;
    return false;
  }
  *piece = bzip2_piece{};
  end_stream(s, s.at, piece);
  return true;
}

enum class follows { stream_end, chance, unknown };

// What the bytes after an end magic at `at` and its CRC make of it: a
// stream's end where nothing, zero padding or the next stream's header and
// magic follow; a chance inside a block where anything else does. Unknown
// until they are in hand.
follows after_end(const bzip2_splitter& s, std::size_t at, bool input_ended) {
  static constexpr unsigned char kNext[][10] = {
      {'B', 'Z', 'h', '9', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59},
      {'B', 'Z', 'h', '9', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90}};
  const std::size_t next = (at + kMagicBits + kCrcBits + 7) / 8;
  const std::size_t seen = std::min(sizeof kNext[0], s.data.size() - next);
  if (seen < sizeof kNext[0] && !input_ended) return follows::unknown;
  bool zeros = true, stream[2] = {true, true};
  for (std::size_t i = 0; i < seen; ++i) {
    const unsigned char b = s.data[next + i];
    zeros = zeros && b == 0;
    for (int m = 0; m < 2; ++m)
      stream[m] = stream[m] && (i == 3 ? b >= '1' && b <= '9' : b == kNext[m][i]);
  }
  return zeros || stream[0] || stream[1] ? follows::stream_end
                                         : follows::chance;
}

bool split_body(bzip2_splitter& s, bool input_ended, bzip2_piece* piece) {
  const std::size_t have = s.data.size() * 8;
  const std::size_t at = find_magic(s.data, s.scan);
  const bool found = at != SIZE_MAX;
  const bool ends = found && bits_at(s.data, at, kMagicBits) == kEndMagic;
  const bool whole_end = ends && at + kMagicBits + kCrcBits <= have;
  const follows after =
      whole_end ? after_end(s, at, input_ended) : follows::chance;
  if (found && (!ends || (whole_end && after != follows::unknown))) {
    *piece = piece_of(s, at);
    if (after == follows::stream_end && ends) {
      end_stream(s, at, piece);
    } else {
      s.at = at;
      s.scan = at + kMagicBits;
    }
    return true;
  }
  // An end still to be told from a chance is looked at again.
  s.scan = found ? at
                 : std::max(s.scan, have - std::min(have, kMagicBits - 1));
  if (!input_ended && have - s.at <= kMostBlockBits) return false;
  // The data ends inside the block, or it has no end: a block cut just
  // before the stream's end still gives its text.
  *piece = piece_of(s, found ? at : have);
  piece->cut = true;
  s.damaged = true;  // after this piece
  return true;
}

// Bytes before the part in hand are no longer needed.
void drop_split_off(bzip2_splitter& s) {
  const std::size_t bytes = s.at / 8;
  if (bytes < kDropAt) return;
  s.data.erase(s.data.begin(),
               s.data.begin() + static_cast<std::ptrdiff_t>(bytes));
  s.at -= bytes * 8;
  s.scan = s.scan > bytes * 8 ? s.scan - bytes * 8 : 0;
}

}  // anonymous namespace

void split_from_block(bzip2_splitter& s, unsigned bit) {
  s.level = '9';
  s.at = bit;
  s.state = bzip2_splitter::expect::block_or_end;
}

std::size_t find_block_magic(const std::vector<unsigned char>& data,
                             std::size_t from) {
  std::size_t at = find_magic(data, from);
  while (at != SIZE_MAX && bits_at(data, at, kMagicBits) != kBlockMagic)
    at = find_magic(data, at + 1);
  return at;
}

void split_feed(bzip2_splitter& s, const unsigned char* bytes,
                std::size_t size) {
  s.data.insert(s.data.end(), bytes, bytes + size);
}

bool split_next(bzip2_splitter& s, bool input_ended, bzip2_piece* piece) {
  while (!s.damaged) {
    drop_split_off(s);
    switch (s.state) {
      case bzip2_splitter::expect::header:
        if (!split_header(s, input_ended)) return false;
        break;
      case bzip2_splitter::expect::block_or_end:
        if (split_start(s, input_ended, piece)) return true;
        if (s.state != bzip2_splitter::expect::block_body) return false;
        break;
      case bzip2_splitter::expect::block_body:
        return split_body(s, input_ended, piece);
      case bzip2_splitter::expect::padding:
        split_padding(s, input_ended);
        return false;
      case bzip2_splitter::expect::finished:
        return false;
    }
  }
  return false;
}

bool split_finished(const bzip2_splitter& s) {
  return s.state == bzip2_splitter::expect::finished;
}

void merge_pieces(bzip2_piece& piece, const bzip2_piece& next) {
  std::vector<unsigned char> bits;
  bit_writer w{bits};
  copy_bits(w, piece.bits.data(), 0, piece.bit_count);
  copy_bits(w, next.bits.data(), 0, next.bit_count);
  w.finish();
  piece.bits = std::move(bits);
  piece.bit_count += next.bit_count;
  piece.ends_stream = next.ends_stream;
  piece.stream_crc = next.stream_crc;
  piece.cut = next.cut;
}

std::vector<unsigned char> stream_of(const bzip2_piece& piece) {
  std::vector<unsigned char> stream{'B', 'Z', 'h',
                                    static_cast<unsigned char>(piece.level)};
  stream.reserve(4 + piece.bits.size() + 11);
  bit_writer w{stream};
  copy_bits(w, piece.bits.data(), 0, piece.bit_count);
  w.put(kEndMagic, kMagicBits);
  w.put(piece.crc, kCrcBits);
  w.finish();
  return stream;
}
