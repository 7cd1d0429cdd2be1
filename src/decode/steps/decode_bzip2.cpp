// bzip2 as a step: the blocks split off (bzip2_blocks.cpp) are decoded by
// libbz2 on the run's pool of every core (bzip2_pool.cpp), and their text
// handed on in order, so a bzip2 log, whose decoding is slow, is not bound
// to one core. A piece that fails is merged with the next, as either magic
// can occur by chance; a piece that still fails is damage, and no text of
// it is handed on (but for one too large to hold, handed on as decoded).

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "decode/pools/bzip2_blocks.h"
#include "decode/pools/bzip2_pool.h"
#include "decode/decoder.h"

namespace {

// Tries to merge a failing piece with those after it: the magic by chance
// twice in one block is already past belief.
constexpr int kMostMerges = 3;

struct bzip2_state {
  bzip2_splitter split;
  // A piece a thread at first, two a thread once the first is out: a log
  // whose first lines end its reading (a time window) has no more of it
  // decoded than the cores take at once.
  std::size_t most_in_flight = pool_threads();
  std::deque<job_ptr> order;   // in flight, oldest first
  std::size_t given = 0;       // bytes of the oldest's text out
  std::uint32_t combined = 0;  // the stream's CRC so far
  // Started inside a stream: the blocks before were not read, so its
  // combined CRC cannot be checked.
  bool unchecked = false;
  std::unique_ptr<bzip2_stream> streamed;  // the oldest's, when too large
  ~bzip2_state() {
    for (const job_ptr& j : order) pool_release(*j);
  }
};

bool submit(bzip2_state& st, bzip2_piece piece) {
  auto j = std::make_shared<bzip2_job>();
  j->piece = std::move(piece);
  if (!pool_submit(j)) return false;
  st.order.push_back(std::move(j));
  return true;
}

// Whether another piece may be split off and put in flight.
bool has_room(const bzip2_state& st) {
  return st.order.size() < st.most_in_flight && pool_has_room(st.order.size());
}

// A failed piece merged with the next in its stream and decoded here: the
// block magic occurs by chance now and then inside a block.
bool merge_with_next(bzip2_state& st) {
  bzip2_job& oldest = *st.order.front();
  if (oldest.piece.ends_stream || oldest.piece.cut ||
      oldest.merges == kMostMerges || st.order.size() < 2)
    return false;
  merge_pieces(oldest.piece, st.order[1]->piece);
  pool_release(*st.order[1]);
  st.order.erase(st.order.begin() + 1);
  ++oldest.merges;
  std::string text;
  table_cache tables;
  const piece_result result =
      decode_piece(oldest.piece, tables, &text, kPieceText);
  pool_set_result(oldest, result, std::move(text));
  return true;
}

// The oldest piece's text, as much as fits; done when all of it is out.
bool give_text(bzip2_state& st, decode_io* io) {
  const std::string& text = st.order.front()->text;
  const std::size_t n = std::min(io->out_left, text.size() - st.given);
  std::memcpy(io->out, text.data() + st.given, n);
  io->out += n;
  io->out_left -= n;
  st.given += n;
  return st.given == text.size();
}

// The oldest piece's text, decoded into io's room as it goes; done when
// all of it is out.
piece_result stream_text(bzip2_state& st, decode_io* io) {
  if (!st.streamed) {
    st.streamed.reset(new (std::nothrow) bzip2_stream);
    if (!st.streamed) return piece_result::out_of_memory;
  }
  std::size_t size = io->out_left;
  const piece_result result =
      stream_piece(*st.streamed, st.order.front()->piece, io->out, &size);
  io->out += size;
  io->out_left -= size;
  st.given += size;
  return result;
}

// What ends the oldest piece once its text is out: the next piece, the
// end of its stream (CRC checked against the blocks'), or damage.
decode_status retire_oldest(bzip2_state& st) {
  const bzip2_piece piece = std::move(st.order.front()->piece);
  pool_release(*st.order.front());
  st.order.pop_front();
  st.given = 0;
  st.most_in_flight = 2 * pool_threads() + 1;
  if (piece.bit_count > 0)
    st.combined = (st.combined << 1 | st.combined >> 31) ^ piece.crc;
  if (piece.cut) return decode_status::damaged;
  if (!piece.ends_stream) return decode_status::more;
  const bool sound = st.unchecked || st.combined == piece.stream_crc;
  st.combined = 0;
  st.unchecked = false;
  return sound ? decode_status::member_ended : decode_status::damaged;
}

// The oldest piece's text into io's room, and what ends the piece once all
// of it is out: more while some is left. One too large to hold is decoded
// here as it is handed on; failed only where none of its text is out, as
// such a piece may be merged like any other.
decode_status hand_on(bzip2_state& st, piece_result* result, decode_io* io) {
  if (*result == piece_result::ok && !give_text(st, io))
    return decode_status::more;
  if (*result == piece_result::too_large) {
    *result = stream_text(st, io);
    if (*result == piece_result::pending) return decode_status::more;
    if (*result == piece_result::out_of_memory)
      return decode_status::out_of_memory;
    if (*result == piece_result::failed)
      return st.given > 0 ? decode_status::damaged : decode_status::more;
  }
  return retire_oldest(st);
}

decode_status step(bzip2_state& st, decode_io* io) {
  for (;;) {
    const bool took = has_room(st) && io->in_left > 0;
    if (took) {
      split_feed(st.split, io->in, io->in_left);
      io->in += io->in_left;
      io->in_left = 0;
    }
    bzip2_piece piece;
    while (has_room(st) && split_next(st.split, io->input_ended, &piece))
      if (!submit(st, std::move(piece))) return decode_status::out_of_memory;
    if (st.order.empty()) {
      // Padding taken: the data may end there, as after a stream.
      if (st.split.damaged) return decode_status::damaged;
      return took && st.split.state == bzip2_splitter::expect::padding
                 ? decode_status::member_ended
                 : decode_status::more;
    }
    // While there is room, more input is read as the pool works.
    if (!io->input_ended && has_room(st) &&
        pool_result(*st.order.front(), false) == piece_result::pending)
      return decode_status::more;
    piece_result result = pool_result(*st.order.front(), true);
    if (result == piece_result::out_of_memory)
      return decode_status::out_of_memory;
    if (result != piece_result::failed) {
      const decode_status status = hand_on(st, &result, io);
      if (result != piece_result::failed) {
        if (status != decode_status::more || io->out_left == 0) return status;
        continue;
      }
      if (status == decode_status::damaged) return status;
    }
    if (merge_with_next(st)) continue;
    // The next piece's end may be still to come.
    if (!io->input_ended && st.order.size() < 2 &&
        !st.order.front()->piece.cut && !st.order.front()->piece.ends_stream)
      return decode_status::more;
    return decode_status::damaged;
  }
}

}  // anonymous namespace

decode_step bzip2_decoder() {
  std::shared_ptr<bzip2_state> state(new (std::nothrow) bzip2_state);
  if (!state) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}

decode_step bzip2_decoder_inside(unsigned bit) {
  std::shared_ptr<bzip2_state> state(new (std::nothrow) bzip2_state);
  if (!state) return nullptr;
  split_from_block(state->split, bit);
  state->unchecked = true;
  return [state](decode_io* io) { return step(*state, io); };
}
