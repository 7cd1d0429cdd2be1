#pragma once
// decode/pools/: blocks decoded on every core, apart from the step that
// reads them in order (steps/decode_bzip2.cpp).
// The threads that decode bzip2 pieces (bzip2_blocks.h) for every bzip2
// log of the run, one a core up to a few, and the room their text and
// tables take: a fixed budget, whatever the number of cores, of logs read
// at once, or how far a block expands. A piece whose text outgrows its
// share is left for its reader to decode as it reads it (bzip2_stream).

#include <bzlib.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "decode/pools/bzip2_blocks.h"

/// The text one piece may take in the pool. A block of text without long
/// runs gives at most its 900 kB; one of runs (a crash's NUL bytes) up to
/// some 45 MB.
constexpr std::size_t kPieceText = std::size_t{2} << 20;

/// The text all pieces in flight may take, in every log together.
constexpr std::size_t kTextBudget = std::size_t{32} << 20;

/// libbz2's tables for a block of level 9 (four bytes for each of its
/// 900 kB, and its state), which a thread that decodes keeps for the next.
constexpr std::size_t kTableBytes = std::size_t{3700} << 10;

/// The threads that decode, at most, however many cores there are: each
/// keeps its tables, so more would take room by the core.
constexpr std::size_t kMostThreads = 6;

/// What a bzip2 log's decoding takes at most, whatever the number of cores:
/// the text in flight, the threads' tables and those of the reader that
/// decodes a piece too large to hold.
constexpr std::size_t kDecodeBudget = std::size_t{60} << 20;
static_assert(kTextBudget + (kMostThreads + 1) * kTableBytes <= kDecodeBudget,
              "the text in flight and every thread's tables fit the budget");

enum class piece_result { pending, ok, failed, too_large, out_of_memory };

struct bzip2_job {
  bzip2_piece piece;
  std::string text;  // its text, once ok
  // Under the pool's lock, as long as it is in the pool:
  piece_result result = piece_result::pending;
  bool dropped = false;  // its reader is gone: the pool lets go of it
  int merges = 0;        // pieces merged into this one
};

using job_ptr = std::shared_ptr<bzip2_job>;

/// libbz2 asks for its tables (some 3.6 MB at level 9) for every piece, as
/// each is a stream of its own: those it gives back are kept for the next
/// piece, rather than have fresh pages cleared each time.
struct table_cache {
  std::vector<std::pair<std::size_t, void*>> kept;  // size, block
  table_cache() = default;
  table_cache(const table_cache&) = delete;
  table_cache& operator=(const table_cache&) = delete;
  ~table_cache();
};

/// Decodes a piece as the stream of its own it was rewritten to, its CRCs
/// checked by libbz2; too_large, with no text, once the text passes most.
piece_result decode_piece(const bzip2_piece& piece, table_cache& tables,
                          std::string* text, std::size_t most);

/// A piece decoded into the reader's room as it reads, for one whose text
/// is too large to hold.
struct bzip2_stream {
  std::vector<unsigned char> bytes;  // the piece as a stream
  bz_stream z{};
  bool open = false;
  table_cache tables;
  bzip2_stream() = default;
  bzip2_stream(const bzip2_stream&) = delete;
  bzip2_stream& operator=(const bzip2_stream&) = delete;
  ~bzip2_stream();
};

/// Decodes more of piece into out (*size bytes of room; *size is set to
/// those written). pending while text remains; ok once all of it is out,
/// checks and all; failed or out_of_memory.
piece_result stream_piece(bzip2_stream& s, const bzip2_piece& piece, char* out,
                          std::size_t* size);

/// The threads the pool has, once it has started; the number given, or
/// one a core when none was, and no more than kMostThreads.
std::size_t pool_threads();

/// The pool's threads from now on (before the first bzip2 log; the
/// benchmarks set more than the machine has cores).
void set_bzip2_threads(unsigned count);

/// True when a reader with `in_flight` pieces may put one more in the pool:
/// while the budget lasts, and always when it has none.
bool pool_has_room(std::size_t in_flight);

/// Hands a piece to the pool; false when it has no thread and none can
/// be started.
bool pool_submit(const job_ptr& job);

/// Waits for the job's result; with wait false, only looks.
piece_result pool_result(bzip2_job& job, bool wait);

/// Sets a job's result, as a reader that decoded it itself.
void pool_set_result(bzip2_job& job, piece_result result, std::string text);

/// The job's room back to the budget, its text kept for another piece;
/// one still waiting is taken off the queue, one being decoded is let go
/// of once done.
void pool_release(bzip2_job& job);
