// libbrotlidec as a step. A brotli stream is one whole: it has no magic,
// no checksum and no way to join a second, so anything after its end is
// damage, as the brotli tool says.

#include <brotli/decode.h>

#include <cstdint>
#include <memory>

#include "decode/decoder.h"

namespace {

struct brotli_state {
  BrotliDecoderState* state =
      BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
  bool ended = false;
  ~brotli_state() { BrotliDecoderDestroyInstance(state); }
};

decode_status step(brotli_state& st, decode_io* io) {
  if (st.ended)
    return io->in_left > 0 ? decode_status::damaged : decode_status::more;
  std::size_t in_left = io->in_left;
  std::size_t out_left = io->out_left;
  const auto* in = reinterpret_cast<const std::uint8_t*>(io->in);
  auto* out = reinterpret_cast<std::uint8_t*>(io->out);
  const BrotliDecoderResult result = BrotliDecoderDecompressStream(
      st.state, &in_left, &in, &out_left, &out, nullptr);
  io->in = in;
  io->in_left = in_left;
  io->out = reinterpret_cast<char*>(out);
  io->out_left = out_left;
  switch (result) {
    case BROTLI_DECODER_RESULT_SUCCESS:
      st.ended = true;
      return decode_status::member_ended;
    case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:
    case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT:
      return decode_status::more;
    case BROTLI_DECODER_RESULT_ERROR:
    default: {
      const BrotliDecoderErrorCode code = BrotliDecoderGetErrorCode(st.state);
      return code <= BROTLI_DECODER_ERROR_ALLOC_CONTEXT_MODES &&
                     code >= BROTLI_DECODER_ERROR_ALLOC_BLOCK_TYPE_TREES
                 ? decode_status::out_of_memory
                 : decode_status::damaged;
    }
  }
}

}  // anonymous namespace

decode_step brotli_decoder() {
  auto state = std::make_shared<brotli_state>();
  if (state->state == nullptr) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
