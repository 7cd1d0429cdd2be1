// liblzma's decompressor as a step: .xz streams one after another, and the
// padding between them, as `xz -dc` reads them.

#include <lzma.h>

#include <cstdint>
#include <memory>

#include "decode/decoder.h"

namespace {

struct xz_state {
  lzma_stream z = LZMA_STREAM_INIT;
  bool ended = false;  // the last stream ended: nothing may follow
  ~xz_state() { lzma_end(&z); }
};

decode_status status_of(lzma_ret result, const decode_io& io) {
  switch (result) {
    case LZMA_OK:
      return decode_status::more;
    case LZMA_BUF_ERROR:
      // No progress: more input is wanted, and once it has ended the data
      // stops inside a stream.
      return io.input_ended && io.in_left == 0 ? decode_status::damaged
                                               : decode_status::more;
    case LZMA_STREAM_END:
      return decode_status::member_ended;
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
      return decode_status::out_of_memory;
    case LZMA_FORMAT_ERROR:   // not .xz past the first stream
    case LZMA_OPTIONS_ERROR:  // a filter or check this liblzma lacks
    case LZMA_DATA_ERROR:     // damaged, or a check that fails
    default:
      return decode_status::damaged;
  }
}

decode_status step(xz_state& st, decode_io* io) {
  // Concatenated streams end only where the input does, which LZMA_FINISH
  // tells the decoder.
  if (st.ended) return decode_status::more;
  st.z.next_in = io->in;
  st.z.avail_in = io->in_left;
  st.z.next_out = reinterpret_cast<std::uint8_t*>(io->out);
  st.z.avail_out = io->out_left;
  const lzma_ret result =
      lzma_code(&st.z, io->input_ended ? LZMA_FINISH : LZMA_RUN);
  io->in = st.z.next_in;
  io->in_left = st.z.avail_in;
  io->out = reinterpret_cast<char*>(st.z.next_out);
  io->out_left = st.z.avail_out;
  st.ended = result == LZMA_STREAM_END;
  return status_of(result, *io);
}

}  // anonymous namespace

decode_step xz_decoder() {
  auto state = std::make_shared<xz_state>();
  if (lzma_stream_decoder(&state->z, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK)
    return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
