// What counts as a compressed log, and how its end is told, through the
// file a pass reads, for every format the build reads. The fuzz target
// (fuzz/compressed_log.cpp) holds each decompressor to its library on any
// data, cut or changed anywhere, with blocks of a few bytes.

#include "log/log_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compress_support.h"
#include "log/decode_source.h"
#include "test_support.h"

namespace {

struct outcome {
  std::vector<std::string> lines;
  log_reading reading;
  int read_error = 0;
};

// Brotli has no magic: a log in it is known by its name.
log_format named(packer p) {
  return p == packer::brotli ? log_format::brotli : log_format::plain;
}

// Reads a log file holding bytes as a pass does.
void read_log(const std::string& bytes, outcome* o,
              std::uint64_t limit = kNoLimit,
              log_format by_name = log_format::plain) {
  o->reading.named = by_name;
  line_reader reader(open_log_source(file_with(bytes), limit, &o->reading),
                     7);
  o->lines = lines_by_block(reader);
  o->read_error = reader.read_error();
}

TEST(LogSource, CompressedOrNotByTheFirstBytesOnly) {
  struct row {
    const char* what;
    std::string bytes;
    std::string text;  // what the lines must be read from
    bool compressed;
    log_format by_name = log_format::plain;
  };
  std::string many;  // compress: codes of every width, and clears
  for (int i = 0; i < 3000; ++i) many += std::to_string(i * 7919 % 10007) + "\n";
  // Its strings again after more text than the decoder keeps of what it
  // wrote (runs: many a code the one about to be made), so rebuilt.
  std::string slid = many;
  for (unsigned i = 0; i < 50000; ++i) slid += std::string(i % 97, 'x') + "\n";
  slid += many;
  [[maybe_unused]] const auto frame = [](std::uint32_t size) {  // skippable
    const char le[] = {char(size), char(size >> 8), char(size >> 16), 0};
    return std::string("\x5f\x2a\x4d\x18", 4) + std::string(le, 4) +
           std::string(size, 'f');
  };
  std::vector<row> cases = {
      {"two members", gzipped("one\r\ntwo\n") + gzipped("three"),
       "one\r\ntwo\nthree", true},
      {"an empty member first", gzipped("") + gzipped("b\n"), "b\n", true},
      {"0x1A ends it before damage", gzipped("kept\nquit\x1agone\n") + "junk",
       "kept\nquit", true},
      {"third byte not deflate", "\x1f\x8b\x07 plain\n", "\x1f\x8b\x07 plain\n",
       false},
      {"the first two bytes only", "\x1f\x8b", "\x1f\x8b", false},
      {"BZh without a block size", "BZh0\n", "BZh0\n", false},
      {"part of the xz magic", "\xfd" "7zX\n", "\xfd" "7zX\n", false},
      {"compress, the header alone", lzw_packed(""), "", true},
      {"compress, every width", lzw_packed(many), many, true},
      {"compress, cleared", lzw_packed(many, 700), many, true},
      {"compress, strings slid out", lzw_packed(slid), slid, true},
  };
  // Headers past 128 KiB, read across many reads, first and later.
  std::string name(200 << 10, 'n'), comment(150 << 10, 'c');
  std::string extra(65535, 'e');
  gz_header head{};
  head.name = reinterpret_cast<Bytef*>(name.data());
  head.comment = reinterpret_cast<Bytef*>(comment.data());
  head.extra = reinterpret_cast<Bytef*>(extra.data());
  head.extra_len = static_cast<uInt>(extra.size());
  head.hcrc = 1;
  cases.push_back({"long headers", gzipped("one jdoe\n", 6, 1, &head) +
                                       gzipped("two jdoe\n", 6, 1, &head),
                   "one jdoe\ntwo jdoe\n", true});
#ifdef VANTREL_HAVE_ZSTD
  // As pzstd writes them first; one may stand between frames too.
  const std::string skip("\x50\x2a\x4d\x18\x03\0\0\0pad", 11);
  cases.push_back({"skippable frames",
                   skip + packed(packer::zstd, "one\n") + skip +
                       packed(packer::zstd, "two\n"),
                   "one\ntwo\n", true});
#endif
#ifdef VANTREL_HAVE_LZ4
  // Past what the head holds, and several: read past by their sizes.
  const std::string behind =
      frame(5000) + frame(0) + frame(70000) + packed(packer::lz4, "one\n");
  cases.push_back({"lz4 behind skippable frames", behind, "one\n", true});
  EXPECT_EQ(peek_format(file_with(behind)), log_format::lz4);
  // lz4's legacy format, which the frame library does not read: its
  // blocks, up to the 8 MiB `lz4 -l` writes, and what may follow them.
  const std::string legacy = lz4_legacy("one\ntwo\n", 5);
  std::string large;
  for (unsigned i = 0; large.size() < (std::size_t{9} << 20); ++i)
    large += "line " + std::to_string(i * 7919u % 100003u) + " jdoe\n";
  cases.push_back({"lz4 legacy, then a frame", legacy + packed(packer::lz4, "3\n"),
                   "one\ntwo\n3\n", true});
  cases.push_back({"lz4 legacy, twice", legacy + legacy, "one\ntwo\none\ntwo\n", true});
  cases.push_back({"lz4 legacy, the magic alone", legacy.substr(0, 4), "", true});
  cases.push_back({"lz4 legacy, blocks of 8 MiB",
                   lz4_legacy(large, std::size_t{8} << 20), large, true});
#endif
  for (const packer p : packers()) {
    cases.push_back({"two members", joins_streams(p)
                                        ? packed(p, "one\r\ntwo\n") + packed(p, "three")
                                        : packed(p, "one\r\ntwo\nthree"),
                     "one\r\ntwo\nthree", true, named(p)});
    // Zeros after the last member, as tar leaves, which their tools accept.
    if (p == packer::gzip || p == packer::bzip2)
      cases.push_back({"zero padding", packed(p, "one\n") + std::string(700, '\0'),
                       "one\n", true});
  }
  for (const auto& c : cases) {
    outcome o;
    read_log(c.bytes, &o, kNoLimit, c.by_name);
    EXPECT_EQ(o.lines, model_lines(c.text)) << c.what;
    EXPECT_EQ(o.reading.compressed, c.compressed) << c.what;
    EXPECT_FALSE(o.reading.damaged) << c.what;
    EXPECT_EQ(o.read_error, 0) << c.what;
  }
}

// The lines decompressed before the damage, up to the last complete one,
// and their number for the message.
TEST(LogSource, DamageEndsTheTextAfterItsLastCompleteLine) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\n";
  struct row {
    std::string what;
    packer p;
    std::string bytes;
  };
  std::vector<row> cases;
  for (const packer p : packers()) {
    const std::string gz = packed(p, text + "last, without LF");
    const log_format format =
        named(p) != log_format::plain ? named(p) : sniff_format(gz);
    const std::string name = format_name(format) + std::string(": ");
    std::string crc = gz;  // bzip2: the stream's combined CRC
    crc[crc.size() - 3] ^= 0x10;
    cases.insert(cases.end(), {
        {name + "cut in the middle", p, gz.substr(0, gz.size() / 2)},
        {name + "the magic alone", p, gz.substr(0, kMagicBytes)},
        {name + "the end cut off", p, gz.substr(0, gz.size() - 3)},
        {name + "garbage after a member", p, gz + "trailing"},
        {name + "a byte after zeros", p, gz + std::string(64, '\0') + "x"},
        {name + "a whole member, then a cut one", p,
         gz + gz.substr(0, gz.size() / 2)},
    });
    // bzip2: cut inside the stream's end marker, after its last block.
    for (std::size_t short_by = 5; p == packer::bzip2 && short_by <= 11; ++short_by)
      cases.push_back({name + "cut " + std::to_string(short_by) + " bytes short",
                       p, gz.substr(0, gz.size() - short_by)});
    // A skippable frame past the end: damage, not a wait or its size held.
    if (p == packer::zstd)
      cases.push_back({name + "a frame past the end", p,
                       "\x50\x2a\x4d\x18\xf0\xff\xff\xff" + gz});
    // lzma and brotli carry no check to find a change with.
    if (joins_streams(p))
      cases.push_back({name + "the end's checks changed", p, crc});
  }
  std::string flags = gzipped(text);
  flags[3] = '\xe0';  // reserved header flags
  cases.push_back({"unknown header flags", packer::gzip, flags});
  for (const auto& c : cases) {
    bool damaged = false;
    std::string decompressed = unpacked(c.p, c.bytes, &damaged);
    ASSERT_TRUE(damaged) << c.what;
    // A check after the text fails only once all of it is out: a library
    // that decodes in one go keeps it back, a reader given text as it
    // comes has had it.
    if (c.what.find("checks changed") != std::string::npos)
      decompressed = text;
    decompressed.erase(decompressed.rfind('\n') + 1);
    std::vector<std::string> want = model_lines(decompressed);
    want.pop_back();  // the empty piece after the last LF
    outcome o;
    read_log(c.bytes, &o, kNoLimit, named(c.p));
    EXPECT_EQ(o.lines, want) << c.what;
    EXPECT_TRUE(o.reading.damaged) << c.what;
    EXPECT_EQ(o.reading.lines, want.size()) << c.what;
    EXPECT_NE(o.read_error, 0) << c.what;
  }
}

// Up to the damage the text is zlib's to the byte, whichever decompressor
// the build has: igzip writes a back-reference that reaches before the
// member's start before it says so.
TEST(LogSource, TextBeforeDamageIsZlibsToTheByte) {
  std::string text = "two\nthree\n";
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\n";
  const std::string gz = gzipped_reaching_back(text, "three\n");
  bool damaged = false;
  const std::string want = gunzipped(gz, &damaged);
  log_reading reading;
  const byte_source source = decode_source(memory_source(gz, 100), &reading);
  std::string got;
  char buffer[3];
  int error = 0;
  for (std::ptrdiff_t n; (n = source(buffer, sizeof buffer, &error)) > 0;)
    got.append(buffer, static_cast<std::size_t>(n));
  EXPECT_TRUE(damaged && reading.damaged);
  EXPECT_EQ(got, want);
}

#ifdef VANTREL_HAVE_BZIP2
// bzip2's blocks are decoded apart: a level-1 block holds 99981 bytes of
// text without runs, so these lines fill several.
TEST(LogSource, Bzip2BlocksAreHandedOnInOrderUpToTheDamagedOne) {
  std::string text;
  for (unsigned i = 0; text.size() < 250000; ++i)
    text += "entry " + std::to_string(i * 7919u % 100003u) + " jdoe\n";
  const std::string bz = packed(packer::bzip2, text, 1);
  std::string changed = bz;
  changed[bz.size() / 2] ^= 0x10;  // inside the second block
  // Byte values whose use map, after the block's header, spells the block
  // magic: the magic occurs inside the block as if by chance.
  std::string runs;  // level 1: 2.5 MB of text a block, too much to hold
  for (int i = 0; i < 20000; ++i) runs += std::string(250, '\0') + "jdoe\n";
  const std::string runs_bz = packed(packer::bzip2, runs, 1);
  std::string chance, chance_end;
  for (unsigned i = 0; chance.size() < 5000; ++i) {
    chance += "!#$'*-.13679;<?p\x90\xf0"[i * 7 % 18];
    chance_end += "157:;<QSX[ap\x90\xa0\xb0\xe0"[i * 7 % 16];
  }
  const struct {
    const char* what;
    std::string bytes;
    std::string text;
    bool damaged;
  } cases[] = {
      {"several blocks, two streams", bz + bz, text + text, false},
      {"a block changed", changed, text.substr(0, text.rfind('\n', 99980) + 1),
       true},
      {"the block magic inside a block", packed(packer::bzip2, chance), chance,
       false},
      {"the end magic inside a block", packed(packer::bzip2, chance_end),
       chance_end, false},
      {"blocks of long runs", runs_bz, runs, false},
      // Kept whole, as the pool decodes it and as the reader streams it.
      {"several blocks, the end marker cut", bz.substr(0, bz.size() - 6), text,
       true},
      {"blocks of long runs, the end marker cut",
       runs_bz.substr(0, runs_bz.size() - 6), runs, true},
  };
  for (const auto& c : cases) {
    outcome o;
    read_log(c.bytes, &o);
    std::vector<std::string> want = model_lines(c.text);
    if (c.damaged) want.pop_back();
    EXPECT_EQ(o.lines, want) << c.what;
    EXPECT_EQ(o.reading.damaged, c.damaged) << c.what;
  }
}
#endif

#ifdef VANTREL_HAVE_LZ4
// Cut inside a legacy block: the lines before it, and the damage said.
TEST(LogSource, Lz4LegacyCutInsideABlock) {
  const std::string legacy = lz4_legacy("one jdoe\ntwo\n", 5);
  outcome o;
  read_log(legacy.substr(0, legacy.size() - 2), &o);
  EXPECT_EQ(o.lines, std::vector<std::string>{"one jdoe"});
  EXPECT_TRUE(o.reading.damaged);
}
#endif

#ifdef VANTREL_HAVE_ZSTD
// A frame may ask for a window of terabytes; past what a run allows the
// log is read no further, and the window is named, not taken for damage.
TEST(LogSource, AZstdWindowPastTheLimitIsNamed) {
  // One raw block of 4 bytes in a frame whose window is 1 GiB.
  const std::string huge("\x28\xb5\x2f\xfd\x00\xa0\x21\0\0two\n", 13);
  outcome o;
  read_log(packed(packer::zstd, "one\n") + huge, &o);
  EXPECT_EQ(o.lines, std::vector<std::string>{"one"});
  EXPECT_EQ(o.reading.window, std::uint64_t{1} << 30);
  EXPECT_FALSE(o.reading.damaged);
  EXPECT_NE(o.read_error, 0);
}
#endif

// A format the build does not read is never searched as bytes; a file in
// one was refused when the logs were opened, a pipe's is known only here.
TEST(LogSource, AFormatTheBuildDoesNotReadGivesNoLine) {
  const struct {
    log_format format;
    std::string head;
  } cases[] = {{log_format::xz, std::string("\xfd" "7zXZ\0", 6)},
               {log_format::lz4, "\x04\x22\x4d\x18"},
               {log_format::brotli, "\x0b\x02\x80"}};
  int refused = 0;
  for (const auto& c : cases) {
    if (format_readable(c.format)) continue;
    outcome o;
    read_log(c.head + " text\n", &o, kNoLimit,
             c.format == log_format::brotli ? c.format : log_format::plain);
    EXPECT_EQ(o.reading.refused, c.format) << format_name(c.format);
    EXPECT_TRUE(o.lines.empty() && o.read_error != 0) << format_name(c.format);
    ++refused;
  }
  if (refused == 0) GTEST_SKIP() << "this build reads every format";
}

// compress's .Z has no check: damage shows only as a code that cannot be
// there (past the table, or no byte to start from), and a cut between
// codes reads as an end; what came before is the text's beginning.
TEST(LogSource, CompressDamageIsACodeThatCannotBeThere) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + "\n";
  std::string past = lzw_packed(text);  // 9-bit codes, a table far short
  past.replace(40, 4, "\xff\xff\xff\xff");
  const std::pair<std::string, bool> cases[] = {
      {past, true}, {std::string("\x1f\x9d\x91", 3), true},  // > 16 bits
      {"\x1f\x9d", true}, {std::string("\x1f\x9d\x90\0\x01", 5), true},
      {lzw_packed(text).substr(0, 100), false}};
  for (const auto& [bytes, damaged] : cases) {
    outcome o;
    read_log(bytes, &o);
    EXPECT_EQ(o.reading.damaged && o.read_error != 0, damaged) << bytes.size();
    const std::vector<std::string> all = model_lines(text);
    EXPECT_TRUE(o.lines.size() <= all.size() &&
                std::equal(o.lines.begin(), o.lines.end() - (o.lines.empty() ? 0 : 1), all.begin()));
  }
}

// What a command writes of `input`; *ok false where it fails or is not
// there (a Windows build's tests have none).
std::string tool_output(const std::string& command, std::string_view input,
                        bool* ok) {
  const std::string in = testing::TempDir() + "tool_in", out = in + ".out";
  std::ofstream(in, std::ios::binary) << input;
  *ok = std::system((command + " <" + in + " >" + out).c_str()) == 0;
  std::ifstream made(out, std::ios::binary);
  return {std::istreambuf_iterator<char>(made), {}};
}

// compress's own files, `-b 9` to `-b 16`, read as `compress -d` reads
// them: codes widened as it widens them, and refused where it refuses.
TEST(LogSource, CompressFilesReadAsCompressReadsThem) {
  std::string text;
  for (unsigned i = 0; text.size() < (std::size_t{1} << 20); ++i)
    text += "line " + std::to_string(i * 7919u % 100003u) + " jdoe\n";
  for (int bits = 9; bits <= 16; ++bits) {
    bool made = false, read = false;
    const std::string z =
        tool_output("compress -c -b " + std::to_string(bits), text, &made);
    if (!made) GTEST_SKIP() << "no compress (Debian package ncompress)";
    const std::string want = tool_output("compress -dc 2>&1", z, &read);
    outcome o;
    read_log(z, &o);
    EXPECT_EQ(o.reading.damaged, !read) << bits;
    EXPECT_EQ(o.lines, read ? model_lines(want) : o.lines) << bits;
  }
}

TEST(LogSource, AFailedReadIsPassedOnAndNotTakenForDamage) {
  log_reading reading;
  line_reader reader(decode_source(
      memory_source(gzipped("first line\nsecond line\n"), 1, 20), &reading));
  lines_by_line(reader);
  EXPECT_EQ(reader.read_error(), EIO);
  EXPECT_FALSE(reading.damaged);
}

// The limit is what the file held when the pass opened it, so it counts
// compressed bytes, not the text they expand to.
TEST(LogSource, LimitCountsTheFilesOwnBytes) {
  const std::string first = gzipped("one\ntwo\n");
  outcome o;
  read_log(first + gzipped("appended later\n"), &o, first.size());
  EXPECT_EQ(o.lines, model_lines("one\ntwo\n"));
  EXPECT_FALSE(o.reading.damaged);
  EXPECT_EQ(o.reading.file_bytes, first.size());
}

// A reader left after its first line, while the decompressor is blocks
// ahead and waiting for room, must not wait for it.
TEST(LogSource, AReaderCanBeLeftEarly) {
  std::string text;
  while (text.size() < (std::size_t{8} << 20)) text += "jdoe was here\n";
  log_reading reading;
  line_reader reader(
      open_log_source(file_with(gzipped(text, 9)), kNoLimit, &reading));
  std::string_view line;
  ASSERT_TRUE(reader.next_line(&line));
  EXPECT_EQ(line, "jdoe was here");
}

}  // namespace
