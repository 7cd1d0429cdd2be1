#include "settings/answer_reader.h"

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

TEST(AnswerReader, LineByLineAnswers) {
  input in(" \t\v\f\r\nmy log.txt\r\n\n  +2abc\n" + std::string(100, 'z') +
           "7\n");
  std::string fname;
  std::int32_t trim = 0;
  EXPECT_TRUE(read_word(in.reader, &fname));
  EXPECT_EQ(fname, "my");
  skip_line(in.reader);
  EXPECT_TRUE(read_number(in.reader, &trim));
  EXPECT_EQ(trim, 2);
  skip_line(in.reader);
  // The skip stops after 100 bytes; the rest is the next answer.
  skip_line(in.reader);
  EXPECT_TRUE(read_number(in.reader, &trim));
  EXPECT_EQ(trim, 7);
  EXPECT_FALSE(stopped(in.reader));
  read_key(in.reader);
  EXPECT_EQ(in.rest(), "");
}

// A bad number must not overwrite the old value (a plain stream read would
// store 0 or the range limit) and must stop all further reading.
TEST(AnswerReader, NumberRange) {
  struct number_case {
    const char* bytes;
    bool taken;
    std::int32_t value;
  } const cases[] = {
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"00000000000000000000000000000001", true, 1},
      {"2147483648", false, 3},
      {"-2147483649", false, 3},
      {"4294967297", false, 3},
      {"99999999999999999999999999", false, 3},
  };
  for (const number_case& c : cases) {
    input in(std::string(c.bytes) + "\n5\n");
    std::int32_t value = 3;
    EXPECT_EQ(read_number(in.reader, &value), c.taken) << c.bytes;
    EXPECT_EQ(value, c.value) << c.bytes;
    EXPECT_EQ(stopped(in.reader), !c.taken) << c.bytes;
    skip_line(in.reader);
    read_number(in.reader, &value);
    EXPECT_EQ(value, c.taken ? 5 : 3) << c.bytes;
  }
}

// The standard stream's own reads (>> into a string, >> into an int,
// ignore(kSkipLimit, '\n'), get()) are the model; the reader must agree with
// them on every input, except that a bad number leaves the value alone.
TEST(AnswerReader, AgreesWithTheStandardStreamReads) {
  std::mt19937 random(20061205);
  const char bytes_used[] = "  \n\n\r\t\v\fab19+-0\0\x1a\xff";
  const std::string alphabet(bytes_used, sizeof bytes_used - 1);
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

}  // anonymous namespace
