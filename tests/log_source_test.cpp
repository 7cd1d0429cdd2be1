// What counts as a compressed log, and how its end is told, through the
// file a pass reads. The fuzz target (fuzz/compressed_log.cpp) holds the
// decompressor to zlib on any data, cut or changed anywhere, with blocks
// of a few bytes.

#include "log/log_source.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "gzip_support.h"
#include "log/inflate_source.h"
#include "test_support.h"

namespace {

struct outcome {
  std::vector<std::string> lines;
  log_reading reading;
  int read_error = 0;
};

// Reads a log file holding bytes as a pass does.
void read_log(const std::string& bytes, outcome* o,
              std::uint64_t limit = kNoLimit) {
  line_reader reader(open_log_source(file_with(bytes), limit, &o->reading),
                     7);
  o->lines = lines_by_block(reader);
  o->read_error = reader.read_error();
}

TEST(LogSource, CompressedOrNotByTheFirstBytesOnly) {
  const struct {
    const char* what;
    std::string bytes;
    std::string text;  // what the lines must be read from
    bool compressed;
  } cases[] = {
      {"two members", gzipped("one\r\ntwo\n") + gzipped("three"),
       "one\r\ntwo\nthree", true},
      {"an empty member first", gzipped("") + gzipped("b\n"), "b\n", true},
      {"0x1A ends it before damage", gzipped("kept\nquit\x1agone\n") + "junk",
       "kept\nquit", true},
      {"third byte not deflate", "\x1f\x8b\x07 plain\n", "\x1f\x8b\x07 plain\n",
       false},
      {"the first two bytes only", "\x1f\x8b", "\x1f\x8b", false},
  };
  for (const auto& c : cases) {
    outcome o;
    read_log(c.bytes, &o);
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
  const std::string gz = gzipped(text + "last, without LF");
  std::string flags = gz;
  flags[3] = '\xe0';  // reserved header flags
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"cut in the middle", gz.substr(0, gz.size() / 2)},
      {"the magic alone", "\x1f\x8b\x08"},
      {"unknown header flags", flags},
      {"garbage after a member", gz + "trailing"},
      {"a whole member, then a cut one", gz + gz.substr(0, gz.size() / 2)},
  };
  for (const auto& c : cases) {
    bool damaged = false;
    std::string decompressed = gunzipped(c.bytes, &damaged);
    ASSERT_TRUE(damaged) << c.what;
    decompressed.erase(decompressed.rfind('\n') + 1);
    std::vector<std::string> want = model_lines(decompressed);
    want.pop_back();  // the empty piece after the last LF
    outcome o;
    read_log(c.bytes, &o);
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
  const byte_source source = inflate_source(memory_source(gz, 100), &reading);
  std::string got;
  char buffer[3];
  int error = 0;
  for (std::ptrdiff_t n; (n = source(buffer, sizeof buffer, &error)) > 0;)
    got.append(buffer, static_cast<std::size_t>(n));
  EXPECT_TRUE(damaged && reading.damaged);
  EXPECT_EQ(got, want);
}

TEST(LogSource, AFailedReadIsPassedOnAndNotTakenForDamage) {
  log_reading reading;
  line_reader reader(inflate_source(
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
