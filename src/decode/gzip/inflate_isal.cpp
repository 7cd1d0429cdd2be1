// ISA-L's gzip decompressor (igzip) as a step, held to what zlib accepts
// and hands out, so that a log reads the same whichever the build has.
//
// igzip is not as strict as zlib: on damaged data it may write text before
// it says so (a back-reference before the member's start is copied from
// whatever lies there; a bad block header fed in pieces decodes for a
// while). So each member's text is held back until it passes the window,
// with the member's bytes kept; where igzip fails within it, zlib reads the
// member again and says what it holds and where it goes wrong. Nor does it
// read a header of any length handed to it across calls: each member's
// header is read here, as zlib reads it, and igzip given what follows.

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <zlib.h>

#include "decode/decoder.h"

namespace {

// A member's header flags: its check (FHCRC), extra field, name, comment;
// zlib refuses a member with any of the reserved ones set.
constexpr unsigned kCheck = 0x02, kExtra = 0x04, kName = 0x08,
                   kComment = 0x10, kReservedFlags = 0xe0;
constexpr std::size_t kFixedHeader = 10;
// What zlib is given for a header it has to read again: the bare one, as
// nothing in a header changes the text.
constexpr char kBareHeader[] = "\x1f\x8b\x08\0\0\0\0\0\0\xff";

// A member's header, read a byte at a time, whatever the read boundaries.
enum class part { fixed, extra_size, extra, name, comment, check, done };

struct gzip_header {
  part at = part::fixed;
  std::size_t count = 0;  // bytes of the part read
  unsigned flags = 0;
  std::size_t extra = 0;  // the extra field's size
  unsigned check = 0;     // FHCRC as read
  uLong crc = crc32(0, nullptr, 0);
};

bool present(part p, const gzip_header& h) {
  switch (p) {
    case part::extra_size:
      return (h.flags & kExtra) != 0;
    case part::extra:
      return (h.flags & kExtra) != 0 && h.extra > 0;
    case part::name:
      return (h.flags & kName) != 0;
    case part::comment:
      return (h.flags & kComment) != 0;
    case part::check:
      return (h.flags & kCheck) != 0;
    default:
      return true;
  }
}

void next_part(gzip_header& h) {
  do {
    h.at = static_cast<part>(static_cast<int>(h.at) + 1);
  } while (!present(h.at, h));
  h.count = 0;
}

// One byte of the header; false where zlib refuses it.
bool header_byte(gzip_header& h, unsigned char b) {
  if (h.at != part::check) h.crc = crc32(h.crc, &b, 1);
  switch (h.at) {
    case part::fixed: {
      static constexpr unsigned char kMagic[] = {0x1f, 0x8b, 0x08};
      if (h.count < 3 && b != kMagic[h.count]) return false;
      if (h.count == 3) h.flags = b;
      if ((h.flags & kReservedFlags) != 0) return false;
      if (++h.count == kFixedHeader) next_part(h);
      return true;
    }
    case part::extra_size:
      h.extra |= std::size_t{b} << (8 * h.count);
      if (++h.count == 2) next_part(h);
      return true;
    case part::extra:
      if (++h.count == h.extra) next_part(h);
      return true;
    case part::name:
    case part::comment:
      if (b == 0) next_part(h);
      return true;
    case part::check:
      h.check |= unsigned{b} << (8 * h.count);
      if (++h.count < 2) return true;
      next_part(h);
      return h.check == (h.crc & 0xffff);
    case part::done:
      break;
  }
  return true;
}

// Reads io's bytes up to the header's end; false where zlib refuses it.
bool read_header(gzip_header& h, decode_io* io) {
  while (h.at != part::done && io->in_left > 0) {
    const unsigned char b = *io->in;
    ++io->in;
    --io->in_left;
    if (!header_byte(h, b)) return false;
  }
  return true;
}
// Past the window no back-reference can reach before the member's start.
constexpr std::size_t kWindow = std::size_t{1} << 15;
// The member's bytes kept for zlib, at most (its first window of text
// takes a few KiB of a log).
constexpr std::size_t kKeptMost = std::size_t{256} << 10;

struct isal_state {
  inflate_state s;
  gzip_header header;        // the current member's, read here
  bool after_member = false; // a member has ended: padding may follow
  bool padding = false;      // zero bytes followed the last member
  std::size_t taken = 0;     // bytes of the current member's data taken
  std::string kept;          // those bytes, while held is all its text
  bool holding = true;       // its text so far is in held, none given
  std::string held;          // its text, to hand out from held_at
  std::size_t held_at = 0;
  bool ended = false;        // it ended; held text still to go
  decode_step zlib;         // reading it again, after igzip failed
  std::size_t replayed = 0;  // bytes of kept zlib has read
  // igzip reads up to 8 bytes ahead, and at a member's end gives back those
  // past it, which may have come in earlier steps: the last bytes taken,
  // and those given back, for the next member to start with.
  std::string tail;
  std::string carry;
};

constexpr std::size_t kTail = 16;

void start_member(isal_state& st) {
  isal_inflate_reset(&st.s);
  st.s.crc_flag = ISAL_GZIP_NO_HDR_VER;  // check CRC and length
  st.header = gzip_header{};
  st.taken = 0;
  st.kept.assign(kBareHeader, kFixedHeader);
  st.holding = true;
  st.held.clear();
  st.held_at = 0;
  st.ended = false;
  st.zlib = nullptr;
  st.replayed = 0;
}

// The header of a member, or the padding after the last; more until the
// header has been read.
decode_status before_data(isal_state& st, decode_io* io) {
  if (st.after_member && st.header.at == part::fixed &&
      st.header.count == 0 && io->in_left > 0 && io->in[0] == 0)
    st.padding = true;
  if (st.padding) return take_padding(io);
  if (!read_header(st.header, io)) return decode_status::damaged;
  return decode_status::more;
}

// Hands out held text; true once all of it is out.
bool give_held(isal_state& st, decode_io* io) {
  const std::size_t n = std::min(io->out_left, st.held.size() - st.held_at);
  std::memcpy(io->out, st.held.data() + st.held_at, n);
  io->out += n;
  io->out_left -= n;
  st.held_at += n;
  return st.held_at == st.held.size();
}

// zlib reads the member again: its kept bytes, then the rest as it comes.
decode_status replay(isal_state& st, decode_io* io) {
  decode_status status = decode_status::more;
  while (status == decode_status::more && io->out_left > 0) {
    const bool from_kept = st.replayed < st.kept.size();
    decode_io part = *io;
    if (from_kept) {
      part.in = reinterpret_cast<const unsigned char*>(st.kept.data()) +
                st.replayed;
      part.in_left = st.kept.size() - st.replayed;
    }
    const std::size_t in_before = part.in_left, out_before = part.out_left;
    status = st.zlib(&part);
    io->out = part.out;
    io->out_left = part.out_left;
    if (from_kept) {
      st.replayed += in_before - part.in_left;
      continue;
    }
    io->in = part.in;
    io->in_left = part.in_left;
    if (in_before == part.in_left && out_before == part.out_left) break;
  }
  if (status == decode_status::member_ended) {
    start_member(st);
    st.after_member = true;
  }
  return status;
}

// igzip's step, into held while holding; false on damage.
bool inflate_some(isal_state& st, decode_io* io, int* result) {
  const std::size_t before = st.held.size();
  const std::size_t room =
      st.holding ? std::min(io->out_left, kWindow) : io->out_left;
  if (st.holding) st.held.resize(before + room);
  char* out = st.holding ? &st.held[before] : io->out;
  inflate_state& s = st.s;
  s.next_in = const_cast<std::uint8_t*>(io->in);
  s.avail_in = static_cast<std::uint32_t>(io->in_left);
  s.next_out = reinterpret_cast<std::uint8_t*>(out);
  s.avail_out = static_cast<std::uint32_t>(room);
  *result = isal_inflate(&s);
  if (s.avail_in > io->in_left) {  // bytes of earlier steps given back
    const std::size_t back = s.avail_in - io->in_left;
    if (*result < 0 || s.block_state != ISAL_BLOCK_FINISH ||
        back > st.tail.size()) {
      *result = ISAL_INVALID_WRAPPER;  // not ours to make sense of
      return false;
    }
    st.carry = st.tail.substr(st.tail.size() - back);
    st.tail.resize(st.tail.size() - back);
  } else {
    const std::size_t taken = io->in_left - s.avail_in;
    const auto* bytes = reinterpret_cast<const char*>(io->in);
    if (st.holding) st.kept.append(bytes, taken);
    st.tail.append(bytes, taken);
    st.tail.erase(0, st.tail.size() - std::min(st.tail.size(), kTail));
    st.taken += taken;
    io->in = s.next_in;
    io->in_left = s.avail_in;
  }
  const std::size_t made = room - s.avail_out;
  if (st.holding) {
    st.held.resize(before + made);
  } else if (*result >= 0) {  // text of a failed step is not handed out
    io->out += made;
    io->out_left -= made;
  }
  return *result >= 0;
}

decode_status step_on(isal_state& st, decode_io* io) {
  if (st.zlib) return replay(st, io);
  if (st.holding && (st.held.size() >= kWindow || st.kept.size() > kKeptMost)) {
    st.holding = false;
    st.kept = std::string();
  }
  if (!st.holding || st.ended) {
    if (!give_held(st, io)) return decode_status::more;
    if (st.ended) {
      start_member(st);
      return decode_status::member_ended;
    }
  }
  if (st.padding || st.header.at != part::done) {
    const decode_status status = before_data(st, io);
    if (status != decode_status::more || st.header.at != part::done)
      return status;
  }
  int result = 0;
  // Cut short while holding: zlib says how much of the member it makes out.
  const bool cut = io->input_ended && st.holding && st.taken > 0;
  if (cut || !inflate_some(st, io, &result)) {
    if (!st.holding) return decode_status::damaged;
    st.held.clear();
    st.zlib = zlib_inflater();
    if (!st.zlib) return decode_status::out_of_memory;
    return replay(st, io);
  }
  if (st.s.block_state != ISAL_BLOCK_FINISH) return decode_status::more;
  // igzip gives back what it read past the member: the next one's bytes.
  st.ended = true;
  st.after_member = true;
  if (!give_held(st, io)) return decode_status::more;
  start_member(st);
  return decode_status::member_ended;
}

// The bytes given back first, then io's.
decode_status step(isal_state& st, decode_io* io) {
  decode_status status;
  if (st.carry.empty()) {
    status = step_on(st, io);
  } else {
    const std::string carry = std::move(st.carry);
    st.carry.clear();
    decode_io part = *io;
    part.in = reinterpret_cast<const unsigned char*>(carry.data());
    part.in_left = carry.size();
    part.input_ended = false;
    status = step_on(st, &part);
    io->out = part.out;
    io->out_left = part.out_left;
    // What is left of them goes back in front of any given back again.
    st.carry = std::string(reinterpret_cast<const char*>(part.in),
                           part.in_left) +
               st.carry;
  }
  // Bytes still to go: the next member has begun.
  return status == decode_status::member_ended && !st.carry.empty()
             ? decode_status::more
             : status;
}

}  // anonymous namespace

decode_step isal_inflater() {
  std::shared_ptr<isal_state> state(new (std::nothrow) isal_state);
  if (!state) return nullptr;
  isal_inflate_init(&state->s);
  start_member(*state);
  return [state](decode_io* io) { return step(*state, io); };
}
