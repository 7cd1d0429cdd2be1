// zstd's decompressor as a step: frame after frame, as `zstd -dc` reads
// them, skippable frames passed over by the library itself.

#include <zstd.h>
#include <zstd_errors.h>

#include <memory>

#include "decode/decoder.h"

namespace {

struct zstd_state {
  ZSTD_DStream* stream = ZSTD_createDStream();
  ~zstd_state() { ZSTD_freeDStream(stream); }
};

decode_status step(ZSTD_DStream* stream, decode_io* io) {
  ZSTD_inBuffer in{io->in, io->in_left, 0};
  ZSTD_outBuffer out{io->out, io->out_left, 0};
  const std::size_t result = ZSTD_decompressStream(stream, &out, &in);
  io->in += in.pos;
  io->in_left -= in.pos;
  io->out += out.pos;
  io->out_left -= out.pos;
  if (ZSTD_isError(result)) {
    // A frame whose window is past the library's default limit is sound
    // but needs more memory than a log should take.
    const ZSTD_ErrorCode code = ZSTD_getErrorCode(result);
    return code == ZSTD_error_memory_allocation ||
                   code == ZSTD_error_frameParameter_windowTooLarge
               ? decode_status::out_of_memory
               : decode_status::damaged;
  }
  // 0: a frame ended and all its text is out; the next starts afresh.
  return result == 0 ? decode_status::member_ended : decode_status::more;
}

}  // anonymous namespace

decode_step zstd_decoder() {
  auto state = std::make_shared<zstd_state>();
  if (state->stream == nullptr) return nullptr;
  return [state](decode_io* io) { return step(state->stream, io); };
}
