// zlib's gzip decompressor as a step: the one every build has.

#include <zlib.h>

#include <memory>
#include <new>

#include "decode/decoder.h"

namespace {

struct zlib_state {
  z_stream z{};
  ~zlib_state() { inflateEnd(&z); }
};

decode_status step(z_stream& z, decode_io* io) {
  z.next_in = const_cast<unsigned char*>(io->in);
  z.avail_in = static_cast<uInt>(io->in_left);
  z.next_out = reinterpret_cast<unsigned char*>(io->out);
  z.avail_out = static_cast<uInt>(io->out_left);
  const int result = inflate(&z, Z_NO_FLUSH);
  io->in = z.next_in;
  io->in_left = z.avail_in;
  io->out = reinterpret_cast<char*>(z.next_out);
  io->out_left = z.avail_out;
  switch (result) {
    case Z_OK:
    case Z_BUF_ERROR:  // no progress: more input is wanted
      return decode_status::more;
    case Z_STREAM_END:
      // Anything after a member must be another one.
      inflateReset(&z);
      return decode_status::member_ended;
    case Z_MEM_ERROR:
      return decode_status::out_of_memory;
    default:
      return decode_status::damaged;
  }
}

}  // anonymous namespace

decode_step zlib_inflater() {
  std::shared_ptr<zlib_state> state(new (std::nothrow) zlib_state);
  // 16 + the largest window: gzip's wrapper, and only that.
  if (!state || inflateInit2(&state->z, 16 + MAX_WBITS) != Z_OK) return nullptr;
  return [state](decode_io* io) { return step(state->z, io); };
}
