// compress's .Z data (LZW) decoded by the program itself, as `uncompress`
// reads it: no library for it ships everywhere, and the format is small.
// It carries no check and no end marker, so only a code that cannot be
// there tells damage; a cut between codes cannot be told from an end.
//
// Speed: a code's string is most often still in the text decoded lately,
// so the step decodes into a history of its own and keeps, for each code,
// where its string was last written there: one copy decodes it. Walking
// the table's prefix chain a byte at a time, one dependent load after
// another, is left for a string that has slid out of the history.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "decode/decoder.h"

namespace {

constexpr unsigned kFirstBits = 9;
constexpr unsigned kMostBits = 16;
constexpr std::uint32_t kEntries = std::uint32_t{1} << kMostBits;
constexpr std::uint32_t kClear = 256;  // in block mode: a fresh table
constexpr unsigned char kBlockMode = 0x80;
constexpr unsigned char kBitsMask = 0x1f;

// The history: text is decoded at its end, handed out from it, and slid
// to its front once all is handed out, the last kKept bytes kept for the
// codes that point there. A string is shorter than the table, so kRoom
// past the end of the text always holds the next one, and kSlack more
// lets a copy go 16 bytes at a time past its end. 2 MiB holds the last
// use of most codes in a log's text: half of it needed the chain twice
// as often, twice of it gained little.
constexpr std::size_t kKept = std::size_t{512} << 10;
constexpr std::size_t kRoom = kEntries;
constexpr std::size_t kSlack = 64;
constexpr std::size_t kHistory = (std::size_t{2} << 20) + kRoom + kSlack;
// The code after a slide may repeat the string before it.
static_assert(kKept >= kRoom && kKept < kHistory - kSlack - kRoom,
              "a slide keeps the last string whole and frees room");

// A table entry: the absolute offset in the text where its string was last
// written, above 16 bits of its length (a string is shorter than 2^16).
constexpr unsigned kLengthBits = 16;
constexpr std::uint64_t kLengthMask = (std::uint64_t{1} << kLengthBits) - 1;

enum class stop { none, end, damaged };

struct lzw_state {
  unsigned char header[3] = {};
  unsigned header_got = 0;
  unsigned most_bits = 0;  // the header's widest code
  bool block_mode = false;

  unsigned bits = kFirstBits;  // the width of codes now
  std::uint32_t top = 0;       // past it, codes grow a bit wider
  std::uint32_t next = 0;      // the table's next free entry
  std::int32_t previous = -1;  // the code before; -1 at the start
  std::uint32_t previous_length = 0;  // its string's, just before `written`

  // Codes come in groups of eight, `bits` bytes a group; a new width or a
  // clear starts on the next group, the rest of this one unused. Bits
  // above held_count are the input's next ones or zero.
  std::uint64_t held = 0;  // bits taken from the input, low first
  unsigned held_count = 0;
  unsigned in_group = 0;  // codes read of the current group
  unsigned skip = 0;      // bits still to pass over; only when none held

  std::uint64_t entry[kEntries] = {};  // where << kLengthBits | length
  // The chain the entry was made of, for a string gone from the history.
  std::uint16_t prefix[kEntries] = {};
  unsigned char suffix[kEntries] = {};

  char history[kHistory] = {};
  std::uint64_t history_at = 0;  // the text's offset of history[0]
  std::size_t written = 0;       // decoded up to here
  std::size_t handed = 0;        // handed out up to here
  stop stopped = stop::none;     // told once all before it is handed out
  bool end_told = false;
};

void set_width(lzw_state& s, unsigned bits) {
  s.bits = bits;
  // At the widest the table fills up, and the codes stay that wide. The
  // first width is never taken for the widest, as compress reads: with a
  // widest of 9 the codes go on at 10 bits once the table's 512 entries
  // are made, and the table grows no more.
  s.top = bits == s.most_bits && bits != kFirstBits
              ? std::uint32_t{1} << bits
              : (std::uint32_t{1} << bits) - 1;
}

// Drops up to `skip` held bits; what is left of it passes over input
// bytes, with nothing held.
void pass_over(lzw_state& s) {
  const unsigned n = std::min(s.skip, s.held_count);
  s.held = n == 64 ? 0 : s.held >> n;
  s.held_count -= n;
  s.skip -= n;
  if (s.skip > 0) s.held = 0;
}

// Passes over the rest of the group: the next code starts a fresh one.
void end_group(lzw_state& s) {
  s.skip = s.in_group == 0 ? 0 : (8 - s.in_group) * s.bits;
  s.in_group = 0;
  pass_over(s);
}

std::uint64_t little_endian_64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < 8; ++i) v |= std::uint64_t{p[i]} << (8 * i);
  return v;
}

// Takes input until a whole code is held; false when the input runs out
// first.
bool fill(lzw_state& s, decode_io* io) {
  while (s.skip > 0) {
    const std::size_t n = std::min<std::size_t>(s.skip / 8, io->in_left);
    if (n == 0) return false;
    io->in += n;
    io->in_left -= n;
    s.skip -= static_cast<unsigned>(n * 8);
  }
  if (io->in_left >= 8) {
    // Whole bytes up to 63 bits; the rest of the eight are the next
    // ones, put where they will be taken again.
    s.held |= little_endian_64(io->in) << s.held_count;
    const unsigned n = (63 - s.held_count) / 8;
    io->in += n;
    io->in_left -= n;
    s.held_count += 8 * n;
    return true;
  }
  while (s.held_count <= 55 && io->in_left > 0) {
    s.held |= std::uint64_t{*io->in++} << s.held_count;
    --io->in_left;
    s.held_count += 8;
  }
  return s.held_count >= s.bits;
}

// Copies n bytes that end at or before `to` 16 at a time, up to 15 bytes
// past the end written with what follows: the history's slack holds them.
void copy_ahead(char* to, const char* from, std::size_t n) {
  char chunk[16];
  for (std::size_t i = 0; i < n; i += 16) {
    std::memcpy(chunk, from + i, 16);
    std::memcpy(to + i, chunk, 16);
  }
}

// The string of a code gone from the history (or partly gone): its chain
// walked back to one still there, copied whole. Each code on the way is
// a beginning of the string, so it points here from now on too.
void rebuild(lzw_state& s, std::uint32_t code, std::size_t length) {
  char* at = s.history + s.written + length;
  const char* const begin = s.history + s.written;
  const std::uint64_t here = (s.history_at + s.written) << kLengthBits;
  // Each entry's prefix is an earlier one, so this ends; the bound is
  // only a guard.
  while (code >= 256 && at > begin + 1 &&
         (s.entry[code] >> kLengthBits) < s.history_at) {
    s.entry[code] = here | (s.entry[code] & kLengthMask);
    *--at = static_cast<char>(s.suffix[code]);
    code = s.prefix[code];
  }
  const std::uint64_t e = s.entry[code];
  if (code < 256) {
    *--at = static_cast<char>(code);
  } else if ((e >> kLengthBits) >= s.history_at) {
    const auto n = std::min(static_cast<std::size_t>(e & kLengthMask),
                            static_cast<std::size_t>(at - begin));
    std::memcpy(at - n, s.history + ((e >> kLengthBits) - s.history_at), n);
  }
}

// The string of a code, written at the end of the history; false for a
// code that cannot be there (one past the table, or no byte to start
// from).
bool take(lzw_state& s, std::uint32_t code) {
  char* const to = s.history + s.written;
  const std::uint64_t where = s.history_at + s.written;
  std::size_t n = 1;
  if (code < 256) {
    *to = static_cast<char>(code);
  } else if (s.previous < 0) {
    return false;
  } else if (code == kClear && s.block_mode) {
    // The entry the next code makes is never used: as compress does it.
    s.next = kClear;
    end_group(s);
    set_width(s, kFirstBits);
    return true;
  } else if (code < s.next) {
    const std::uint64_t e = s.entry[code];
    n = static_cast<std::size_t>(e & kLengthMask);
    if ((e >> kLengthBits) >= s.history_at)
      copy_ahead(to, s.history + ((e >> kLengthBits) - s.history_at), n);
    else
      rebuild(s, code, n);
  } else if (code == s.next) {
    // The string about to be made: the one before and its first byte.
    n = s.previous_length + std::size_t{1};
    copy_ahead(to, to - s.previous_length, s.previous_length);
    to[n - 1] = to[-static_cast<std::ptrdiff_t>(s.previous_length)];
  } else {
    return false;
  }
  if (s.previous >= 0 && s.next < (std::uint32_t{1} << s.most_bits)) {
    s.entry[s.next] = (where - s.previous_length) << kLengthBits |
                      (s.previous_length + std::uint64_t{1});
    s.prefix[s.next] = static_cast<std::uint16_t>(s.previous);
    s.suffix[s.next] = static_cast<unsigned char>(*to);
    ++s.next;
  }
  if (code >= 256) s.entry[code] = where << kLengthBits | n;
  s.previous = static_cast<std::int32_t>(code);
  s.previous_length = static_cast<std::uint32_t>(n);
  s.written += n;
  return true;
}

// Whether the history has room for the longest string after its text.
bool has_room(const lzw_state& s) {
  return s.written + kRoom <= kHistory - kSlack;
}

// Decodes until the history holds `want` bytes not handed out or has no
// room for another string, or the input or the codes end.
void decode(lzw_state& s, decode_io* io, std::size_t want) {
  while (s.written - s.handed < want && has_room(s)) {
    if (s.next > s.top) {
      end_group(s);
      set_width(s, s.bits + 1);
    }
    if (s.held_count < s.bits && !fill(s, io)) {
      if (io->input_ended) s.stopped = stop::end;
      return;
    }
    const auto code =
        static_cast<std::uint32_t>(s.held & ((std::uint32_t{1} << s.bits) - 1));
    s.held >>= s.bits;
    s.held_count -= s.bits;
    s.in_group = (s.in_group + 1) % 8;
    if (!take(s, code)) {
      s.stopped = stop::damaged;
      return;
    }
  }
}

// Hands out what the history holds and the room takes.
void hand_out(lzw_state& s, decode_io* io) {
  const std::size_t n = std::min(io->out_left, s.written - s.handed);
  std::memcpy(io->out, s.history + s.handed, n);
  io->out += n;
  io->out_left -= n;
  s.handed += n;
}

// Once all is handed out and room runs short, the last kKept bytes go to
// the history's front: the codes that point before them read the chain.
void slide(lzw_state& s) {
  if (has_room(s)) return;
  const std::size_t from = s.written - kKept;
  std::memmove(s.history, s.history + from, kKept);
  s.history_at += from;
  s.written -= from;
  s.handed -= from;
}

// The magic and the flags byte: the widest code and block mode.
decode_status read_header(lzw_state& s, decode_io* io) {
  while (s.header_got < 3 && io->in_left > 0) {
    s.header[s.header_got++] = *io->in++;
    --io->in_left;
  }
  if (s.header_got < 3)
    return io->input_ended ? decode_status::damaged : decode_status::more;
  s.most_bits = s.header[2] & kBitsMask;
  s.block_mode = (s.header[2] & kBlockMode) != 0;
  if (s.header[0] != 0x1f || s.header[1] != 0x9d || s.most_bits < kFirstBits ||
      s.most_bits > kMostBits)
    return decode_status::damaged;
  s.next = s.block_mode ? kClear + 1 : kClear;
  set_width(s, kFirstBits);
  return decode_status::more;
}

decode_status step(lzw_state& s, decode_io* io) {
  for (;;) {
    hand_out(s, io);
    if (s.handed < s.written) return decode_status::more;
    if (s.stopped == stop::damaged) return decode_status::damaged;
    if (s.stopped == stop::end) {
      if (s.end_told) return decode_status::more;
      s.end_told = true;
      return decode_status::member_ended;
    }
    if (s.header_got < 3) {
      const decode_status status = read_header(s, io);
      if (s.header_got < 3 || status != decode_status::more) return status;
    }
    slide(s);
    const std::size_t before = s.written;
    decode(s, io, std::max<std::size_t>(io->out_left, 1));
    if (s.written == before && s.stopped == stop::none)
      return decode_status::more;
  }
}

}  // anonymous namespace

decode_step compress_decoder() {
  std::shared_ptr<lzw_state> state(new (std::nothrow) lzw_state);
  if (!state) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
