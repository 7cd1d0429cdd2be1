#include "log/log_format.h"

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace {

struct magic {
  log_format format;
  std::string_view bytes;
};

// gzip's ID1, ID2 and deflate, the only method it has ever used; bzip2's
// "BZh" and a block size digit; xz's stream header; zstd's and LZ4's frame
// magic, little-endian, and LZ4's legacy one; compress's.
constexpr magic kMagics[] = {
    {log_format::gzip, std::string_view("\x1f\x8b\x08", 3)},
    {log_format::xz, std::string_view("\xfd\x37\x7a\x58\x5a\x00", 6)},
    {log_format::zstd, std::string_view("\x28\xb5\x2f\xfd", 4)},
    {log_format::lz4, std::string_view("\x04\x22\x4d\x18", 4)},
    {log_format::lz4, std::string_view("\x02\x21\x4c\x18", 4)},  // legacy
    {log_format::compress, std::string_view("\x1f\x9d", 2)},
};

// .lzma has no magic: its properties byte as every preset writes it, then
// a dictionary size as its tools write them, 2^n or 2^n + 2^(n-1), from
// 4 KiB (for a small file) to 1.5 GiB: no text begins so.
bool is_lzma(std::string_view head) {
  if (head.size() < 5 || head[0] != '\x5d') return false;
  std::uint32_t dict = 0;
  for (int i = 4; i >= 1; --i)
    dict = dict << 8 | static_cast<unsigned char>(head[static_cast<std::size_t>(i)]);
  const std::uint32_t low = dict & (~dict + 1);  // its lowest bit
  return dict >= 4096 && dict <= (std::uint32_t{3} << 29) &&
         (dict == low || dict == low * 3);
}

bool is_bzip2(std::string_view head) {
  return head.size() >= 4 && head.substr(0, 3) == "BZh" && head[3] >= '1' &&
         head[3] <= '9';
}

// A skippable frame: magic 0x184D2A50 to 0x184D2A5F, little-endian, then
// its size in 32 bits and that many bytes of anything.
bool is_skippable(std::string_view head) {
  return head.size() >= 4 && (static_cast<unsigned char>(head[0]) >> 4) == 5 &&
         head.substr(1, 3) == "\x2a\x4d\x18";
}

// True when head, shorter than a frame's header, is the start of one.
bool begins_skippable(std::string_view head) {
  if (head.empty() || head.size() >= 8 ||
      (static_cast<unsigned char>(head[0]) >> 4) != 5)
    return false;
  const std::string_view rest = head.substr(1, 3);
  return rest == std::string_view("\x2a\x4d\x18", rest.size());
}

// What follows the skippable frames at head's start; *inside when head
// ends in one of them.
std::string_view past_skippable(std::string_view head, bool* inside) {
  const std::uint64_t frames = skippable_bytes(head);
  *inside = frames > head.size() || begins_skippable(head.substr(frames));
  return *inside ? std::string_view() : head.substr(frames);
}

}  // anonymous namespace

std::uint64_t skippable_bytes(std::string_view head) {
  std::uint64_t at = 0;
  while (at + 8 <= head.size() && is_skippable(head.substr(at))) {
    std::uint32_t size = 0;
    for (std::size_t i = 8; i-- > 4;)
      size = size << 8 | static_cast<unsigned char>(head[at + i]);
    at += 8 + std::uint64_t{size};
  }
  return at;
}

log_format sniff_format(std::string_view head) {
  if (is_skippable(head)) {
    bool inside = false;
    const std::string_view rest =
        past_skippable(head.substr(0, kSniffBytes), &inside);
    return !inside && sniff_format(rest) == log_format::lz4 ? log_format::lz4
                                                            : log_format::zstd;
  }
  if (is_bzip2(head)) return log_format::bzip2;
  if (is_lzma(head)) return log_format::lzma;
  for (const magic& m : kMagics)
    if (head.substr(0, m.bytes.size()) == m.bytes) return m.format;
  return log_format::plain;
}

log_format format_by_name(std::string_view name) {
  const std::size_t n = name.size();
  return n >= 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 'b' &&
                 (name[n - 1] | 0x20) == 'r'
             ? log_format::brotli
             : log_format::plain;
}

bool magic_could_follow(std::string_view head) {
  if (is_skippable(head)) {
    bool inside = false;
    const std::string_view rest = past_skippable(head, &inside);
    return head.size() < kSniffBytes && (inside || magic_could_follow(rest));
  }
  if (head.size() < 4 &&
      std::string_view("BZh").substr(0, head.size()) == head.substr(0, 3))
    return true;
  if (head.size() < 5 && !head.empty() && head[0] == '\x5d') return true;
  for (const magic& m : kMagics)
    if (head.size() < m.bytes.size() && m.bytes.substr(0, head.size()) == head)
      return true;
  return false;
}

const char* format_name(log_format format) {
  switch (format) {
    case log_format::gzip:
      return "gzip";
    case log_format::bzip2:
      return "bzip2";
    case log_format::xz:
      return "xz";
    case log_format::zstd:
      return "zstd";
    case log_format::lz4:
      return "lz4";
    case log_format::lzma:
      return "lzma";
    case log_format::compress:
      return "compress";
    case log_format::brotli:
      return "brotli";
    case log_format::plain:
      break;
  }
  return "plain";
}

decoder decoder_for(log_format format) {
  switch (format) {
#ifdef VANTREL_HAVE_ZLIB
    case log_format::gzip:
      return kGzipDecoder;
#endif
#ifdef VANTREL_HAVE_BZIP2
    case log_format::bzip2:
      return bzip2_decoder;
#endif
#ifdef VANTREL_HAVE_XZ
    case log_format::xz:
      return xz_decoder;
    case log_format::lzma:
      return lzma_decoder;
#endif
#ifdef VANTREL_HAVE_LZ4
    case log_format::lz4:
      return lz4_decoder;
#endif
#ifdef VANTREL_HAVE_BROTLI
    case log_format::brotli:
      return brotli_decoder;
#endif
    case log_format::compress:
      return compress_decoder;
#ifdef VANTREL_HAVE_ZSTD
    case log_format::zstd:
      return zstd_decoder;
#endif
    default:
      return nullptr;
  }
}

bool format_readable(log_format format) {
  return format == log_format::plain || decoder_for(format) != nullptr;
}

std::string readable_formats() {
  std::string names;
  for (const log_format format :
       {log_format::gzip, log_format::bzip2, log_format::xz, log_format::lzma,
        log_format::zstd, log_format::lz4, log_format::compress,
        log_format::brotli}) {
    if (!format_readable(format)) continue;
    names += (names.empty() ? "" : ", ") + std::string(format_name(format));
  }
  return names.empty() ? "none" : names;
}

log_format peek_format(std::FILE* file) {
  // Skippable frames are passed over by their sizes, however large, read
  // a window at a time.
  char head[kSniffBytes];
  std::uint64_t at = 0;
  for (;;) {
    int error = 0;
    const std::ptrdiff_t got =
        platform_read_at(file, head, sizeof head, at, &error);
    const std::string_view bytes(
        head, got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::uint64_t frames = skippable_bytes(bytes);
    if (frames > 0) {
      at += frames;
      continue;
    }
    if (at == 0) return sniff_format(bytes);
    // As the log is read: the frames stand as one empty frame.
    return sniff_format(std::string(kEmptyFrame).append(bytes));
  }
}

std::string unreadable_text(const std::string& name, log_format format) {
  return "vantrel: " + name + ": compressed with " + format_name(format) +
         ", which this build does not read\n";
}
