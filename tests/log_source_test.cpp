#include "search/log_source.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "gzip_support.h"
#include "search/inflate_source.h"
#include "test_support.h"

namespace {

struct outcome {
  std::vector<std::string> lines;
  log_reading reading;
  int read_error = 0;
};

// Reads a log file holding bytes as a pass does.
void read_log(const std::string& bytes, std::size_t chunk, bool by_block,
              outcome* o, std::uint64_t limit = kNoLimit) {
  line_reader reader(open_log_source(file_with(bytes), limit, &o->reading),
                     chunk);
  o->lines = by_block ? lines_by_block(reader) : lines_by_line(reader);
  o->read_error = reader.read_error();
}

// What a reader hands out of text that a failed read ends: its complete
// lines, without the piece after the last LF.
std::vector<std::string> lines_cut_short(std::string_view text) {
  std::vector<std::string> lines =
      model_lines(text.substr(0, text.rfind('\n') + 1));
  lines.pop_back();
  return lines;
}

TEST(LogSource, CompressedOrNotByTheFirstBytesOnly) {
  const std::string a = "one\r\ntwo\n";
  const std::string b = "three\nfour";
  const struct {
    const char* what;
    std::string bytes;
    std::string text;  // what the lines must be read from
    bool compressed;
  } cases[] = {
      {"one member", gzipped(a + b), a + b, true},
      {"fastest level", gzipped(a + b, 1), a + b, true},
      {"smallest level", gzipped(a + b, 9), a + b, true},
      {"two members", gzipped(a) + gzipped(b), a + b, true},
      {"an empty member first", gzipped("") + gzipped(b), b, true},
      {"0x1A ends it before damage", gzipped("kept\nquit\x1agone\n") + "junk",
       "kept\nquit", true},
      {"third byte not deflate", "\x1f\x8b\x07 plain\nline\n",
       "\x1f\x8b\x07 plain\nline\n", false},
      {"the first two bytes only", "\x1f\x8b", "\x1f\x8b", false},
      {"empty", "", "", false},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {1u, 5u, 65536u}) {
      for (bool by_block : {false, true}) {
        outcome o;
        read_log(c.bytes, chunk, by_block, &o);
        SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk) +
                     (by_block ? ", by block" : ", by line"));
        EXPECT_EQ(o.lines, model_lines(c.text));
        EXPECT_EQ(o.reading.compressed, c.compressed);
        EXPECT_FALSE(o.reading.damaged);
        EXPECT_EQ(o.read_error, 0);
      }
    }
  }
}

TEST(LogSource, DamageEndsTheTextAfterItsLastCompleteLine) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + " jdoe\n";
  text += "last, without LF";
  const std::string gz = gzipped(text);
  const auto flipped = [&gz](std::size_t at, char bits) {
    std::string bad = gz;
    bad[at] = static_cast<char>(bad[at] ^ bits);
    return bad;
  };
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"cut in the middle", gz.substr(0, gz.size() / 2)},
      {"cut in the trailer", gz.substr(0, gz.size() - 4)},
      {"cut after the header", gz.substr(0, 10)},
      {"the magic alone", "\x1f\x8b\x08"},
      {"a byte changed in the middle", flipped(gz.size() / 2, 0x55)},
      {"check value wrong", flipped(gz.size() - 8, 1)},
      {"unknown header flags", flipped(3, '\xe0')},
      {"garbage after a member", gz + "trailing"},
      {"a whole member, then a cut one", gz + gz.substr(0, gz.size() / 2)},
  };
  for (const auto& c : cases) {
    bool damaged = false;
    const std::string decompressed = gunzipped(c.bytes, &damaged);
    ASSERT_TRUE(damaged) << c.what;
    for (std::size_t chunk : {3u, 65536u}) {
      outcome o;
      read_log(c.bytes, chunk, chunk == 3, &o);
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      EXPECT_EQ(o.lines, lines_cut_short(decompressed));
      EXPECT_TRUE(o.reading.damaged);
      EXPECT_EQ(o.reading.lines, complete_lines(decompressed));
      EXPECT_NE(o.read_error, 0);
    }
  }
}

// Cut anywhere, into one-byte blocks: zlib holds back output that one
// byte of input gave (a long repeat), and it must all come out before the
// damage is said.
TEST(LogSource, EveryCutGivesAllThatWasDecompressedBeforeIt) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "jdoe " + std::to_string(i % 3) + "\n";
  const std::string gz = gzipped(text);
  for (std::size_t cut = 0; cut < gz.size(); ++cut) {
    bool damaged = false;
    const std::string decompressed = gunzipped(gz.substr(0, cut), &damaged);
    ASSERT_TRUE(damaged);
    log_reading reading;
    line_reader reader(inflate_source(memory_source(gz.substr(0, cut), 3),
                                      &reading, {1, 3}));
    EXPECT_EQ(lines_by_line(reader), lines_cut_short(decompressed))
        << "cut at " << cut;
    EXPECT_TRUE(reading.damaged);
  }
}

// Small blocks and reads put every boundary of the hand-over between a CR
// and its LF, before 0x1A, and inside the gzip header and trailer.
TEST(LogSource, BlocksAndReadsMayEndAnywhere) {
  std::string first;
  for (int i = 0; i < 50; ++i) first += "crlf " + std::to_string(i) + "\r\n";
  const std::string second = "cr\rinside\nquit\x1agone\n";
  const std::string text = first + second;
  const std::string gz = gzipped(first) + gzipped(second);
  for (std::size_t block = 1; block <= 5; ++block) {
    for (std::size_t input = 1; input <= 4; ++input) {
      log_reading reading;
      line_reader reader(
          inflate_source(memory_source(gz, input), &reading, {block, input}),
          3);
      EXPECT_EQ(lines_by_line(reader), model_lines(text))
          << "block " << block << ", input " << input;
    }
  }
}

TEST(LogSource, AFailedReadIsPassedOnAndNotTakenForDamage) {
  const std::string text = "first line\nsecond line\n";
  log_reading reading;
  line_reader reader(
      inflate_source(memory_source(gzipped(text), 1, 20), &reading));
  lines_by_line(reader);
  EXPECT_EQ(reader.read_error(), EIO);
  EXPECT_FALSE(reading.damaged);
}

// The limit is what the file held when the pass opened it, so it counts
// compressed bytes, not the text they expand to.
TEST(LogSource, LimitCountsTheFilesOwnBytes) {
  const std::string first = gzipped("one\ntwo\n");
  const std::string both = first + gzipped("appended later\n");
  outcome o;
  read_log(both, 4096, false, &o, first.size());
  EXPECT_EQ(o.lines, model_lines("one\ntwo\n"));
  EXPECT_FALSE(o.reading.damaged);
  EXPECT_EQ(o.reading.file_bytes, first.size());
}

// A few kilobytes that expand to 48 MiB: a long log, read in the memory of
// a short one, and one that can be left after its first line.
TEST(LogSource, ExpandingDataIsJustALongLog) {
  std::string text;
  while (text.size() < (std::size_t{48} << 20)) text += "jdoe was here\n";
  const std::string gz = gzipped(text, 9);
  ASSERT_LT(gz.size(), text.size() / 500);
  {
    log_reading reading;
    line_reader reader(open_log_source(file_with(gz), kNoLimit, &reading),
                       65536);
    std::size_t lines = 0;
    while (reader.fill()) {
      lines += complete_lines(reader.lines());
      reader.consume(reader.lines().size());
    }
    EXPECT_EQ(lines, complete_lines(text));
    EXPECT_LE(reader.capacity(), 65536u + 14u);
    EXPECT_FALSE(reading.damaged);
  }
  log_reading reading;
  line_reader reader(open_log_source(file_with(gz), kNoLimit, &reading));
  std::string_view line;
  ASSERT_TRUE(reader.next_line(&line));
  EXPECT_EQ(line, "jdoe was here");
  // Leaving here must not wait on the decompressor, which is a few blocks
  // ahead and waiting for room.
}

}  // namespace
