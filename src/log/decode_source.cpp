#include "log/decode_source.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "decode/decoder.h"

namespace {

enum class ending { none, clean, damaged, read_failed, too_large };

// A stream's decompressor, the input read for it and how it ended.
struct feed {
  decode_step step;
  byte_source compressed;
  std::unique_ptr<unsigned char[]> input;
  std::size_t input_size = 0;
  std::size_t most_text = 0;  // text handed out per read, at most
  decode_io io;
  bool between_members = false;  // a member ended and nothing followed yet
  bool read_failed = false;
  int error = 0;
  ending end = ending::none;
  log_reading* reading = nullptr;
};

// Decompresses into out until it is full or the data ends. More input is
// read only once the step has given all it can of what it has, as a
// decompressor may hold text back when out is small.
ending decode_into(feed& f, char* out, std::size_t* size) {
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
    const std::ptrdiff_t got = f.compressed(
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

// Why nothing more can be handed out, as a read says it.
std::ptrdiff_t end_of_text(const feed& f, int* error) {
  switch (f.end) {
    case ending::none:
    case ending::clean:
      return 0;
    case ending::damaged:
      f.reading->damaged = true;
      *error = EIO;
      return -1;
    case ending::read_failed:
      *error = f.error;
      return -1;
    case ending::too_large:
      f.reading->window = f.io.window;
      *error = ENOMEM;
      return -1;
  }
  return 0;
}

// Decompresses straight into the reader's buffer: the text is searched
// while it is still in the cache, and no thread waits on another.
std::ptrdiff_t read_text(feed& f, char* into, std::size_t size, int* error) {
  if (f.end != ending::none || size == 0) return end_of_text(f, error);
  std::size_t made = std::min(size, f.most_text);
  f.end = decode_into(f, into, &made);
  // Text before an ending is handed out first; the ending comes next.
  if (made == 0) return end_of_text(f, error);
  f.reading->lines += count_lf(into, made);
  return static_cast<std::ptrdiff_t>(made);
}

}  // anonymous namespace

byte_source decode_source(byte_source compressed, log_reading* reading,
                          decode_sizes sizes, decoder make) {
  return decode_with_step(std::move(compressed), reading, make(), sizes);
}

byte_source decode_with_step(byte_source compressed, log_reading* reading,
                             decode_step step, decode_sizes sizes) {
  // Every decompressor counts its buffers in 32 bits.
  constexpr std::size_t kMost = UINT32_MAX;
  auto f = std::make_shared<feed>();
  f->step = std::move(step);
  f->compressed = std::move(compressed);
  f->input_size = std::clamp<std::size_t>(sizes.input, 1, kMost);
  f->input.reset(new (std::nothrow) unsigned char[f->input_size]);
  f->most_text = std::clamp<std::size_t>(sizes.block, 1, kMost);
  f->reading = reading;
  if (!f->step || !f->input) {
    f->error = ENOMEM;
    f->end = ending::read_failed;
  }
  return [f](char* into, std::size_t size, int* error) {
    return read_text(*f, into, size, error);
  };
}
