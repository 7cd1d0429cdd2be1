#include "run/answer_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "test_support.h"

namespace {

// A reader over bytes, and what it has left unread.
struct input {
  std::FILE* file = nullptr;
  answer_reader reader;

  explicit input(std::string_view bytes) : file(file_with(bytes)) {
    open_answers(reader, file, nullptr);
  }
  ~input() { std::fclose(file); }

  std::string rest() {
    std::string out;
    for (int c = std::getc(file); c != EOF; c = std::getc(file))
      out += static_cast<char>(c);
    return out;
  }
};

struct number_case {
  const char* bytes;
  bool taken;
  std::int32_t value;  // when taken
  const char* rest;    // left for the next read
};

TEST(AnswerReader, WordSkipsEveryWhiteSpaceAndStopsAtTheNext) {
  input in(" \t\n\v\f\rmy log.txt\n");
  std::string word = "old";
  EXPECT_TRUE(read_word(in.reader, &word));
  EXPECT_EQ(word, "my");
  EXPECT_FALSE(stopped(in.reader));
  EXPECT_EQ(in.rest(), " log.txt\n");
}

TEST(AnswerReader, WordKeepsEveryOtherByte) {
  input in(std::string("a\0b\x1a\xff<c>\r\n", 10));
  std::string word;
  EXPECT_TRUE(read_word(in.reader, &word));
  EXPECT_EQ(word, std::string("a\0b\x1a\xff<c>", 8));
}

TEST(AnswerReader, WordEndingTheInputCountsThenEverythingStops) {
  input in("USER1");
  std::string word;
  EXPECT_TRUE(read_word(in.reader, &word));
  EXPECT_EQ(word, "USER1");
  EXPECT_TRUE(stopped(in.reader));
  EXPECT_FALSE(read_word(in.reader, &word));
  EXPECT_EQ(word, "USER1");
}

TEST(AnswerReader, OnlyWhiteSpaceLeftKeepsTheOldValue) {
  for (const char* bytes : {"", "\n", "  \r\n\t\n"}) {
    input in(bytes);
    std::string word = "old";
    EXPECT_FALSE(read_word(in.reader, &word)) << bytes;
    EXPECT_EQ(word, "old");
    EXPECT_TRUE(in.reader.ended);
    EXPECT_FALSE(in.reader.failed);
    std::int32_t value = 5;
    input numbers(bytes);
    EXPECT_FALSE(read_number(numbers.reader, &value));
    EXPECT_EQ(value, 5);
    EXPECT_FALSE(numbers.reader.failed) << "ended input is not a bad number";
  }
}

TEST(AnswerReader, NumbersTakeSignAndDigitsOnly) {
  const number_case cases[] = {
      {"1\n", true, 1, "\n"},
      {"  \n\t+2\n", true, 2, "\n"},
      {"-7 8\n", true, -7, " 8\n"},
      {"1abc\n", true, 1, "abc\n"},
      {"007\n", true, 7, "\n"},
      {"00000000000000000000000001\n", true, 1, "\n"},
      {"2147483647\n", true, 2147483647, "\n"},
      {"-2147483648\n", true, -2147483647 - 1, "\n"},
      {"3", true, 3, ""},
  };
  for (const number_case& c : cases) {
    input in(c.bytes);
    std::int32_t value = 99;
    EXPECT_EQ(read_number(in.reader, &value), c.taken) << c.bytes;
    EXPECT_EQ(value, c.value) << c.bytes;
    EXPECT_FALSE(in.reader.failed) << c.bytes;
    EXPECT_EQ(in.rest(), c.rest) << c.bytes;
  }
}

// A bad number must not overwrite the old value (a plain stream read would
// store 0 or the range limit) and must stop all further reading.
TEST(AnswerReader, BadNumberKeepsTheValueAndStopsTheReader) {
  for (const char* bytes :
       {"x\n", "+\n", "-\n", "+-1\n", "- 1\n", "2147483648\n",
        "-2147483649\n", "99999999999\n", "99999999999999999999999999\n",
        "+"}) {
    input in(bytes);
    std::int32_t value = 3;
    EXPECT_FALSE(read_number(in.reader, &value)) << bytes;
    EXPECT_EQ(value, 3) << bytes;
    EXPECT_TRUE(stopped(in.reader)) << bytes;
    const long at = std::ftell(in.file);
    skip_line(in.reader);
    std::string word = "kept";
    EXPECT_FALSE(read_word(in.reader, &word)) << bytes;
    read_key(in.reader);
    EXPECT_EQ(word, "kept");
    EXPECT_EQ(std::ftell(in.file), at) << "nothing more taken after " << bytes;
  }
}

TEST(AnswerReader, SkipTakesTheLineBreakWithinTheLimit) {
  // 99 bytes and the LF: 100 in all, the LF among them.
  input in(std::string(99, 'z') + "\nnext");
  skip_line(in.reader);
  EXPECT_EQ(in.rest(), "next");
}

TEST(AnswerReader, SkipStopsAfterTheLimitAndLeavesTheRest) {
  input in(std::string(100, 'z') + "\nnext");
  skip_line(in.reader);
  EXPECT_EQ(in.rest(), "\nnext");

  input longer(std::string(100, 'z') + "42 tail\n9\n");
  skip_line(longer.reader);
  std::int32_t value = 0;
  EXPECT_TRUE(read_number(longer.reader, &value));
  EXPECT_EQ(value, 42);
  skip_line(longer.reader);
  EXPECT_TRUE(read_number(longer.reader, &value));
  EXPECT_EQ(value, 9);
}

TEST(AnswerReader, AnswersLineByLineWithCrLf) {
  input in("  a.log  trailing\r\n\r\nUSER1\r\n+2\r\n\r\n");
  std::string fname, search;
  std::int32_t trim = 0;
  EXPECT_TRUE(read_word(in.reader, &fname));
  skip_line(in.reader);
  EXPECT_TRUE(read_word(in.reader, &search));
  skip_line(in.reader);
  EXPECT_TRUE(read_number(in.reader, &trim));
  skip_line(in.reader);
  EXPECT_EQ(fname, "a.log");
  EXPECT_EQ(search, "USER1");
  EXPECT_EQ(trim, 2);
  // The key read takes exactly one byte of what is left.
  read_key(in.reader);
  EXPECT_FALSE(stopped(in.reader));
  EXPECT_EQ(in.rest(), "\n");
}

TEST(AnswerReader, EndOfInputDuringASkipStopsTheReader) {
  input in("a   ");
  std::string word;
  EXPECT_TRUE(read_word(in.reader, &word));
  EXPECT_FALSE(stopped(in.reader));
  skip_line(in.reader);
  EXPECT_TRUE(stopped(in.reader));
  EXPECT_FALSE(in.reader.failed);
}

TEST(AnswerReader, NoInputAtAllIsEndedInput) {
  answer_reader reader;
  open_answers(reader, nullptr, nullptr);
  std::string word = "old";
  EXPECT_FALSE(read_word(reader, &word));
  EXPECT_EQ(word, "old");
  read_key(reader);
  EXPECT_TRUE(reader.ended);
}

}  // anonymous namespace

// The standard stream's own reads (>> into a string, >> into an int,
// ignore(kSkipLimit, '\n'), get()) are the model; the reader must agree with
// them on every input, except that a bad number leaves the value alone.
TEST(AnswerReader, AgreesWithTheStandardStreamReads) {
  std::mt19937 random(20061205);
  const std::string alphabet = "  \n\n\r\tab19+-0";
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) {
      if (random() % 20 == 0) {
        // Long runs: past the skip limit, or past the 32-bit range.
        bytes += std::string(random() % 120, random() % 2 ? 'k' : '9');
      } else {
        bytes += alphabet[random() % alphabet.size()];
      }
    }
    input in(bytes);
    std::istringstream model(bytes);
    std::string trace = "input '" + bytes + "':";
    for (int step = 0; step < 8; ++step) {
      const unsigned op = static_cast<unsigned>(random() % 4);
      trace += " " + std::to_string(op);
      if (op == 0) {
        std::string word = "w", expected = "w";
        const bool taken = read_word(in.reader, &word);
        model >> expected;
        EXPECT_EQ(taken, !model.fail()) << trace;
        EXPECT_EQ(word, expected) << trace;
      } else if (op == 1) {
        std::int32_t value = 55;
        int expected = 55;
        const bool taken = read_number(in.reader, &value);
        model >> expected;
        EXPECT_EQ(taken, !model.fail()) << trace;
        EXPECT_EQ(value, taken ? expected : 55) << trace;
      } else if (op == 2) {
        skip_line(in.reader);
        model.ignore(kSkipLimit, '\n');
      } else {
        read_key(in.reader);
        model.get();
      }
      EXPECT_EQ(stopped(in.reader), !model.good()) << trace;
    }
    const std::string left(std::istreambuf_iterator<char>(model.rdbuf()), {});
    EXPECT_EQ(in.rest(), left) << trace;
  }
}
