#include "log/line_reader.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "gzip_support.h"
#include "log/log_source.h"
#include "test_support.h"

namespace {

// Every line by the line path; each must also say truly where it lies in
// the log, since hits are read again from there.
std::vector<std::string> read_lines(std::string_view bytes,
                                    std::size_t chunk) {
  std::FILE* f = file_with(bytes);
  line_reader reader(f, chunk);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.next_line(&line)) {
    EXPECT_EQ(bytes.substr(reader.offset_of(line), line.size()), line);
    lines.emplace_back(line);
  }
  std::fclose(f);
  return lines;
}

std::vector<std::string> read_blocks(std::string_view bytes,
                                     std::size_t chunk) {
  std::FILE* f = file_with(bytes);
  line_reader reader(f, chunk);
  std::vector<std::string> lines = lines_by_block(reader);
  std::fclose(f);
  return lines;
}

class LineReader : public ::testing::TestWithParam<std::size_t> {};

const char* const kCases[] = {
    "",
    "\n",
    "one",
    "one\n",
    "one\ntwo",
    "one\r\ntwo\r\n",
    "lone\rcr\r\r\n",
    "ends in cr\r",
    "\r\n\r\n\n",
    "before\x1a" "after\nmore\n",
    "line\n\x1a" "gone",
    "\x1a",
    "cr then quit\r\x1a\n",
    "a very long line that is longer than any small chunk size here\nx\n",
};

TEST_P(LineReader, LinePathFollowsTheReadingRules) {
  for (const char* c : kCases) {
    EXPECT_EQ(read_lines(c, GetParam()), model_lines(c)) << "input: " << c;
  }
}

TEST_P(LineReader, BlockPathGivesTheSameLines) {
  for (const char* c : kCases) {
    EXPECT_EQ(read_blocks(c, GetParam()), model_lines(c)) << "input: " << c;
  }
}

// Every rule holds for the text a compressed log holds, as for a plain one.
TEST_P(LineReader, CompressedLogFollowsTheSameRules) {
  for (const char* c : kCases) {
    for (bool by_block : {false, true}) {
      log_reading reading;
      line_reader reader(
          open_log_source(file_with(gzipped(c)), kNoLimit, &reading),
          GetParam());
      EXPECT_EQ(by_block ? lines_by_block(reader) : lines_by_line(reader),
                model_lines(c))
          << "input: " << c << (by_block ? ", by block" : ", by line");
      EXPECT_TRUE(reading.compressed);
    }
  }
}

TEST_P(LineReader, NulAndHighBytesAreOrdinary) {
  const std::string bytes("a\0b\n\xff\xfe\r\n\0", 10);
  EXPECT_EQ(read_lines(bytes, GetParam()), model_lines(bytes));
  EXPECT_EQ(read_blocks(bytes, GetParam()), model_lines(bytes));
}

TEST_P(LineReader, LongLinesGrowTheBuffer) {
  // Lines of several chunks, so that the buffer grows more than once.
  const std::size_t long_line = 3 * GetParam() + 4000;
  std::string bytes(long_line, 'x');
  bytes += "\r\nshort\n";
  bytes += std::string(long_line / 3, 'y');
  EXPECT_EQ(read_lines(bytes, GetParam()), model_lines(bytes));
  EXPECT_EQ(read_blocks(bytes, GetParam()), model_lines(bytes));
}

// Puts text so that its byte at index `at` is the first byte of a read.
std::string at_read_start(std::size_t chunk, std::string_view text,
                          std::size_t at) {
  std::string pad(chunk - at % chunk, 'p');
  pad.back() = '\n';
  return pad + std::string(text);
}

TEST_P(LineReader, RulesHoldAtReadBoundaries) {
  const std::size_t chunk = GetParam();
  const struct {
    const char* text;
    std::size_t at;  // the byte that starts a read
  } cases[] = {
      {"crlf\r\nnext\n", 5},      // CR ends one read, LF starts the next
      {"crlf\r\nnext\n", 4},      // CR LF both start a read
      {"quit\x1a" "gone\n", 4},    // 0x1A starts a read
      {"quit\x1a" "gone\n", 5},    // 0x1A ends a read
      {"line\n\x1a" "gone", 5},    // LF ends a read, 0x1A starts the next
      {"cr at quit\r\x1a\n", 11},  // CR then 0x1A: the CR stays
      {"no lf at all", 12},         // the file ends at a read's end
      {"ends with lf\n", 13},
  };
  for (const auto& c : cases) {
    const std::string bytes = at_read_start(chunk, c.text, c.at);
    EXPECT_EQ(read_lines(bytes, chunk), model_lines(bytes)) << c.text;
    EXPECT_EQ(read_blocks(bytes, chunk), model_lines(bytes)) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, LineReader,
                         ::testing::Values(1, 2, 3, 7, 65536));

// The count keeps byte counters that wrap past 255: runs of LF as long as
// that, at every offset and length around the vector widths.
TEST(CountLf, MatchesAByteByByteCount) {
  std::string text(300 * 32 + 40, '\n');
  for (std::size_t i = 9000; i < text.size(); i += 37) text[i] = 'x';
  for (std::size_t from : {0u, 1u, 15u})
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 255u * 32u,
                             255u * 32u + 47u, 300u * 32u})
      EXPECT_EQ(count_lf(text.data() + from, size),
                static_cast<std::size_t>(std::count(
                    text.data() + from, text.data() + from + size, '\n')))
          << from << " " << size;
}

TEST(LineReaderNoFile, GivesNoLinesAtAll) {
  line_reader reader(nullptr);
  std::string_view line;
  EXPECT_FALSE(reader.next_line(&line));
  EXPECT_FALSE(reader.fill());
}

TEST(LineReaderMemory, BufferStaysNearChunkForShortLines) {
  std::string bytes;
  for (int i = 0; i < 20000; ++i) bytes += "a short log line\n";
  std::FILE* f = file_with(bytes);
  line_reader reader(f, 4096);
  std::string_view line;
  while (reader.next_line(&line)) {
  }
  // One read plus the part of a line carried over and the room to align
  // the read, and no more: the buffer is most of the program's memory.
  EXPECT_LE(reader.capacity(), 4096u + 17u + 64u);
  std::fclose(f);
}

TEST(LineReaderLimit, ReadsOnlyWhatTheFileHeldWhenOpened) {
  const std::string bytes = "one\ntwo\r\nthree\nappended later\n";
  for (std::size_t chunk : {1u, 3u, 4096u}) {
    for (std::size_t limit : {0u, 4u, 9u, 12u, 100u}) {
      std::FILE* f = file_with(bytes);
      line_reader reader(file_source(f, limit), chunk);
      const std::vector<std::string> lines = lines_by_line(reader);
      std::fclose(f);
      EXPECT_EQ(lines, model_lines(std::string_view(bytes).substr(0, limit)))
          << "chunk " << chunk << " limit " << limit;
    }
  }
}

TEST(LineReaderMemory, LineTooLongForMemoryEndsTheReadWithoutAPiece) {
  std::FILE* f = file_with("first\nsecond");
  // No buffer this size can be had, so the first read cannot be made.
  line_reader reader(f, std::numeric_limits<std::size_t>::max() / 2);
  std::string_view line;
  EXPECT_FALSE(reader.next_line(&line));
  EXPECT_TRUE(reader.line_too_long());
  EXPECT_FALSE(reader.fill());
  std::fclose(f);
}

}  // namespace
