// bzip2 as a step: the blocks split off (bzip2_blocks.cpp) are decoded by
// libbz2 on a pool of every core, and their text handed on in order, so a
// bzip2 log, whose decoding is slow, is not bound to one core. A piece that
// fails is merged with the next, as the block magic can occur by chance; a
// piece that still fails is damage, and no text of it is handed on.

#include <bzlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "decode/bzip2_blocks.h"
#include "decode/decoder.h"

namespace {

// Tries to merge a failing piece with those after it: the magic by chance
// twice in one block is already past belief.
constexpr int kMostMerges = 3;
constexpr std::size_t kOutStep = std::size_t{1} << 20;

enum class piece_result { pending, ok, failed, out_of_memory };

struct job {
  bzip2_piece piece;
  std::string text;
  piece_result result = piece_result::pending;  // under the pool's lock
  int merges = 0;                               // pieces merged into this one
};

// libbz2 asks for its tables (some 3.6 MB at level 9) for every piece, as
// each is a stream of its own: a pool thread keeps those it was given
// back for its next piece, rather than have fresh pages cleared each time.
struct table_cache {
  std::vector<std::pair<std::size_t, void*>> kept;  // size, block
  table_cache() = default;
  table_cache(const table_cache&) = delete;
  table_cache& operator=(const table_cache&) = delete;
  ~table_cache() {
    for (const auto& block : kept) std::free(block.second);
  }
};

// Each block starts with its size, which libbz2 does not give back.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* cached_alloc(void* opaque, int items, int size) {
  auto& cache = *static_cast<table_cache*>(opaque);
  const std::size_t bytes =
      static_cast<std::size_t>(items) * static_cast<std::size_t>(size);
  for (auto at = cache.kept.begin(); at != cache.kept.end(); ++at) {
    if (at->first != bytes) continue;
    void* block = at->second;
    cache.kept.erase(at);
    return static_cast<char*>(block) + kHeader;
  }
  void* block = std::malloc(bytes + kHeader);
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  return static_cast<char*>(block) + kHeader;
}

void cached_free(void* opaque, void* given) {
  if (given == nullptr) return;
  auto& cache = *static_cast<table_cache*>(opaque);
  void* block = static_cast<char*>(given) - kHeader;
  std::size_t bytes = 0;
  std::memcpy(&bytes, block, sizeof bytes);
  try {
    cache.kept.emplace_back(bytes, block);
  } catch (const std::bad_alloc&) {
    std::free(block);
  }
}

// Decodes a piece as the stream of its own it was rewritten to; the CRCs
// are checked by libbz2 at the stream's end.
piece_result decode(const bzip2_piece& piece, table_cache& tables,
                    std::string* text) {
  if (piece.bit_count == 0) return piece_result::ok;
  try {
    std::vector<unsigned char> stream = stream_of(piece);
    bz_stream z{};
    z.bzalloc = cached_alloc;
    z.bzfree = cached_free;
    z.opaque = &tables;
    if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK)
      return piece_result::out_of_memory;
    z.next_in = reinterpret_cast<char*>(stream.data());
    z.avail_in = static_cast<unsigned>(stream.size());
    int result = BZ_OK;
    while (result == BZ_OK) {
      const std::size_t had = text->size();
      text->resize(had + kOutStep);
      z.next_out = &(*text)[had];
      z.avail_out = static_cast<unsigned>(kOutStep);
      result = BZ2_bzDecompress(&z);
      text->resize(text->size() - z.avail_out);
      if (result == BZ_OK && z.avail_in == 0 && z.avail_out != 0) break;
    }
    const bool whole = result == BZ_STREAM_END && z.avail_in == 0;
    BZ2_bzDecompressEnd(&z);
    if (result == BZ_MEM_ERROR) return piece_result::out_of_memory;
    return whole ? piece_result::ok : piece_result::failed;
  } catch (const std::bad_alloc&) {
    return piece_result::out_of_memory;
  }
}

// Worker threads that decode the pieces handed to them, in any order.
struct pool {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::shared_ptr<job>> todo;
  // Texts handed on, kept for their room: a block's megabyte is not asked
  // of the system afresh for every block.
  std::vector<std::string> spare;
  bool quit = false;
  std::vector<std::thread> threads;

  ~pool() {
    {
      std::lock_guard<std::mutex> held(lock);
      quit = true;
    }
    changed.notify_all();
    for (std::thread& t : threads) t.join();
  }
};

void work(pool& p) {
  table_cache tables;
  for (;;) {
    std::shared_ptr<job> j;
    std::string text;
    {
      std::unique_lock<std::mutex> held(p.lock);
      p.changed.wait(held, [&p] { return p.quit || !p.todo.empty(); });
      if (p.quit) return;
      j = std::move(p.todo.front());
      p.todo.pop_front();
      if (!p.spare.empty()) {
        text = std::move(p.spare.back());
        p.spare.pop_back();
      }
    }
    const piece_result result = decode(j->piece, tables, &text);
    {
      std::lock_guard<std::mutex> held(p.lock);
      j->text = std::move(text);
      j->result = result;
    }
    p.changed.notify_all();
  }
}

struct bzip2_state {
  bzip2_splitter split;
  pool workers;
  std::size_t most_in_flight = 2;
  std::deque<std::shared_ptr<job>> order;  // in flight, oldest first
  std::size_t given = 0;                   // bytes of the oldest's text out
  std::uint32_t combined = 0;              // the stream's CRC so far
};

// The pool starts with the first piece: a log too small to have one costs
// no thread.
bool submit(bzip2_state& st, bzip2_piece piece) {
  auto j = std::make_shared<job>();
  j->piece = std::move(piece);
  if (st.workers.threads.empty()) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    st.most_in_flight = 2 * std::size_t{cores} + 1;
    try {
      for (unsigned i = 0; i < cores; ++i)
        st.workers.threads.emplace_back(work, std::ref(st.workers));
    } catch (const std::system_error&) {
      if (st.workers.threads.empty()) return false;
    }
  }
  {
    std::lock_guard<std::mutex> held(st.workers.lock);
    st.workers.todo.push_back(j);
  }
  st.workers.changed.notify_all();
  st.order.push_back(std::move(j));
  return true;
}

piece_result wait_for_oldest(bzip2_state& st) {
  std::unique_lock<std::mutex> held(st.workers.lock);
  job& oldest = *st.order.front();
  st.workers.changed.wait(
      held, [&oldest] { return oldest.result != piece_result::pending; });
  return oldest.result;
}

// A failed piece merged with the next in its stream and decoded here: the
// block magic occurs by chance now and then inside a block.
bool merge_with_next(bzip2_state& st) {
  job& oldest = *st.order.front();
  if (oldest.piece.ends_stream || oldest.piece.cut ||
      oldest.merges == kMostMerges || st.order.size() < 2)
    return false;
  merge_pieces(oldest.piece, st.order[1]->piece);
  st.order.erase(st.order.begin() + 1);
  ++oldest.merges;
  std::string text;
  table_cache tables;
  const piece_result result = decode(oldest.piece, tables, &text);
  std::lock_guard<std::mutex> held(st.workers.lock);
  oldest.text = std::move(text);
  oldest.result = result;
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

// What ends the oldest piece once its text is out: the next piece, the
// end of its stream (CRC checked against the blocks'), or damage.
decode_status retire_oldest(bzip2_state& st) {
  const bzip2_piece piece = std::move(st.order.front()->piece);
  {
    std::lock_guard<std::mutex> held(st.workers.lock);
    std::string& text = st.order.front()->text;
    text.clear();
    if (st.workers.spare.size() < st.most_in_flight)
      st.workers.spare.push_back(std::move(text));
  }
  st.order.pop_front();
  st.given = 0;
  if (piece.bit_count > 0)
    st.combined = (st.combined << 1 | st.combined >> 31) ^ piece.crc;
  if (piece.cut) return decode_status::damaged;
  if (!piece.ends_stream) return decode_status::more;
  const bool sound = st.combined == piece.stream_crc;
  st.combined = 0;
  return sound ? decode_status::member_ended : decode_status::damaged;
}

bool oldest_pending(bzip2_state& st) {
  std::lock_guard<std::mutex> held(st.workers.lock);
  return st.order.front()->result == piece_result::pending;
}

decode_status step(bzip2_state& st, decode_io* io) {
  for (;;) {
    const bool took = st.order.size() < st.most_in_flight && io->in_left > 0;
    if (took) {
      split_feed(st.split, io->in, io->in_left);
      io->in += io->in_left;
      io->in_left = 0;
    }
    bzip2_piece piece;
    while (st.order.size() < st.most_in_flight &&
           split_next(st.split, io->input_ended, &piece))
      if (!submit(st, std::move(piece))) return decode_status::out_of_memory;
    if (st.order.empty()) {
      // Padding taken: the data may end there, as after a stream.
      if (st.split.damaged) return decode_status::damaged;
      return took && st.split.state == bzip2_splitter::expect::padding
                 ? decode_status::member_ended
                 : decode_status::more;
    }
    // While there is room, more input is read as the pool works.
    const bool room = st.order.size() < st.most_in_flight;
    if (!io->input_ended && room && oldest_pending(st))
      return decode_status::more;
    const piece_result result = wait_for_oldest(st);
    if (result == piece_result::out_of_memory)
      return decode_status::out_of_memory;
    if (result == piece_result::failed) {
      if (merge_with_next(st)) continue;
      // The next piece's end may be still to come.
      if (!io->input_ended && st.order.size() < 2 &&
          !st.order.front()->piece.cut && !st.order.front()->piece.ends_stream)
        return decode_status::more;
      return decode_status::damaged;
    }
    if (!give_text(st, io)) return decode_status::more;
    const decode_status status = retire_oldest(st);
    if (status != decode_status::more || io->out_left == 0) return status;
  }
}

}  // anonymous namespace

decode_step bzip2_decoder() {
  std::shared_ptr<bzip2_state> state(new (std::nothrow) bzip2_state);
  if (!state) return nullptr;
  return [state](decode_io* io) { return step(*state, io); };
}
