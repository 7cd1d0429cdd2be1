#include "store/hit_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace {

// A tape's first chunk is small, so thousands of tapes of a hit or two
// cost little; it doubles up to kChunkBytes as the tape grows.
constexpr std::size_t kFirstChunk = 256;

using guard = std::lock_guard<std::mutex>;

void track(hit_store& store, held_tape& tape, std::size_t index) {
  tape.chunks[index].now = tape_chunk::state::held;
  store.spillable.emplace_back(&tape, index);
}

// Writes a held chunk to a free slot of the temporary file (made on the
// first spill) and lets go of its memory; false when the file cannot take
// it, with the chunk kept as it was.
bool spill_chunk(hit_store& store, tape_chunk& chunk) {
  int error = 0;
  if (!store.file)
    store.file.reset(platform_create_temporary(store.folder, &error));
  if (!store.file) {
    store.spill_error = error != 0 ? error : EIO;
    return false;
  }
  std::uint64_t slot = store.slots;
  if (store.free_slots.empty()) {
    ++store.slots;
  } else {
    slot = store.free_slots.back();
    store.free_slots.pop_back();
  }
  if (platform_write_at(store.file.get(), chunk.bytes.get(), chunk.size,
                        slot * kChunkBytes, &error) < 0) {
    store.spill_error = error != 0 ? error : EIO;
    store.free_slots.push_back(slot);
    return false;
  }
  store.in_memory -= chunk.capacity;
  chunk.bytes.reset();
  chunk.now = tape_chunk::state::spilled;
  chunk.slot = slot;
  return true;
}

// The most recently held chunks go first: they are the ones the report
// needs last. After a failed spill nothing more is tried, so the run
// keeps its hits in memory rather than lose them.
void spill_over_budget(hit_store& store) {
  while (store.in_memory > store.budget && store.spill_error == 0 &&
         !store.spillable.empty()) {
    const auto [tape, index] = store.spillable.back();
    store.spillable.pop_back();
    if (index < tape->chunks.size() &&
        tape->chunks[index].now == tape_chunk::state::held &&
        !spill_chunk(store, tape->chunks[index]))
      return;
  }
}

// Gives the tape's last chunk room for more bytes: a larger one, or a new
// one when it is full. Throws std::bad_alloc when memory is exhausted.
void make_room(hit_store& store, held_tape& tape, std::size_t want) {
  const guard hold(store.lock);
  const bool filling = !tape.chunks.empty() &&
                       tape.chunks.back().now == tape_chunk::state::filling;
  if (filling && tape.chunks.back().capacity < kChunkBytes) {
    tape_chunk& last = tape.chunks.back();
    const std::size_t grown =
        std::min(kChunkBytes,
                 std::max<std::size_t>(2 * last.capacity, last.size + want));
    std::unique_ptr<char[]> bytes(new char[grown]);
    std::memcpy(bytes.get(), last.bytes.get(), last.size);
    store.in_memory += grown - last.capacity;
    last.bytes = std::move(bytes);
    last.capacity = static_cast<std::uint32_t>(grown);
  } else {
    const std::size_t size = std::min(kChunkBytes, std::max(kFirstChunk, want));
    tape_chunk chunk;
    chunk.bytes.reset(new char[size]);
    chunk.capacity = static_cast<std::uint32_t>(size);
    tape.chunks.push_back(std::move(chunk));
    store.in_memory += size;
    if (filling) track(store, tape, tape.chunks.size() - 2);
  }
  spill_over_budget(store);
}

void put(hit_store& store, held_tape& tape, const char* from, std::size_t n) {
  while (n > 0) {
    if (tape.chunks.empty() ||
        tape.chunks.back().now != tape_chunk::state::filling ||
        tape.chunks.back().size == tape.chunks.back().capacity)
      make_room(store, tape, n);
    tape_chunk& last = tape.chunks.back();
    const std::size_t k = std::min<std::size_t>(n, last.capacity - last.size);
    std::memcpy(last.bytes.get() + last.size, from, k);
    last.size += static_cast<std::uint32_t>(k);
    from += k;
    n -= k;
  }
}

// Reads a tape's bytes chunk after chunk, each taken from the store as it
// is reached: from memory, or read whole from its slot of the file.
struct tape_reader {
  tape_reader(hit_store& s, held_tape& t)
      : store(s), tape(t), left(t.complete) {}
  hit_store& store;
  held_tape& tape;
  std::uint64_t left;              // bytes of whole records not yet read
  std::size_t next = 0;            // the chunk after the one in hand
  std::unique_ptr<char[]> held;    // the chunk in hand, from memory
  std::unique_ptr<char[]> buffer;  // or read from the file into this
  const char* data = nullptr;
  std::size_t size = 0, at = 0;
  int error = 0;

  bool take_chunk() {
    std::FILE* file = nullptr;
    std::uint64_t slot = 0;
    {
      const guard hold(store.lock);
      tape_chunk& chunk = tape.chunks[next++];
      size = chunk.size;
      at = 0;
      if (chunk.now == tape_chunk::state::spilled) {
        file = store.file.get();
        slot = chunk.slot;
      } else {
        store.in_memory -= chunk.capacity;
        held = std::move(chunk.bytes);
        data = held.get();
      }
      chunk.now = tape_chunk::state::taken;
    }
    if (file == nullptr) return true;
    held.reset();
    if (!buffer) buffer.reset(new char[kChunkBytes]);
    data = buffer.get();
    const bool read = read_slot(file, slot);
    const guard hold(store.lock);
    store.free_slots.push_back(slot);
    return read;
  }

  // The whole chunk or an error: the tape knows how many bytes it wrote,
  // so a file that gives fewer has lost them.
  bool read_slot(std::FILE* file, std::uint64_t slot) {
    std::size_t got = 0;
    while (got < size) {
      const std::ptrdiff_t n =
          platform_read_at(file, buffer.get() + got, size - got,
                           slot * kChunkBytes + got, &error);
      if (n <= 0) {
        if (n == 0) error = EIO;
        return false;
      }
      got += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool take(char* into, std::size_t n) {
    if (n > left) {
      error = EIO;  // a length read back wrong
      return false;
    }
    left -= n;
    while (n > 0) {
      if (at == size && (next == tape.chunks.size() || !take_chunk())) {
        if (error == 0) error = EIO;
        return false;
      }
      const std::size_t k = std::min(n, size - at);
      std::memcpy(into, data + at, k);
      at += k;
      into += k;
      n -= k;
    }
    return true;
  }
};

bool next_line(tape_reader& reader, std::string& line) {
  std::uint64_t length = 0;
  char bytes[sizeof length];
  if (!reader.take(bytes, sizeof bytes)) return false;
  std::memcpy(&length, bytes, sizeof length);
  line.resize(static_cast<std::size_t>(length));
  return reader.take(line.data(), line.size());
}

}  // anonymous namespace

held_tape& new_tape(hit_store& store) {
  const guard hold(store.lock);
  return store.tapes.emplace_back();
}

// A record is the line's 64-bit length, then its bytes.
void hold_line(hit_store& store, held_tape& tape, std::string_view line) {
  if (tape.error != 0) return;
  const std::uint64_t length = line.size();
  char bytes[sizeof length];
  std::memcpy(bytes, &length, sizeof length);
  try {
    put(store, tape, bytes, sizeof bytes);
    put(store, tape, line.data(), line.size());
    tape.complete += sizeof bytes + line.size();
  } catch (const std::bad_alloc&) {
    tape.error = ENOMEM;  // the bytes past `complete` are never read
  }
}

void seal_tape(hit_store& store, held_tape& tape) {
  const guard hold(store.lock);
  if (tape.chunks.empty() ||
      tape.chunks.back().now != tape_chunk::state::filling)
    return;
  track(store, tape, tape.chunks.size() - 1);
  spill_over_budget(store);
}

int replay_tape(hit_store& store, held_tape& tape, const hit_sink& sink,
                const stop_check& stop) {
  seal_tape(store, tape);
  tape_reader reader(store, tape);
  std::string line;
  std::int64_t number = 0;
  while (reader.left > 0 && !stop() && next_line(reader, line)) {
    if (!sink(line, ++number)) break;
  }
  drop_tape(store, tape);
  if (reader.error != 0) return reader.error;
  return reader.left == 0 ? tape.error : 0;
}

void drop_tape(hit_store& store, held_tape& tape) {
  const guard hold(store.lock);
  for (tape_chunk& chunk : tape.chunks) {
    if (chunk.now == tape_chunk::state::spilled)
      store.free_slots.push_back(chunk.slot);
    else if (chunk.now != tape_chunk::state::taken)
      store.in_memory -= chunk.capacity;
    chunk.now = tape_chunk::state::taken;
  }
  tape.chunks.clear();
  tape.chunks.shrink_to_fit();
  // Nothing left to read back: a second replay is not a loss.
  tape.complete = 0;
}

bool take_spill_failure(hit_store& store) {
  const guard hold(store.lock);
  if (store.spill_error == 0 || store.spill_error_told) return false;
  store.spill_error_told = true;
  return true;
}
