// zstd's decompressor as a step: frame after frame, as `zstd -dc` reads
// them, skippable frames passed over by the library itself.

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "decode/decoder.h"

namespace {

// The largest window a frame may ask for: 128 MiB, zstd's own default
// (`zstd --long=31` writes 2 GiB ones, which it reads only when told).
constexpr int kMostWindowLog = 27;
// A frame's header, as far as its window: magic, descriptor, dictionary
// id and content size.
constexpr std::size_t kHeaderBytes = 18;

// No content size stated.
constexpr std::uint64_t kUnknown = UINT64_MAX;

struct zstd_state {
  ZSTD_DStream* stream = ZSTD_createDStream();
  std::string header;      // the current frame's first bytes
  std::uint64_t made = 0;  // its text so far
  ~zstd_state() { ZSTD_freeDStream(stream); }
};

unsigned byte_at(const std::string& s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}

// The content size a frame's header states, or kUnknown.
std::uint64_t content_size_of(const std::string& header) {
  if (header.size() < 5 || header.compare(0, 4, "\x28\xb5\x2f\xfd") != 0)
    return kUnknown;
  static constexpr std::size_t kIdBytes[] = {0, 1, 2, 4};
  static constexpr std::size_t kSizeBytes[] = {1, 2, 4, 8};
  const unsigned descriptor = byte_at(header, 4);
  const bool single = (descriptor & 0x20) != 0;
  if ((descriptor >> 6) == 0 && !single) return kUnknown;
  const std::size_t at = 5 + (single ? 0 : 1) + kIdBytes[descriptor & 3];
  const std::size_t n = kSizeBytes[descriptor >> 6];
  if (header.size() < at + n) return kUnknown;
  std::uint64_t size = 0;
  for (std::size_t i = n; i-- > 0;) size = size << 8 | byte_at(header, at + i);
  return n == 2 ? size + 256 : size;
}

// The window a frame's header asks for; 0 where it does not hold it.
std::uint64_t window_of(const std::string& header) {
  if (header.size() < 6) return 0;
  const unsigned descriptor = byte_at(header, 4);
  if ((descriptor & 0x20) == 0) {  // a window descriptor follows
    const unsigned w = byte_at(header, 5);
    const std::uint64_t base = std::uint64_t{1} << (10 + (w >> 3));
    return base + base / 8 * (w & 7);
  }
  // A single segment: its window is its content size.
  const std::uint64_t size = content_size_of(header);
  return size == kUnknown ? 0 : size;
}

decode_status step(zstd_state& st, decode_io* io) {
  ZSTD_inBuffer in{io->in, io->in_left, 0};
  ZSTD_outBuffer out{io->out, io->out_left, 0};
  const std::size_t result = ZSTD_decompressStream(st.stream, &out, &in);
  st.header.append(reinterpret_cast<const char*>(io->in),
                   std::min(in.pos, kHeaderBytes - st.header.size()));
  io->in += in.pos;
  io->in_left -= in.pos;
  io->out += out.pos;
  io->out_left -= out.pos;
  st.made += out.pos;
  if (ZSTD_isError(result)) {
    // A frame whose window is past the limit is sound but needs more
    // memory than a log should take.
    const ZSTD_ErrorCode code = ZSTD_getErrorCode(result);
    if (code == ZSTD_error_frameParameter_windowTooLarge) {
      // The library may have read the header where it lay, taking none.
      st.header.append(reinterpret_cast<const char*>(io->in),
                       std::min(io->in_left, kHeaderBytes - st.header.size()));
      io->window = window_of(st.header);
      return decode_status::too_large;
    }
    return code == ZSTD_error_memory_allocation ? decode_status::out_of_memory
                                                : decode_status::damaged;
  }
  if (result != 0) return decode_status::more;
  // A frame ended and all its text is out; the next starts afresh. The
  // library holds it to its stated size only when it decodes it in one go.
  const std::uint64_t stated = content_size_of(st.header);
  if (stated != kUnknown && stated != st.made) return decode_status::damaged;
  st.header.clear();
  st.made = 0;
  return decode_status::member_ended;
}

}  // anonymous namespace

decode_step zstd_decoder() {
  auto state = std::make_shared<zstd_state>();
  if (state->stream == nullptr ||
      ZSTD_isError(ZSTD_DCtx_setParameter(state->stream, ZSTD_d_windowLogMax,
                                          kMostWindowLog)))
    return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
