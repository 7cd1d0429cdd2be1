#pragma once
// store/: held hits, many tapes in one memory budget and one temporary file.
// The held hits of the whole run in one store: every log and section holds
// its hits on a tape of its own, and all tapes share one memory budget and
// one temporary file, in chunks of at most kChunkBytes. Memory and
// descriptors stay bounded however many logs and sections there are; a
// tape holds the lines' bytes, so nothing of a log is kept open to read
// them back.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "search/search_pass.h"

constexpr std::size_t kChunkBytes = std::size_t{64} << 10;

/// Part of a tape: in memory until spilled, then a slot of the file.
struct tape_chunk {
  enum class state : unsigned char { filling, held, spilled, taken };
  std::unique_ptr<char[]> bytes;  // in memory (filling or held)
  std::uint32_t size = 0;
  std::uint32_t capacity = 0;
  state now = state::filling;
  std::uint64_t slot = 0;  // in the file, once spilled
};

/// One log's hits of one section. Filled by one thread at a time, and read
/// back once it is sealed (replay_tape). Empty, it costs a few words.
struct held_tape {
  std::vector<tape_chunk> chunks;
  std::uint64_t complete = 0;  // bytes up to the end of the last whole record
  int error = 0;  // errno value once a hit was lost (memory exhausted)
};

struct temporary_file_closer {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct hit_store {
  std::size_t budget = std::size_t{32} << 20;  // bytes of chunks in memory
  std::string folder;           // where the temporary file goes, once needed
  std::mutex lock;              // all below, and every chunk but a filling one
  std::deque<held_tape> tapes;  // stay in place as more are added
  std::size_t in_memory = 0;
  std::vector<std::pair<held_tape*, std::size_t>> spillable;  // held chunks
  // The temporary file, made on the first spill, and its slots in use or
  // free.
  std::unique_ptr<std::FILE, temporary_file_closer> file;
  std::uint64_t slots = 0;
  std::vector<std::uint64_t> free_slots;
  int spill_error = 0;  // the file could not take a chunk: no more spills
  bool spill_error_told = false;
};

/// A new, empty tape of the store; it stays where it is until the store
/// goes.
held_tape& new_tape(hit_store& store);

/// Adds one line to the tape. Past the store's budget, held chunks go to
/// the temporary file; when it cannot take them, they stay in memory. Only
/// running out of memory loses the hit (tape.error).
void hold_line(hit_store& store, held_tape& tape, std::string_view line);

/// Says no more lines come: the tape's last chunk may be spilled too.
void seal_tape(hit_store& store, held_tape& tape);

/// Hands the tape's lines to sink in order, numbered from 1, letting go of
/// each chunk once read. Ends early when the sink or the stop check says
/// so. Returns 0, or the errno value when a line was lost or could not be
/// read back: a short read of the file is an error, never the end.
int replay_tape(hit_store& store, held_tape& tape, const hit_sink& sink,
                const stop_check& stop);

/// Lets go of the tape's lines without handing them over.
void drop_tape(hit_store& store, held_tape& tape);

/// True once, after a spill failed: the folder and why are in store.folder
/// and store.spill_error, and the hits were kept in memory.
bool take_spill_failure(hit_store& store);
