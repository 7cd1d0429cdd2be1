// liblz4's frame decompressor as a step: frame after frame, as `lz4 -dc`
// reads them, skippable frames passed over and every checksum the frame
// carries verified by the library itself. The legacy format (`lz4 -l`, and
// the kernel's), which the frame library does not read, is decoded here a
// block at a time: blocks of at most 8 MiB of text, no checksum, ended by
// the data's end or by the next frame's magic.

#include <lz4.h>
#include <lz4frame.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "decode/decoder.h"

namespace {

constexpr std::uint32_t kLegacyMagic = 0x184C2102;
constexpr std::uint32_t kFrameMagic = 0x184D2204;
constexpr std::uint32_t kSkippableMagic = 0x184D2A50;  // low 4 bits: any
constexpr std::size_t kLegacyText = std::size_t{8} << 20;
constexpr std::size_t kWord = 4;

// A legacy stream's block: its size, its bytes as they come, its text.
struct legacy_block {
  std::string size_bytes;  // the 4 bytes of the next size, or magic
  std::string bytes;       // the block, once its size is known
  std::uint32_t size = 0;
  bool sized = false;
  std::unique_ptr<char[]> text;
  std::size_t text_size = 0;
  std::size_t text_at = 0;  // handed out
};

struct lz4_state {
  LZ4F_dctx* context = nullptr;
  std::string head;  // a frame's magic, until its kind is known
  bool at_frame_start = true;
  bool legacy = false;
  legacy_block old;
  ~lz4_state() { LZ4F_freeDecompressionContext(context); }
};

std::uint32_t little_endian(const std::string& word) {
  std::uint32_t value = 0;
  for (std::size_t i = kWord; i-- > 0;)
    value = value << 8 | static_cast<unsigned char>(word[i]);
  return value;
}

// Moves io's bytes into `into` until it holds `size`; true once it does.
bool gather(std::string& into, std::size_t size, decode_io* io) {
  const std::size_t n = std::min(size - into.size(), io->in_left);
  into.append(reinterpret_cast<const char*>(io->in), n);
  io->in += n;
  io->in_left -= n;
  return into.size() == size;
}

decode_status frame_step(lz4_state& st, decode_io* io) {
  std::size_t out_size = io->out_left;
  std::size_t in_size = io->in_left;
  const std::size_t hint = LZ4F_decompress(st.context, io->out, &out_size,
                                           io->in, &in_size, nullptr);
  io->in += in_size;
  io->in_left -= in_size;
  io->out += out_size;
  io->out_left -= out_size;
  if (LZ4F_isError(hint)) return decode_status::damaged;
  // 0: a frame ended and all its text is out; the next starts afresh.
  if (hint != 0) return decode_status::more;
  st.at_frame_start = true;
  return decode_status::member_ended;
}

// A frame's magic, gathered whole: a legacy stream goes on here, any
// other frame to the library, magic first.
decode_status start_frame(lz4_state& st, decode_io* io) {
  if (!gather(st.head, kWord, io)) return decode_status::more;
  st.at_frame_start = false;
  st.legacy = little_endian(st.head) == kLegacyMagic;
  if (!st.legacy) {
    decode_io magic = *io;
    magic.in = reinterpret_cast<const unsigned char*>(st.head.data());
    magic.in_left = kWord;
    const decode_status status = frame_step(st, &magic);
    io->out = magic.out;
    io->out_left = magic.out_left;
    if (status == decode_status::damaged || magic.in_left != 0)
      return decode_status::damaged;
  }
  st.head.clear();
  // A legacy stream may hold no block at all.
  return st.legacy ? decode_status::member_ended : decode_status::more;
}

// The next word of a legacy stream: another stream, a frame of the other
// kind, or a block's size; false where it cannot be any.
bool legacy_word(lz4_state& st, std::uint32_t word) {
  legacy_block& b = st.old;
  if (word == kLegacyMagic) return true;
  if (word == kFrameMagic || (word & ~0xFu) == kSkippableMagic) {
    st.legacy = false;
    st.at_frame_start = true;
    st.head = b.size_bytes;
    return true;
  }
  if (word == 0 || word > static_cast<std::uint32_t>(
                              LZ4_compressBound(static_cast<int>(kLegacyText))))
    return false;
  b.size = word;
  b.sized = true;
  return true;
}

decode_status legacy_step(lz4_state& st, decode_io* io) {
  legacy_block& b = st.old;
  for (;;) {
    if (b.text_at < b.text_size) {
      const std::size_t n = std::min(io->out_left, b.text_size - b.text_at);
      std::memcpy(io->out, b.text.get() + b.text_at, n);
      io->out += n;
      io->out_left -= n;
      b.text_at += n;
      if (b.text_at < b.text_size) return decode_status::more;
      b.text_size = b.text_at = 0;
      return decode_status::member_ended;  // the data may end here
    }
    if (!b.sized) {
      if (!gather(b.size_bytes, kWord, io)) return decode_status::more;
      const std::uint32_t word = little_endian(b.size_bytes);
      if (!legacy_word(st, word)) return decode_status::damaged;
      b.size_bytes.clear();
      if (!st.legacy) return decode_status::more;
      if (!b.sized) return decode_status::member_ended;  // another stream
      continue;
    }
    if (!gather(b.bytes, b.size, io)) return decode_status::more;
    if (!b.text) b.text.reset(new (std::nothrow) char[kLegacyText]);
    if (!b.text) return decode_status::out_of_memory;
    const int made = LZ4_decompress_safe(b.bytes.data(), b.text.get(),
                                         static_cast<int>(b.size),
                                         static_cast<int>(kLegacyText));
    if (made <= 0) return decode_status::damaged;
    b.text_size = static_cast<std::size_t>(made);
    b.bytes.clear();
    b.sized = false;
  }
}

decode_status step(lz4_state& st, decode_io* io) {
  if (st.at_frame_start) {
    const decode_status status = start_frame(st, io);
    if (status != decode_status::more || st.at_frame_start) return status;
  }
  return st.legacy ? legacy_step(st, io) : frame_step(st, io);
}

}  // anonymous namespace

decode_step lz4_decoder() {
  auto state = std::make_shared<lz4_state>();
  if (LZ4F_isError(
          LZ4F_createDecompressionContext(&state->context, LZ4F_VERSION)))
    return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
