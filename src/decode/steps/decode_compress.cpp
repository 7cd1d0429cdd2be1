// compress's .Z data (LZW) decoded by the program itself, as `uncompress`
// reads it: no library for it ships everywhere, and the format is small.
// It carries no check and no end marker, so only a code that cannot be
// there tells damage; a cut between codes cannot be told from an end.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "decode/decoder.h"

namespace {

constexpr unsigned kFirstBits = 9;
constexpr unsigned kMostBits = 16;
constexpr std::uint32_t kClear = 256;  // in block mode: a fresh table
constexpr unsigned char kBlockMode = 0x80;
constexpr unsigned char kBitsMask = 0x1f;

struct lzw_state {
  unsigned char header[3] = {};
  unsigned header_got = 0;
  unsigned most_bits = 0;        // the header's widest code
  bool block_mode = false;

  unsigned bits = kFirstBits;  // the width of codes now
  std::uint32_t top = 0;       // past it, codes grow a bit wider
  std::uint32_t next = 0;      // the table's next free entry
  std::int32_t previous = -1;  // the code before; -1 at the start
  unsigned char first = 0;     // the first byte of the previous string

  // Codes come in groups of eight, `bits` bytes a group; a new width or a
  // clear starts on the next group, the rest of this one unused.
  std::uint32_t held = 0;  // bits taken from the input, low first
  unsigned held_count = 0;
  unsigned in_group = 0;  // codes read of the current group
  unsigned skip = 0;      // bits still to pass over to the group's end

  std::uint16_t prefix[1 << kMostBits] = {};
  unsigned char suffix[1 << kMostBits] = {};
  std::uint16_t length[1 << kMostBits] = {};  // of each entry's string
  // A string is built backwards at the end of this, then handed out.
  char stack[(1 << kMostBits) + 2] = {};
  std::size_t out_at = sizeof stack;
  bool ended = false;  // the end was told
};

void set_width(lzw_state& s, unsigned bits) {
  s.bits = bits;
  // At the widest the table fills up, and the codes stay that wide.
  s.top = bits == s.most_bits ? std::uint32_t{1} << bits
                              : (std::uint32_t{1} << bits) - 1;
}

// Passes over the rest of the group: the next code starts a fresh one.
void end_group(lzw_state& s) {
  s.skip = s.in_group == 0 ? 0 : (8 - s.in_group) * s.bits;
  s.in_group = 0;
}

// Hands out what is held of the last string; false while room is short.
bool hand_out(lzw_state& s, decode_io* io) {
  const std::size_t n = std::min(io->out_left, sizeof s.stack - s.out_at);
  std::memcpy(io->out, s.stack + s.out_at, n);
  io->out += n;
  io->out_left -= n;
  s.out_at += n;
  return s.out_at == sizeof s.stack;
}

enum class got { code, wait, end };

got next_code(lzw_state& s, decode_io* io, std::uint32_t* code) {
  for (;;) {
    if (s.skip > 0 && s.held_count > 0) {
      const unsigned n = std::min(s.skip, s.held_count);
      s.held = n == 32 ? 0 : s.held >> n;
      s.held_count -= n;
      s.skip -= n;
      continue;
    }
    if (s.skip == 0 && s.held_count >= s.bits) break;
    if (io->in_left == 0) return io->input_ended ? got::end : got::wait;
    s.held |= std::uint32_t{*io->in++} << s.held_count;
    --io->in_left;
    s.held_count += 8;
  }
  *code = s.held & ((std::uint32_t{1} << s.bits) - 1);
  s.held >>= s.bits;
  s.held_count -= s.bits;
  s.in_group = (s.in_group + 1) % 8;
  return got::code;
}

// The string of one code, straight into the room where it fits, else onto
// the stack to be handed out; false for a code that cannot be there (one
// past the table, or no byte to start from).
bool take(lzw_state& s, std::uint32_t code, decode_io* io) {
  if (s.previous < 0) {
    if (code >= 256) return false;
    s.previous = static_cast<std::int32_t>(code);
    s.first = static_cast<unsigned char>(code);
    s.stack[--s.out_at] = static_cast<char>(s.first);
    return true;
  }
  if (code == kClear && s.block_mode) {
    // The entry the next code makes is never used: as compress does it.
    s.next = kClear;
    end_group(s);
    set_width(s, kFirstBits);
    return true;
  }
  std::uint32_t c = code;
  const bool repeat = c >= s.next;  // the string about to be made
  if (repeat) {
    if (c > s.next) return false;
    c = static_cast<std::uint32_t>(s.previous);
  }
  const std::size_t n = s.length[c] + (repeat ? 1u : 0u);
  const bool direct = io->out_left >= n;
  char* const begin = direct ? io->out : s.stack;
  char* at = direct ? io->out + n : s.stack + sizeof s.stack;
  if (repeat) *--at = static_cast<char>(s.first);
  // Each entry's prefix is an earlier one, so this ends; the bound is
  // only a guard.
  while (c >= 256 && at > begin + 1) {
    *--at = static_cast<char>(s.suffix[c]);
    c = s.prefix[c];
  }
  s.first = static_cast<unsigned char>(c);
  *--at = static_cast<char>(s.first);
  if (direct) {
    io->out += n;
    io->out_left -= n;
  } else {
    s.out_at = static_cast<std::size_t>(at - s.stack);
  }
  if (s.next < (std::uint32_t{1} << s.most_bits)) {
    s.prefix[s.next] = static_cast<std::uint16_t>(s.previous);
    s.suffix[s.next] = s.first;
    s.length[s.next] =
        static_cast<std::uint16_t>(s.length[static_cast<std::uint32_t>(s.previous)] + 1);
    ++s.next;
  }
  s.previous = static_cast<std::int32_t>(code);
  return true;
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
  for (unsigned c = 0; c < 256; ++c) {
    s.suffix[c] = static_cast<unsigned char>(c);
    s.length[c] = 1;
  }
  return decode_status::more;
}

decode_status step(lzw_state& s, decode_io* io) {
  for (;;) {
    if (!hand_out(s, io) || s.ended) return decode_status::more;
    if (s.header_got < 3) {
      const decode_status status = read_header(s, io);
      if (s.header_got < 3 || status != decode_status::more) return status;
    }
    if (s.next > s.top) {
      end_group(s);
      set_width(s, s.bits + 1);
    }
    std::uint32_t code = 0;
    switch (next_code(s, io, &code)) {
      case got::wait:
        return decode_status::more;
      case got::end:
        s.ended = true;
        return decode_status::member_ended;
      case got::code:
        break;
    }
    if (!take(s, code, io)) return decode_status::damaged;
  }
}

}  // anonymous namespace

decode_step compress_decoder() {
  std::shared_ptr<lzw_state> state(new (std::nothrow) lzw_state);
  if (!state) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
