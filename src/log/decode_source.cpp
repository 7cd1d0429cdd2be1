#include "log/decode_source.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "decode/decoder.h"
#include "platform/platform.h"

namespace {

// Blocks in flight: the one the reader takes from and those ahead of it.
constexpr int kBlocks = 4;
// How often a reader waiting on the decompressor looks for a stop request.
constexpr auto kStopPoll = std::chrono::milliseconds(20);

enum class ending { none, clean, damaged, read_failed, too_large };

struct block {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;
};

// Between the decompressing thread and the reader, under the lock.
struct handoff {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<block> full;    // decompressed, in order, for the reader
  std::vector<block> empty;  // for the decompressor to fill
  ending end = ending::none;
  int error = 0;      // errno value of a failed read
  std::uint64_t window = 0;  // too_large: the window the data asks for
  bool quit = false;  // the reader is gone
};

// An empty block to fill; false once the reader is gone.
bool take_empty(handoff& h, block* b) {
  std::unique_lock<std::mutex> held(h.lock);
  h.changed.wait(held, [&h] { return h.quit || !h.empty.empty(); });
  if (h.quit) return false;
  *b = std::move(h.empty.back());
  h.empty.pop_back();
  return true;
}

void hand_over(handoff& h, block b, ending end, int error) {
  {
    std::lock_guard<std::mutex> held(h.lock);
    if (b.size > 0) h.full.push_back(std::move(b));
    h.end = end;
    h.error = error;
  }
  h.changed.notify_all();
}

// The decompressor's side of a stream: its step and the input read.
struct feed {
  decode_step step;
  std::unique_ptr<unsigned char[]> input;
  std::size_t input_size = 0;
  decode_io io;
  bool between_members = false;  // a member ended and nothing followed yet
  bool read_failed = false;
  int error = 0;
};

// Decompresses into out until it is full or the data ends. More input is
// read only once the step has given all it can of what it has, as a
// decompressor may hold text back when out is small.
ending decode_into(feed& f, const byte_source& compressed, char* out,
                    std::size_t* size) {
  f.io.out = out;
  f.io.out_left = *size;
  ending end = ending::none;
  while (f.io.out_left > 0) {
    const decode_status status = f.step(&f.io);
    if (status == decode_status::member_ended) {
      f.between_members = f.io.in_left == 0;
      continue;
    }
    if (status == decode_status::out_of_memory) {
      f.error = ENOMEM;
      end = ending::read_failed;
      break;
    }
    if (status == decode_status::damaged) {
      end = ending::damaged;
      break;
    }
    if (status == decode_status::too_large) {
      end = ending::too_large;
      break;
    }
    if (f.io.out_left == 0 || f.io.in_left > 0) continue;
    if (f.io.input_ended) {
      // Data that stops inside a member was cut short.
      end = f.read_failed        ? ending::read_failed
            : f.between_members ? ending::clean
                                : ending::damaged;
      break;
    }
    const std::ptrdiff_t got = compressed(
        reinterpret_cast<char*>(f.input.get()), f.input_size, &f.error);
    if (got <= 0) {
      // One more step, for the text the decompressor still holds.
      f.io.input_ended = true;
      f.read_failed = got < 0;
      continue;
    }
    f.between_members = false;
    f.io.in = f.input.get();
    f.io.in_left = static_cast<std::size_t>(got);
  }
  *size -= f.io.out_left;
  return end;
}

// The decompressing thread: fills blocks until the data ends or the reader
// is gone.
void decompress(handoff& h, const byte_source& compressed,
                decode_sizes sizes, decoder make) {
  platform_keep_stop_signals_off_this_thread();
  feed f;
  f.step = make();
  f.input.reset(new (std::nothrow) unsigned char[sizes.input]);
  f.input_size = sizes.input;
  if (!f.step || !f.input) {
    hand_over(h, block{}, ending::read_failed, ENOMEM);
    return;
  }
  for (block b; take_empty(h, &b);) {
    b.size = sizes.block;
    const ending end = decode_into(f, compressed, b.bytes.get(), &b.size);
    if (end == ending::too_large) {
      std::lock_guard<std::mutex> held(h.lock);
      h.window = f.io.window;
    }
    hand_over(h, std::move(b), end, f.error);
    if (end != ending::none) break;
  }
}

// The reader's side: the block being read and the thread that fills them.
struct decompressor {
  handoff h;
  std::thread worker;
  block current;
  std::size_t at = 0;  // bytes of current handed out
  log_reading* reading;

  explicit decompressor(log_reading* r) : reading(r) {}
  ~decompressor() {
    {
      std::lock_guard<std::mutex> held(h.lock);
      h.quit = true;
    }
    h.changed.notify_all();
    if (worker.joinable()) worker.join();
  }
};

// Gives the spent block back and takes the next one, waiting for it when
// asked to. False when there is none: the data has ended, or a stop was
// requested while waiting, or there was no waiting.
bool next_block(decompressor& d, bool wait) {
  std::unique_lock<std::mutex> held(d.h.lock);
  if (d.current.bytes) {
    d.h.empty.push_back(std::move(d.current));
    d.h.changed.notify_all();
  }
  d.current = block{};
  d.at = 0;
  const auto ready = [&d] {
    return !d.h.full.empty() || d.h.end != ending::none;
  };
  while (wait && !ready() && !platform_stop_requested())
    d.h.changed.wait_for(held, kStopPoll);
  if (d.h.full.empty()) return false;
  d.current = std::move(d.h.full.front());
  d.h.full.pop_front();
  return true;
}

// Why nothing more can be handed out, as a read says it.
std::ptrdiff_t end_of_text(decompressor& d, int* error) {
  std::lock_guard<std::mutex> held(d.h.lock);
  switch (d.h.end) {
    case ending::clean:
      return 0;
    case ending::damaged:
      d.reading->damaged = true;
      *error = EIO;
      return -1;
    case ending::read_failed:
      *error = d.h.error;
      return -1;
    case ending::too_large:
      d.reading->window = d.h.window;
      *error = ENOMEM;
      return -1;
    case ending::none:
      break;
  }
  *error = EINTR;  // a stop request ended the wait
  return -1;
}

std::ptrdiff_t read_text(decompressor& d, char* into, std::size_t size,
                         int* error) {
  std::size_t copied = 0;
  while (copied < size) {
    if (d.at == d.current.size) {
      if (!next_block(d, copied == 0)) break;
      continue;
    }
    const std::size_t n = std::min(size - copied, d.current.size - d.at);
    std::memcpy(into + copied, d.current.bytes.get() + d.at, n);
    d.at += n;
    copied += n;
  }
  if (copied == 0) return end_of_text(d, error);
  d.reading->lines += static_cast<std::uint64_t>(
      std::count(into, into + copied, '\n'));
  return static_cast<std::ptrdiff_t>(copied);
}

}  // anonymous namespace

byte_source decode_source(byte_source compressed, log_reading* reading,
                          decode_sizes sizes, decoder make) {
  // Every decompressor counts its buffers in 32 bits.
  constexpr std::size_t kMost = UINT32_MAX;
  sizes.block = std::clamp<std::size_t>(sizes.block, 1, kMost);
  sizes.input = std::clamp<std::size_t>(sizes.input, 1, kMost);
  auto d = std::make_shared<decompressor>(reading);
  for (int i = 0; i < kBlocks; ++i)
    d->h.empty.push_back(block{std::unique_ptr<char[]>(new char[sizes.block]), 0});
  try {
    d->worker = std::thread(decompress, std::ref(d->h), std::move(compressed),
                            sizes, make);
  } catch (const std::system_error& e) {
    // No thread to be had: the log cannot be read.
    const int error = e.code().value() != 0 ? e.code().value() : EAGAIN;
    return [error](char*, std::size_t, int* out) -> std::ptrdiff_t {
      *out = error;
      return -1;
    };
  }
  return [d](char* into, std::size_t size, int* error) {
    return read_text(*d, into, size, error);
  };
}
