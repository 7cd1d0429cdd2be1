// liblzma's decompressors as steps: .xz streams one after another, and the
// padding between them, as `xz -dc` reads them, their blocks spread over
// the cores where a stream has several; and the older .lzma format, one
// stream with nothing after it.

#include <lzma.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "decode/decoder.h"

namespace {

// Past this the threaded decoder takes fewer threads, down to decoding in
// place as a one-block stream is: a block's text is held whole until the
// blocks before it are handed on, and xz -T0 writes blocks of up to 24 MiB
// (8 MiB of dictionary besides), so two threads need some 70 MiB.
constexpr std::uint64_t kThreadsMemory = std::uint64_t{80} << 20;

// Logs whose blocks are decoded on every core just now. One at a time:
// while several logs are searched at once the cores are busy with them
// already, and each threaded decoder would hold its own blocks.
std::atomic<int> threaded_logs{0};

struct xz_state {
  lzma_stream z = LZMA_STREAM_INIT;
  bool ended = false;    // the stream ended: nothing may follow
  bool one_stream = false;  // .lzma: a second stream is damage too
  bool threaded = false;    // counted in threaded_logs
  ~xz_state() {
    lzma_end(&z);
    if (threaded) --threaded_logs;
  }
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
  // Concatenated .xz streams end only where the input does, which
  // LZMA_FINISH tells the decoder; .lzma ends with its stream.
  if (st.ended)
    return st.one_stream && io->in_left > 0 ? decode_status::damaged
                                            : decode_status::more;
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

lzma_ret start_xz(xz_state& st) {
#if LZMA_VERSION >= 50040002U  // the threaded decoder came with 5.4.0
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  if (cores > 1 && threaded_logs.fetch_add(1) == 0) {
    st.threaded = true;
    lzma_mt mt{};
    mt.flags = LZMA_CONCATENATED;
    mt.threads = cores;
    mt.timeout = 0;  // wait for the threads, never return early
    mt.memlimit_threading = kThreadsMemory;
    mt.memlimit_stop = UINT64_MAX;
    return lzma_stream_decoder_mt(&st.z, &mt);
  }
  if (cores > 1) --threaded_logs;
#endif
  return lzma_stream_decoder(&st.z, UINT64_MAX, LZMA_CONCATENATED);
}

}  // anonymous namespace

decode_step xz_decoder() {
  auto state = std::make_shared<xz_state>();
  if (start_xz(*state) != LZMA_OK) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}

decode_step lzma_decoder() {
  auto state = std::make_shared<xz_state>();
  state->one_stream = true;
  if (lzma_alone_decoder(&state->z, UINT64_MAX) != LZMA_OK) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
