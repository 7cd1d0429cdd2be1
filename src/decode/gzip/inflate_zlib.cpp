// zlib's gzip decompressor as a step: the one every build has; and the
// zero padding gzip accepts after the last member.

#include <zlib.h>

#include <memory>
#include <new>

#include "decode/decoder.h"

namespace {

struct zlib_state {
  z_stream z{};
  bool between = false;  // a member ended and the next has not begun
  bool padding = false;  // zero bytes followed the last member
  ~zlib_state() { inflateEnd(&z); }
};

decode_status step(zlib_state& st, decode_io* io) {
  if (st.between && io->in_left > 0) {
    st.padding = io->in[0] == 0;
    st.between = false;
  }
  if (st.padding) return take_padding(io);
  z_stream& z = st.z;
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
      st.between = true;
      return decode_status::member_ended;
    case Z_MEM_ERROR:
      return decode_status::out_of_memory;
    default:
      return decode_status::damaged;
  }
}

}  // anonymous namespace

decode_status take_padding(decode_io* io) {
  const unsigned char* const start = io->in;
  while (io->in_left > 0 && *io->in == 0) {
    ++io->in;
    --io->in_left;
  }
  if (io->in_left > 0) return decode_status::damaged;
  return io->in != start ? decode_status::member_ended : decode_status::more;
}

decode_step zlib_inflater() {
  std::shared_ptr<zlib_state> state(new (std::nothrow) zlib_state);
  // 16 + the largest window: gzip's wrapper, and only that.
  if (!state || inflateInit2(&state->z, 16 + MAX_WBITS) != Z_OK) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
