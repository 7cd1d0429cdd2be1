#include "log/inflate_source.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace {

// Blocks in flight: the one the reader takes from and those ahead of it.
constexpr int kBlocks = 4;
// How often a reader waiting on the decompressor looks for a stop request.
constexpr auto kStopPoll = std::chrono::milliseconds(20);

enum class ending { none, clean, damaged, read_failed };

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

// The decompressor's side of a stream: zlib's state and the input read.
struct inflater {
  z_stream z{};
  std::unique_ptr<unsigned char[]> input;
  std::size_t input_size = 0;
  bool member_ended = false;  // the last member ended and nothing followed
  int error = 0;
};

// Decompresses into out until it is full or the data ends. zlib may hold
// output back when out is small, so more input is read only once it has
// given all it can of what it has.
ending inflate_into(inflater& in, const byte_source& compressed, char* out,
                    std::size_t* size) {
  in.z.next_out = reinterpret_cast<unsigned char*>(out);
  in.z.avail_out = static_cast<uInt>(*size);
  ending end = ending::none;
  while (in.z.avail_out > 0) {
    const int result = inflate(&in.z, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      // Anything after a member must be another one.
      inflateReset(&in.z);
      in.member_ended = true;
      continue;
    }
    if (result == Z_MEM_ERROR) {
      in.error = ENOMEM;
      end = ending::read_failed;
      break;
    }
    if (result != Z_OK && result != Z_BUF_ERROR) {
      end = ending::damaged;
      break;
    }
    if (result == Z_OK) in.member_ended = false;
    if (in.z.avail_out == 0) break;
    const std::ptrdiff_t got = compressed(
        reinterpret_cast<char*>(in.input.get()), in.input_size, &in.error);
    if (got <= 0) {
      // Data that stops inside a member was cut short.
      end = got < 0            ? ending::read_failed
            : in.member_ended ? ending::clean
                              : ending::damaged;
      break;
    }
    in.z.next_in = in.input.get();
    in.z.avail_in = static_cast<uInt>(got);
  }
  *size -= in.z.avail_out;
  return end;
}

// The decompressing thread: fills blocks until the data ends or the reader
// is gone.
void decompress(handoff& h, const byte_source& compressed,
                inflate_sizes sizes) {
  platform_keep_stop_signals_off_this_thread();
  inflater in;
  in.input.reset(new unsigned char[sizes.input]);
  in.input_size = sizes.input;
  // 16 + the largest window: gzip's wrapper, and only that.
  if (inflateInit2(&in.z, 16 + MAX_WBITS) != Z_OK) {
    hand_over(h, block{}, ending::read_failed, ENOMEM);
    return;
  }
  for (block b; take_empty(h, &b);) {
    b.size = sizes.block;
    const ending end = inflate_into(in, compressed, b.bytes.get(), &b.size);
    hand_over(h, std::move(b), end, in.error);
    if (end != ending::none) break;
  }
  inflateEnd(&in.z);
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

byte_source inflate_source(byte_source compressed, log_reading* reading,
                           inflate_sizes sizes) {
  sizes.block = std::clamp<std::size_t>(sizes.block, 1, uInt(-1));
  sizes.input = std::clamp<std::size_t>(sizes.input, 1, uInt(-1));
  auto d = std::make_shared<decompressor>(reading);
  for (int i = 0; i < kBlocks; ++i)
    d->h.empty.push_back(block{std::unique_ptr<char[]>(new char[sizes.block]), 0});
  try {
    d->worker = std::thread(decompress, std::ref(d->h), std::move(compressed),
                            sizes);
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
