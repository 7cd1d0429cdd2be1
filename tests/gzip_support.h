#pragma once
// gzip data for the tests, made and taken apart by zlib itself, so that
// what the program reads is checked against the library, not against a
// second copy of the program's own logic.

#include <zlib.h>

#include <cstddef>
#include <string>
#include <string_view>

/// text, `times` over, as one gzip member, at level 1 (fastest) to 9
/// (smallest); with the header's fields where given.
inline std::string gzipped(std::string_view text, int level = 6,
                           std::size_t times = 1, gz_header* header = nullptr) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  if (header != nullptr) deflateSetHeader(&z, header);
  std::string out;
  char buffer[16384];
  for (std::size_t i = 0; i < times || i == 0; ++i) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    const int flush = i + 1 >= times ? Z_FINISH : Z_NO_FLUSH;
    int result;
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer);
      z.avail_out = sizeof buffer;
      result = deflate(&z, flush);
      out.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
  }
  deflateEnd(&z);
  return out;
}

/// text as one gzip member whose deflate data reaches back into `before`,
/// which is not in it: damage only the back-reference shows.
inline std::string gzipped_reaching_back(std::string_view text,
                                         std::string_view before) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(before.data()),
                       static_cast<uInt>(before.size()));
  std::string out("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
  std::string data(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(data.data());
  z.avail_out = static_cast<uInt>(data.size());
  deflate(&z, Z_FINISH);
  out.append(data, 0, z.total_out);
  deflateEnd(&z);
  const uLong check[] = {crc32(0, reinterpret_cast<const Bytef*>(text.data()),
                               static_cast<uInt>(text.size())),
                         static_cast<uLong>(text.size())};
  for (const uLong value : check)
    for (int i = 0; i < 32; i += 8) out += static_cast<char>(value >> i);
  return out;
}

/// True when bytes are zeros only: the padding gzip and bzip2 accept after
/// the last member.
inline bool zeros_only(std::string_view bytes) {
  return bytes.find_first_not_of('\0') == std::string_view::npos;
}

/// What gzip data holds, member after member, up to the first damage or
/// cut, which *damaged then says there was; zeros after the last member
/// are padding.
inline std::string gunzipped(std::string_view gz, bool* damaged) {
  z_stream z{};
  inflateInit2(&z, 16 + MAX_WBITS);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
  z.avail_in = static_cast<uInt>(gz.size());
  std::string out;
  *damaged = false;
  for (char buffer[4096];;) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    const int result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (result == Z_STREAM_END &&
        zeros_only(gz.substr(gz.size() - z.avail_in)))
      break;
    if (result == Z_STREAM_END) {
      inflateReset(&z);
    } else if (result != Z_OK) {
      *damaged = true;  // Z_BUF_ERROR: the data stops inside a member
      break;
    }
  }
  inflateEnd(&z);
  return out;
}

/// The LF bytes in text: its complete lines.
inline std::size_t complete_lines(std::string_view text) {
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}
