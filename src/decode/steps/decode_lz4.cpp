// liblz4's frame decompressor as a step: frame after frame, as `lz4 -dc`
// reads them, skippable frames passed over and every checksum the frame
// carries verified by the library itself.

#include <lz4frame.h>

#include <memory>

#include "decode/decoder.h"

namespace {

struct lz4_state {
  LZ4F_dctx* context = nullptr;
  ~lz4_state() { LZ4F_freeDecompressionContext(context); }
};

decode_status step(LZ4F_dctx* context, decode_io* io) {
  std::size_t out_size = io->out_left;
  std::size_t in_size = io->in_left;
  const std::size_t hint =
      LZ4F_decompress(context, io->out, &out_size, io->in, &in_size, nullptr);
  io->in += in_size;
  io->in_left -= in_size;
  io->out += out_size;
  io->out_left -= out_size;
  if (LZ4F_isError(hint)) return decode_status::damaged;
  // 0: a frame ended and all its text is out; the next starts afresh.
  return hint == 0 ? decode_status::member_ended : decode_status::more;
}

}  // anonymous namespace

decode_step lz4_decoder() {
  auto state = std::make_shared<lz4_state>();
  if (LZ4F_isError(
          LZ4F_createDecompressionContext(&state->context, LZ4F_VERSION)))
    return nullptr;
  return [state](decode_io* io) { return step(state->context, io); };
}
