#include "log/log_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "log/decode_source.h"
#include "log/log_format.h"
#include "platform/platform.h"

namespace {

struct file_closer {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The file's bytes, no more than limit of them, counted as they come; the
// file is closed with the last copy of the source.
byte_source bounded_file(std::FILE* file, std::uint64_t limit,
                         log_reading* reading) {
  std::shared_ptr<std::FILE> owned(file, file_closer());
  return [owned, read = file_source(file, limit, &reading->file_bytes), limit,
          reading](char* into, std::size_t size, int* error) {
    const std::ptrdiff_t got = read(into, size, error);
    // A regular file's limit is its size when listed: an end before it
    // means the file lost bytes meanwhile.
    if (got == 0 && size > 0 && limit != kNoLimit &&
        reading->file_bytes < limit)
      reading->shrunk = true;
    return got;
  };
}

// The first bytes of a log, read while they could still be a magic: a
// plain log that starts otherwise is not held up waiting for more (a pipe
// whose writer is idle).
struct head {
  std::string bytes;
  bool ended = false;  // a read met the end of the file, or failed
  int error = 0;       // the failed read's errno value
};

// One read more at the head's end.
void read_more(const byte_source& source, std::size_t step, head* h) {
  const std::size_t had = h->bytes.size();
  h->bytes.resize(had + step);
  const std::ptrdiff_t got = source(&h->bytes[had], step, &h->error);
  h->bytes.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
  if (got <= 0) h->ended = true;
}

// Skippable frames at the start are read past by the sizes they say, their
// bytes dropped as they come: a frame of gigabytes is never held, and the
// frame after them tells the format. They stand as one empty frame, which
// both formats that have them pass over; one the log ends inside, as a
// frame cut short, which both call damage.
void skip_frames(const byte_source& source, std::size_t step, head* h) {
  std::uint64_t left = skippable_bytes(h->bytes);  // still to drop
  if (left == 0) return;
  for (;;) {
    const auto n = static_cast<std::size_t>(
        std::min<std::uint64_t>(left, h->bytes.size()));
    h->bytes.erase(0, n);
    left -= n;
    if (left == 0 && h->bytes.size() >= 8) {
      left = skippable_bytes(h->bytes);
      if (left == 0) break;
      continue;
    }
    if (h->ended) break;
    read_more(source, step, h);
  }
  if (left > 0)
    h->bytes.assign("\x50\x2a\x4d\x18\x01\0\0\0", 8);
  else
    h->bytes.insert(0, kEmptyFrame.data(), kEmptyFrame.size());
}

// `frames`: skippable frames at the start are read past.
head read_head(const byte_source& source, std::uint64_t limit, bool frames) {
  // Reads as large as the first lines need, so a small log comes whole in
  // one and a log set of thousands makes one read each; no larger than
  // the log, since the room is cleared first.
  const auto step = static_cast<std::size_t>(
      std::min<std::uint64_t>(std::size_t{64} << 10, limit));
  head h;
  while (!h.ended && magic_could_follow(h.bytes)) {
    read_more(source, step, &h);
    if (frames && (h.bytes.size() >= 8 || h.ended)) {
      frames = false;
      skip_frames(source, step, &h);
    }
  }
  return h;
}

// The head handed back first, then how its reading ended, then the rest.
byte_source with_head(head h, byte_source rest) {
  return [h = std::move(h), rest = std::move(rest), at = std::size_t{0}](
             char* into, std::size_t size, int* error) mutable
         -> std::ptrdiff_t {
    if (at < h.bytes.size()) {
      const std::size_t n = std::min(size, h.bytes.size() - at);
      std::memcpy(into, h.bytes.data() + at, n);
      at += n;
      return static_cast<std::ptrdiff_t>(n);
    }
    if (h.ended) {
      h.ended = false;  // said once; later reads go to the file again
      *error = h.error;
      return h.error != 0 ? -1 : 0;
    }
    return rest(into, size, error);
  };
}

// The log's text from its head and the rest of its bytes, decompressed
// when its first bytes say so.
byte_source text_of(head h, byte_source rest, log_reading* reading) {
  const log_format format = reading->named != log_format::plain
                                ? reading->named
                                : sniff_format(h.bytes);
  reading->compressed = format != log_format::plain;
  byte_source whole = with_head(std::move(h), std::move(rest));
  if (!reading->compressed) return whole;
  if (const decoder make = decoder_for(format))
    return decode_source(std::move(whole), reading, {}, make);
  // Never searched as the bytes it is. A regular file was refused when
  // opened; a pipe's first bytes are known only now.
  reading->refused = format;
  return [](char*, std::size_t, int* error) -> std::ptrdiff_t {
    *error = EIO;
    return -1;
  };
}

}  // anonymous namespace

byte_source file_source(std::FILE* file, std::uint64_t limit,
                        std::atomic<std::uint64_t>* counted) {
  if (file == nullptr) return nullptr;
  // A limit is a regular file's size: its reads never wait.
  const bool may_wait = limit == kNoLimit;
  return [file, limit, counted, may_wait](char* into, std::size_t size,
                                          int* error) mutable -> std::ptrdiff_t {
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, limit));
    if (want == 0) return 0;
    const std::ptrdiff_t got = platform_read(file, into, want, error, may_wait);
    if (got <= 0) return got;
    limit -= static_cast<std::uint64_t>(got);
    if (counted != nullptr) *counted += static_cast<std::uint64_t>(got);
    return got;
  };
}

byte_source open_log_source(std::FILE* file, std::uint64_t limit,
                            log_reading* reading, const start_probe* probe) {
  if (file == nullptr) return nullptr;
  if (probe != nullptr)
    if (byte_source late = open_late(file, limit, reading, *probe))
      return late;
  byte_source from_file = bounded_file(file, limit, reading);
  head h = read_head(from_file, limit, reading->named == log_format::plain);
  return text_of(std::move(h), std::move(from_file), reading);
}

byte_source open_log_bytes(std::string bytes, log_reading* reading) {
  reading->file_bytes = bytes.size();
  head h{std::move(bytes), true, 0};
  return text_of(
      std::move(h),
      [](char*, std::size_t, int*) -> std::ptrdiff_t { return 0; }, reading);
}

bool refuse_unreadable(const std::string& log_name, log_format format) {
  if (format_readable(format)) return false;
  platform_write_text(stderr, unreadable_text(log_name, format));
  std::fflush(stderr);
  return true;
}

std::uint64_t read_limit(const file_facts& facts) {
  return facts.regular && facts.size != 0 ? facts.size : kNoLimit;
}
