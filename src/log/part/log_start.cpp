#include "log/part/log_start.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "decode/block_seek.h"
#include "log/decode_source.h"
#include "log/line_reader.h"
#include "log/log_format.h"
#include "log/log_source.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Text looked at in a place: some hundreds of lines, in one read.
constexpr std::size_t kSample = std::size_t{64} << 10;
// A place whose first whole line ends no nearer than this is passed over.
constexpr std::size_t kMostSample = std::size_t{16} << 20;
// A bzip2 log's places: its compressed bytes a sample's size apart, each
// the first block from there on.
constexpr std::uint64_t kBzip2Step = kSample;

// Where reading may start in a place: `at` (a file offset, a block, a
// block's first bit) and the text bytes from there to the line to start at.
struct start_at {
  std::uint64_t at = 0;
  std::uint64_t skip = 0;
};

using place_answer = std::function<bool(std::size_t place, start_at* start)>;

// The last of `count` places the probe says yes to, taking its word that
// it says yes up to some place and no after it: O(log count) samples.
// False when it says no at the first.
bool last_yes(std::size_t count, const place_answer& yes, start_at* start) {
  if (count == 0 || !yes(0, start)) return false;
  std::size_t low = 0, high = count;  // yes at low; no at high, if any
  while (high - low > 1) {
    const std::size_t mid = low + (high - low) / 2;
    start_at here;
    if (yes(mid, &here)) {
      low = mid;
      *start = here;
    } else {
      high = mid;
    }
  }
  return true;
}

// The probe's answer for text taken from a place: bytes from the text's
// first to the line it starts at, or kNone. Text that does not begin the
// log begins inside a line, so is looked at from its first LF on; a line
// cut at its end is left to the next place, but for the log's last.
std::size_t ask(const start_probe& probe, std::string_view text,
                bool at_start, bool at_end) {
  std::size_t first = 0;
  if (!at_start) {
    first = text.find('\n');
    if (first == kNone) return kNone;
    ++first;
  }
  std::size_t end = text.size();
  if (!at_end) {
    const std::size_t last = text.rfind('\n');
    if (last == kNone || last < first) return kNone;
    end = last + 1;
  }
  const std::string_view sample = text.substr(first, end - first);
  if (sample.empty()) return kNone;
  const std::size_t at = probe(sample);
  // Nothing but a line start in the sample will do.
  if (at >= sample.size() || (at > 0 && sample[at - 1] != '\n')) return kNone;
  return first + at;
}

// True when text holds a whole line past the partial first one it may
// begin with.
bool holds_line(std::string_view text, bool at_start) {
  const std::size_t first = at_start ? 0 : text.find('\n');
  return first != kNone &&
         text.find('\n', at_start ? 0 : first + 1) != kNone;
}

read_at reader_of(std::FILE* file) {
  return [file](char* into, std::size_t size, std::uint64_t offset) {
    int error = 0;
    return platform_read_at(file, into, size, offset, &error);
  };
}

// Up to size bytes of the file from offset, fewer at its end or on a
// failed read.
std::string read_bytes(const read_at& read, std::uint64_t offset,
                       std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t have = 0;
  while (have < size) {
    const std::ptrdiff_t got = read(&bytes[have], size - have, offset + have);
    if (got <= 0) break;
    have += static_cast<std::size_t>(got);
  }
  bytes.resize(have);
  return bytes;
}

// A plain log's place: the first line start after `offset` (a line that
// starts right at it included, so from the byte before).
bool plain_answer(const read_at& read, std::uint64_t limit,
                  const start_probe& probe, std::uint64_t offset,
                  start_at* start) {
  const bool at_start = offset == 0;
  const std::uint64_t from = at_start ? 0 : offset - 1;
  std::string text;
  bool at_end = false;
  for (std::size_t want = kSample;; want *= 4) {
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(want, limit - from));
    text = read_bytes(read, from, size);
    at_end = text.size() < want;
    if (at_end || holds_line(text, at_start) || want >= kMostSample) break;
  }
  const std::size_t at = ask(probe, text, at_start, at_end);
  if (at == kNone) return false;
  start->at = from + at;
  return true;
}

// Reads a plain log from the start the probe takes, where it is past the
// first line.
bool plain_start(const read_at& read, std::uint64_t limit,
                 const start_probe& probe, block_seek* seek) {
  start_at start;
  const auto places = static_cast<std::size_t>((limit + kSample - 1) / kSample);
  if (!last_yes(
          places,
          [&](std::size_t place, start_at* at) {
            return plain_answer(read, limit, probe, place * kSample, at);
          },
          &start) ||
      start.at == 0)
    return false;
  seek->parts = {{"", start.at, limit}};
  seek->taken_before = start.at;
  return true;
}

#ifdef VANTREL_HAVE_XZ
bool xz_answer(const read_at& read, const xz_index& index,
               const start_probe& probe, std::size_t block, start_at* start) {
  const xz_block& b = index.blocks[block];
  const bool at_start = b.text_offset == 0;
  std::string text;
  bool whole = false;
  for (std::size_t want = kSample;; want *= 4) {
    if (!xz_block_text(read, index, block, want, &text)) return false;
    whole = text.size() == b.text_size;
    if (whole || holds_line(text, at_start) || want >= kMostSample) break;
  }
  const bool at_end = whole && block + 1 == index.blocks.size();
  const std::size_t at = ask(probe, text, at_start, at_end);
  if (at == kNone) return false;
  *start = {block, at};
  return true;
}

bool xz_start(const read_at& read, std::uint64_t limit,
              const start_probe& probe, block_seek* seek,
              std::uint64_t* skip) {
  xz_index index;
  // A log of one block is decoded from its start whatever the window.
  if (!read_xz_index(read, limit, &index) || index.blocks.size() < 2)
    return false;
  start_at start;
  if (!last_yes(
          index.blocks.size(),
          [&](std::size_t block, start_at* at) {
            return xz_answer(read, index, probe, block, at);
          },
          &start) ||
      (index.blocks[start.at].text_offset == 0 && start.skip == 0))
    return false;
  *seek = xz_from_block(index, static_cast<std::size_t>(start.at), limit);
  *skip = start.skip;
  return static_cast<bool>(seek->step);
}
#endif

#ifdef VANTREL_HAVE_BZIP2
// The first block of a bzip2 log's first stream follows its header.
constexpr std::uint64_t kFirstBlockBit = 32;

bool bzip2_start(const read_at& read, std::uint64_t limit,
                 const start_probe& probe, block_seek* seek,
                 std::uint64_t* skip) {
  start_at start;
  const auto places =
      static_cast<std::size_t>((limit + kBzip2Step - 1) / kBzip2Step);
  const auto answer = [&](std::size_t place, start_at* at) {
    std::string text;
    std::uint64_t bit = 0;
    if (!bzip2_block_at(read, limit, place * kBzip2Step, kSample, &bit,
                        &text))
      return false;
    const std::size_t skipped =
        ask(probe, text, bit == kFirstBlockBit, false);
    if (skipped == kNone) return false;
    *at = {bit, skipped};
    return true;
  };
  if (!last_yes(places, answer, &start) ||
      (start.at == kFirstBlockBit && start.skip == 0))
    return false;
  // The samples were not held to their blocks' checks: the one to start
  // at is, whole, lest a block magic by chance be taken for a block.
  std::uint64_t bit = 0;
  std::string whole;
  if (!bzip2_block_at(read, limit, start.at / 8, kNone, &bit, &whole) ||
      bit != start.at)
    return false;
  *seek = bzip2_from_block(start.at, limit);
  *skip = start.skip;
  return static_cast<bool>(seek->step);
}
#endif

// The first look: a KiB of text (some lines), decoded on this thread alone,
// from no more than a MiB of the file (skippable frames are not read past).
// Kept small, as a set of a year of logs looks at every newer log.
constexpr std::size_t kLook = std::size_t{1} << 10;
constexpr std::uint64_t kLookInput = std::uint64_t{1} << 20;

// The file's bytes from its start, up to `most`.
byte_source bytes_from_start(const read_at& read, std::uint64_t most) {
  return [read, most, at = std::uint64_t{0}](
             char* into, std::size_t size, int* error) mutable
         -> std::ptrdiff_t {
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, most - at));
    if (want == 0) return 0;
    const std::ptrdiff_t got = read(into, want, at);
    if (got < 0) *error = EIO;
    if (got > 0) at += static_cast<std::uint64_t>(got);
    return got;
  };
}

// The first text through a step of its own: zlib's for gzip, which hands
// out text at once where ISA-L's holds its first 32 KiB back.
std::string stepped_text(const read_at& read, std::uint64_t limit,
                         decode_step step) {
  log_reading scratch;
  const byte_source text = decode_with_step(
      bytes_from_start(read, std::min(limit, kLookInput)), &scratch,
      std::move(step), {kLook, std::size_t{4} << 10});
  std::string made(kLook, '\0');
  std::size_t have = 0;
  int error = 0;
  while (have < made.size()) {
    const std::ptrdiff_t got = text(&made[have], made.size() - have, &error);
    if (got <= 0) break;
    have += static_cast<std::size_t>(got);
  }
  made.resize(have);
  return made;
}

// Up to kLook bytes of the log's first text; `whole` when that is all of
// it. Empty where it cannot be had cheaply.
std::string first_text(const read_at& read, std::uint64_t limit,
                       log_format format, bool* whole) {
  std::string text;
  switch (format) {
    case log_format::plain:
      text = read_bytes(read, 0, static_cast<std::size_t>(
                                     std::min<std::uint64_t>(kLook, limit)));
      *whole = text.size() == limit;
      return text;
#ifdef VANTREL_HAVE_XZ
    case log_format::xz: {
      xz_index index;
      if (!read_xz_index(read, limit, &index) ||
          !xz_block_text(read, index, 0, kLook, &text))
        return "";
      *whole = index.blocks.size() == 1 &&
               text.size() == index.blocks[0].text_size;
      return text;
    }
#endif
#ifdef VANTREL_HAVE_BZIP2
    case log_format::bzip2: {
      std::uint64_t bit = 0;
      if (!bzip2_block_at(read, limit, 0, kLook, &bit, &text) ||
          bit != kFirstBlockBit)
        return "";
      return text;
    }
#endif
#ifdef VANTREL_HAVE_ZLIB
    case log_format::gzip:
      text = stepped_text(read, limit, zlib_inflater());
      break;
#endif
    default:
      if (const decoder make = decoder_for(format))
        text = stepped_text(read, limit, make());
      break;
  }
  *whole = text.size() < kLook;
  return text;
}

// True when the probe says nothing of the log matters, from the whole
// lines of its first text on.
bool nothing_matters(const read_at& read, std::uint64_t limit,
                     log_format format, const start_probe& probe) {
  bool whole = false;
  std::string text = first_text(read, limit, format, &whole);
  if (!whole) text.resize(text.rfind('\n') + 1);
  return !text.empty() && probe(text) == kNothingMatters;
}

// The file's bytes the parts name, and the bytes made for them, in order,
// counted in reading->file_bytes as they are read.
struct parts_state {
  std::shared_ptr<std::FILE> file;
  std::vector<seek_part> parts;
  std::size_t part = 0;
  std::size_t made = 0;  // of the part's made bytes handed out
  std::uint64_t at = 0;  // in the file, within the part's range
};

std::ptrdiff_t read_parts(parts_state& s, log_reading* reading, char* into,
                          std::size_t size, int* error) {
  while (s.part < s.parts.size() && size > 0) {
    const seek_part& p = s.parts[s.part];
    if (s.made < p.made.size()) {
      const std::size_t n = std::min(size, p.made.size() - s.made);
      std::memcpy(into, p.made.data() + s.made, n);
      s.made += n;
      return static_cast<std::ptrdiff_t>(n);
    }
    if (s.at < p.to) {
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(size, p.to - s.at));
      const std::ptrdiff_t got =
          platform_read_at(s.file.get(), into, want, s.at, error);
      if (got < 0) return got;
      if (got == 0) {
        // The file's limit was its size when listed: it lost bytes since.
        reading->shrunk = true;
        s.part = s.parts.size();
        return 0;
      }
      s.at += static_cast<std::uint64_t>(got);
      reading->file_bytes += static_cast<std::uint64_t>(got);
      return got;
    }
    if (++s.part < s.parts.size()) {
      s.made = 0;
      s.at = s.parts[s.part].from;
    }
  }
  return 0;
}

byte_source parts_source(std::FILE* file, std::vector<seek_part> parts,
                         log_reading* reading) {
  auto s = std::make_shared<parts_state>();
  s->file.reset(file, [](std::FILE* f) { std::fclose(f); });
  s->at = parts.empty() ? 0 : parts.front().from;
  s->parts = std::move(parts);
  return [s, reading](char* into, std::size_t size, int* error) {
    return read_parts(*s, reading, into, size, error);
  };
}

// The text from `skip` bytes on: those before are decoded and dropped,
// and their lines not counted.
byte_source skip_text(byte_source text, std::uint64_t skip,
                      log_reading* reading) {
  return [text = std::move(text), skip, reading](
             char* into, std::size_t size, int* error) mutable {
    while (skip > 0 && size > 0) {
      const std::ptrdiff_t got = text(
          into, static_cast<std::size_t>(std::min<std::uint64_t>(size, skip)),
          error);
      if (got <= 0) return got;
      reading->lines -= count_lf(into, static_cast<std::size_t>(got));
      skip -= static_cast<std::uint64_t>(got);
    }
    return text(into, size, error);
  };
}

}  // anonymous namespace

byte_source open_late(std::FILE* file, std::uint64_t limit,
                      log_reading* reading, const start_probe& probe) {
  if (file == nullptr || limit == kNoLimit || !probe) return nullptr;
  const log_format format = reading->named != log_format::plain
                                ? reading->named
                                : peek_format(file);
  const read_at read = reader_of(file);
  if (nothing_matters(read, limit, format, probe)) {
    reading->passed_over = true;
    return parts_source(file, {}, reading);
  }
  block_seek seek;
  std::uint64_t skip = 0;
  bool found = false;
  switch (format) {
    case log_format::plain:
      found = plain_start(read, limit, probe, &seek);
      break;
#ifdef VANTREL_HAVE_XZ
    case log_format::xz:
      found = xz_start(read, limit, probe, &seek, &skip);
      break;
#endif
#ifdef VANTREL_HAVE_BZIP2
    case log_format::bzip2:
      found = bzip2_start(read, limit, probe, &seek, &skip);
      break;
#endif
    default:
      break;
  }
  if (!found) return nullptr;
  reading->started_late = true;
  reading->compressed = format != log_format::plain;
  reading->file_bytes = seek.taken_before;
  byte_source bytes = parts_source(file, std::move(seek.parts), reading);
  if (!reading->compressed) return bytes;
  return skip_text(decode_with_step(std::move(bytes), reading,
                                    std::move(seek.step)),
                   skip, reading);
}
