// The decompressing reader on gzip data made from the input, whole, cut
// short or with a byte changed where the input says, and on the input's
// own bytes: it never crashes, and its lines are those the plain reader
// gives of what zlib itself decompresses, ended by a failed read where zlib
// finds damage; built with ISA-L, its decompressor and zlib's give the same.
// A log that does not start with the gzip magic is read as it stands.
// The same data in bzip2, xz, lzma, zstd, lz4 and brotli: each
// decompressor gives its library's text where the library finds none
// amiss, and says damaged where it does, with text that agrees with the
// library's up to there; a bzip2 block's first bytes read by our own
// decoder are libbz2's where both read it. compress has no library: its decoder gives back
// what the tests' encoder put in, and never fails on changed data.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "compress_support.h"
#include "log/decode_source.h"
#include "log/log_source.h"
#include "test_support.h"
#ifdef VANTREL_HAVE_BZIP2
#include "decode/pools/bzip2_pool.h"
#include "decode/seek/bzip2_text_start.h"
#endif

namespace {

struct read_out {
  std::vector<std::string> lines;
  int read_error = 0;
};

read_out read_all(byte_source source, std::size_t chunk, bool by_block) {
  line_reader reader(std::move(source), chunk);
  read_out out;
  out.lines = by_block ? lines_by_block(reader) : lines_by_line(reader);
  out.read_error = reader.read_error();
  FUZZ_CHECK(!reader.line_too_long());
  return out;
}

// One member of text; `extras` (whole data only) asks for what sound data
// may hold besides: a gzip header of up to 4 KiB, read across as many reads
// (the tests read ones past 128 KiB), a skippable frame before a zstd frame.
std::string member(packer p, std::string_view text, int level,
                   std::size_t extras) {
  if (p == packer::gzip && (extras & 0x2000) != 0) {
    std::string name((extras & 0xff) << 4, 'n');
    gz_header head{};
    head.name = reinterpret_cast<Bytef*>(name.data());
    head.hcrc = static_cast<int>(extras & 1);
    return gzipped(text, level, 1, &head);
  }
  if (p == packer::zstd && (extras & 0x4000) != 0)
    return std::string("\x5a\x2a\x4d\x18\x02\0\0\0ab", 10) +
           packed(p, text, level);
  return packed(p, text, level);
}

// The data to read: the input compressed (in two members when asked) and
// then perhaps harmed, or the input itself. Whole data may also hold what
// `where` asks for: extras in each member, zero padding after the last.
std::string data_for(std::string_view input, unsigned how, std::size_t where,
                     packer p = packer::gzip) {
  if ((how & 3) == 0) return std::string(input);
  int level = 1 + static_cast<int>((how >> 3) % 9);
  // bzip2's higher levels only take more memory (3.6 MB to read at -9),
  // which would cost each input dearly.
  if (p == packer::bzip2) level = 1 + level % 2;
  const std::size_t half = (how & 4) != 0 ? input.size() / 2 : 0;
  const std::size_t extras = (how & 3) == 1 ? where : 0;
  std::string gz = half == 0 ? member(p, input, level, extras)
                             : member(p, input.substr(0, half), level, extras) +
                                   member(p, input.substr(half), level, extras);
  if ((extras & 0x8000) != 0 && (p == packer::gzip || p == packer::bzip2))
    gz.append(extras & 0x1ff, '\0');
  if ((how & 3) == 2) gz.resize(where % gz.size());
  if ((how & 3) == 3) {
    const auto bits = static_cast<unsigned char>((how >> 4) | 1);
    char& byte = gz[where % gz.size()];
    byte = static_cast<char>(static_cast<unsigned char>(byte) ^ bits);
  }
  return gz;
}

std::string text_of(const byte_source& source, int* error) {
  std::string text;
  char buffer[5];
  for (std::ptrdiff_t n; (n = source(buffer, sizeof buffer, error)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

#ifdef VANTREL_HAVE_BZIP2
void check_bzip2_starts(const std::string& data, std::size_t most) {
  bzip2_splitter split;
  split_feed(split, reinterpret_cast<const unsigned char*>(data.data()),
             data.size());
  bzip2_piece piece;
  table_cache tables;
  while (split_next(split, true, &piece) && piece.bit_count > 0) {
    std::string start, whole;
    if (bzip2_text_start(piece, most, &start) &&
        decode_piece(piece, tables, &whole, kPieceText) == piece_result::ok)
      FUZZ_CHECK(start == whole.substr(0, most));
  }
}
#endif

void check_format(packer p, std::string_view input, unsigned how,
                  std::size_t where, const decode_sizes& sizes) {
  const std::string data = data_for(input, how, where, p);
  bool damaged = false;
  const std::string text = unpacked(p, data, &damaged);
  // lzma and brotli hold one stream: a second is damage.
  const bool two = (how & 4) != 0 && input.size() / 2 != 0;
  if ((how & 3) == 1 && (joins_streams(p) || !two))
    FUZZ_CHECK(!damaged && text == input);
  const decoder make = decoder_for(
      p == packer::brotli ? log_format::brotli : sniff_format(data));
  if ((how & 3) == 1) FUZZ_CHECK(make != nullptr);  // known by its first bytes
  if (make == nullptr) return;  // the change hit the magic
  log_reading reading;
  int error = 0;
  const std::string got = text_of(
      decode_source(memory_source(data, sizes.input), &reading, sizes, make),
      &error);
  FUZZ_CHECK(reading.damaged == damaged);
  if (!damaged) FUZZ_CHECK(got == text && error == 0);
  const std::size_t both = std::min(got.size(), text.size());
  FUZZ_CHECK(got.compare(0, both, text, 0, both) == 0);
#ifdef VANTREL_HAVE_BZIP2
  if (p == packer::bzip2) check_bzip2_starts(data, where);
#endif
}

void check_compress(std::string_view input, unsigned how, std::size_t where,
                    const decode_sizes& sizes) {
  std::string data = lzw_packed(input, how >> 2);
  if ((how & 3) == 2) data.resize(where % data.size());
  if ((how & 3) == 3) data[where % data.size()] ^= static_cast<char>(how | 1);
  log_reading reading;
  int error = 0;
  const std::string got = text_of(
      decode_source(memory_source(data, sizes.input), &reading, sizes,
                    compress_decoder),
      &error);
  if ((how & 3) <= 1) FUZZ_CHECK(got == input && !reading.damaged);
  if ((how & 3) == 2) FUZZ_CHECK(input.substr(0, got.size()) == got);
}

}  // anonymous namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned shape = take_byte(input);
  const unsigned how = take_byte(input);
  std::size_t where = take_byte(input);
  where = where << 8 | take_byte(input);
  const std::size_t chunk = (shape & 0x07) + 1;
  const bool by_block = (shape & 0x80) != 0;
  const decode_sizes sizes{((shape >> 3) & 0x07) + 1,
                            ((shape >> 5) & 0x03) + 1};

  const std::string gz = data_for(input, how, where);
  bool damaged = false;
  const std::string text = gunzipped(gz, &damaged);
  if ((how & 3) == 1) FUZZ_CHECK(!damaged && text == input);

  // What the plain reader makes of the same text and the same ending.
  const read_out want = read_all(
      memory_source(text, chunk, damaged ? text.size() : std::string::npos),
      chunk, by_block);
  log_reading reading;
  const read_out got = read_all(
      decode_source(memory_source(gz, sizes.input), &reading, sizes), chunk,
      by_block);
  FUZZ_CHECK(got.lines == want.lines);
  FUZZ_CHECK(reading.damaged == (want.read_error != 0));
  if (reading.damaged) FUZZ_CHECK(reading.lines == got.lines.size());
#ifdef VANTREL_HAVE_ISAL
  log_reading by_zlib;
  const read_out zlib = read_all(
      decode_source(memory_source(gz, sizes.input), &by_zlib, sizes,
                     zlib_inflater),
      chunk, by_block);
  FUZZ_CHECK(zlib.lines == got.lines && zlib.read_error == got.read_error);
  FUZZ_CHECK(by_zlib.damaged == reading.damaged);
  if (reading.damaged) FUZZ_CHECK(by_zlib.lines == reading.lines);
#endif

  for (const packer p : packers())
    if (p != packer::gzip && (how & 3) != 0)
      check_format(p, input, how, where, sizes);
  check_compress(input, how, where, sizes);

  // The same bytes as a log file: compressed only by a whole magic (the
  // other formats' text is checked above).
  log_reading as_file;
  const read_out file = read_all(
      open_log_source(stream_over(gz), kNoLimit, &as_file), chunk, by_block);
  const log_format format = sniff_format(gz);
  FUZZ_CHECK(as_file.compressed == (format != log_format::plain));
  if (format == log_format::gzip)
    FUZZ_CHECK(file.lines == want.lines);
  else if (format == log_format::plain)
    FUZZ_CHECK(file.lines == model_lines(gz));
  return 0;
}
