#include "decode/pools/bzip2_pool.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

constexpr std::size_t kOutStep = std::size_t{1} << 20;
// Pieces in flight, in every log together, whose text the budget holds.
constexpr std::size_t kSlots = kTextBudget / kPieceText;
// What follows a block in the stream a piece is rewritten to: the end
// magic, the CRC and the padding, with the last byte the block ends in.
constexpr unsigned kTrailerBytes = 11;
// What a piece cut inside the stream's end marker holds of it, at most.
constexpr unsigned kCutMarkerBytes = 6;

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

// bzip2's CRC of a block's text: CRC-32 taken high bit first.
std::uint32_t block_crc(const std::string& text) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i << 24;
      for (int bit = 0; bit < 8; ++bit)
        c = (c & 0x80000000u) != 0 ? c << 1 ^ 0x04c11db7u : c << 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xffffffffu;
  for (const char ch : text)
    crc = crc << 8 ^ table[(crc >> 24 ^ static_cast<unsigned char>(ch)) & 0xff];
  return ~crc;
}

bool open_stream(bz_stream& z, table_cache& tables,
                 std::vector<unsigned char>& bytes) {
  z = bz_stream{};
  z.bzalloc = cached_alloc;
  z.bzfree = cached_free;
  z.opaque = &tables;
  if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK) return false;
  z.next_in = reinterpret_cast<char*>(bytes.data());
  z.avail_in = static_cast<unsigned>(bytes.size());
  return true;
}

struct pool {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<job_ptr> todo;
  std::vector<std::string> spare;  // texts let go of, their room kept
  std::size_t slots = 0;           // pieces in flight, in every log
  std::size_t wanted = 0;          // threads; 0: one a core
  std::vector<std::thread> threads;
};

// Never destroyed: its threads wait for work until the program ends.
pool& the_pool() {
  static pool* const p = new pool;
  return *p;
}

// Under the lock: the job's room back to the budget.
void give_back(pool& p, bzip2_job& job) {
  --p.slots;
  job.text.clear();
  if (p.slots + p.spare.size() < kSlots && job.text.capacity() > 0) {
    try {
      p.spare.push_back(std::move(job.text));
    } catch (const std::bad_alloc&) {
    }
  }
  job.text = std::string();
}

void work(pool& p) {
  table_cache tables;
  for (;;) {
    job_ptr j;
    std::string text;
    {
      std::unique_lock<std::mutex> held(p.lock);
      p.changed.wait(held, [&p] { return !p.todo.empty(); });
      j = std::move(p.todo.front());
      p.todo.pop_front();
      if (!p.spare.empty()) {
        text = std::move(p.spare.back());
        p.spare.pop_back();
      }
    }
    const piece_result result = decode_piece(j->piece, tables, &text, kPieceText);
    {
      std::lock_guard<std::mutex> held(p.lock);
      j->text = std::move(text);
      j->result = result;
      if (j->dropped) give_back(p, *j);
    }
    p.changed.notify_all();
  }
}

}  // anonymous namespace

table_cache::~table_cache() {
  for (const auto& block : kept) std::free(block.second);
}

piece_result decode_piece(const bzip2_piece& piece, table_cache& tables,
                          std::string* text, std::size_t most) {
  text->clear();
  if (piece.bit_count == 0) return piece_result::ok;
  try {
    std::vector<unsigned char> stream = stream_of(piece);
    text->reserve(most);  // at once: no copies as it grows
    bz_stream z;
    if (!open_stream(z, tables, stream)) return piece_result::out_of_memory;
    int result = BZ_OK;
    while (result == BZ_OK && text->size() < most) {
      const std::size_t had = text->size();
      const std::size_t step = std::min(kOutStep, most - had);
      text->resize(had + step);
      z.next_out = &(*text)[had];
      z.avail_out = static_cast<unsigned>(step);
      result = BZ2_bzDecompress(&z);
      text->resize(text->size() - z.avail_out);
      if (result == BZ_OK && z.avail_in == 0 && z.avail_out != 0) break;
    }
    // A piece the data ends in may end inside the stream's end marker,
    // whose bits stand before the one written after it: libbz2 gives the
    // block's text whole, then finds no marker. The block's own CRC says
    // whether that text is sound, as bzip2 itself checks it.
    const bool whole =
        (result == BZ_STREAM_END && z.avail_in == 0) ||
        (piece.cut && result == BZ_DATA_ERROR && !text->empty() &&
         block_crc(*text) == piece.crc);
    // Text past most from a block that ends where the piece does: sound so
    // far, and left to be streamed. One that ended before is no block.
    const bool large =
        result == BZ_OK && text->size() >= most &&
        z.avail_in <= kTrailerBytes + (piece.cut ? kCutMarkerBytes : 0);
    BZ2_bzDecompressEnd(&z);
    if (result == BZ_MEM_ERROR) return piece_result::out_of_memory;
    if (large) *text = std::string();  // its room is of no more use
    return whole   ? piece_result::ok
           : large ? piece_result::too_large
                   : piece_result::failed;
  } catch (const std::bad_alloc&) {
    return piece_result::out_of_memory;
  }
}

bzip2_stream::~bzip2_stream() {
  if (open) BZ2_bzDecompressEnd(&z);
}

piece_result stream_piece(bzip2_stream& s, const bzip2_piece& piece, char* out,
                          std::size_t* size) {
  if (!s.open) {
    try {
      s.bytes = stream_of(piece);
    } catch (const std::bad_alloc&) {
      return piece_result::out_of_memory;
    }
    if (!open_stream(s.z, s.tables, s.bytes))
      return piece_result::out_of_memory;
    s.open = true;
  }
  s.z.next_out = out;
  s.z.avail_out = static_cast<unsigned>(std::min<std::size_t>(*size, UINT32_MAX));
  const unsigned room = s.z.avail_out;
  const int result = BZ2_bzDecompress(&s.z);
  *size = room - s.z.avail_out;
  const bool stuck = result == BZ_OK && s.z.avail_in == 0 && s.z.avail_out != 0;
  if (result == BZ_OK && !stuck) return piece_result::pending;
  const bool whole = result == BZ_STREAM_END && s.z.avail_in == 0;
  BZ2_bzDecompressEnd(&s.z);
  s.open = false;
  s.bytes = std::vector<unsigned char>();
  if (result == BZ_MEM_ERROR) return piece_result::out_of_memory;
  return whole ? piece_result::ok : piece_result::failed;
}

std::size_t pool_threads() {
  pool& p = the_pool();
  std::lock_guard<std::mutex> held(p.lock);
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  return std::min(p.wanted != 0 ? p.wanted : cores, kMostThreads);
}

void set_bzip2_threads(unsigned count) {
  pool& p = the_pool();
  std::lock_guard<std::mutex> held(p.lock);
  p.wanted = count;
}

bool pool_has_room(std::size_t in_flight) {
  pool& p = the_pool();
  std::lock_guard<std::mutex> held(p.lock);
  return in_flight == 0 || p.slots < kSlots;
}

bool pool_submit(const job_ptr& job) {
  const std::size_t wanted = pool_threads();
  pool& p = the_pool();
  {
    std::lock_guard<std::mutex> held(p.lock);
    try {
      while (p.threads.size() < wanted)
        p.threads.emplace_back(work, std::ref(p));
    } catch (const std::system_error&) {
      if (p.threads.empty()) return false;
    }
    p.todo.push_back(job);
    ++p.slots;
  }
  p.changed.notify_all();
  return true;
}

piece_result pool_result(bzip2_job& job, bool wait) {
  pool& p = the_pool();
  std::unique_lock<std::mutex> held(p.lock);
  if (wait)
    p.changed.wait(held,
                   [&job] { return job.result != piece_result::pending; });
  return job.result;
}

void pool_set_result(bzip2_job& job, piece_result result, std::string text) {
  pool& p = the_pool();
  std::lock_guard<std::mutex> held(p.lock);
  job.text = std::move(text);
  job.result = result;
}

void pool_release(bzip2_job& job) {
  pool& p = the_pool();
  std::lock_guard<std::mutex> held(p.lock);
  const auto queued = std::find_if(
      p.todo.begin(), p.todo.end(),
      [&job](const job_ptr& j) { return j.get() == &job; });
  const bool waiting = queued != p.todo.end();
  if (waiting) p.todo.erase(queued);
  if (job.result == piece_result::pending && !waiting)
    job.dropped = true;  // the worker gives it back when done
  else
    give_back(p, job);
}
