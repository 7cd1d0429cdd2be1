#include "settings/answer_reader.h"

#include <limits>
#include <utility>

#include "platform/platform.h"
#include "settings/decimal.h"

namespace {

// Next byte, or EOF; a read error counts as the end of the input, since
// nothing more can be read after it either.
int next_byte(answer_reader& reader) {
  if (reader.taken == reader.typed.size()) {
    reader.taken = 0;
    if (!platform_read_console(reader.in, &reader.typed)) {
      const int c = std::getc(reader.in);
      if (c == EOF) reader.ended = true;
      return c;
    }
    if (reader.typed.empty()) {
      reader.ended = true;
      return EOF;
    }
  }
  return static_cast<unsigned char>(reader.typed[reader.taken++]);
}

// Puts back the byte that ended an answer, for the next read.
void put_back(answer_reader& reader, int c) {
  if (c == EOF) return;
  if (reader.taken > 0) {
    --reader.taken;
  } else {
    std::ungetc(c, reader.in);
  }
}

// Called before each read that may wait on the input.
bool begin_read(answer_reader& reader) {
  if (stopped(reader)) return false;
  if (reader.prompt != nullptr) std::fflush(reader.prompt);
  return true;
}

// Skips white space; the first other byte, or EOF.
int first_non_space(answer_reader& reader) {
  int c = next_byte(reader);
  while (is_space(c)) c = next_byte(reader);
  return c;
}

}  // anonymous namespace

void open_answers(answer_reader& reader, std::FILE* in, std::FILE* prompt) {
  reader = answer_reader{};
  reader.in = in;
  reader.prompt = prompt;
}

bool stopped(const answer_reader& reader) {
  return reader.ended || reader.failed;
}

bool read_word(answer_reader& reader, std::string* word) {
  if (!begin_read(reader)) return false;
  int c = first_non_space(reader);
  if (c == EOF) return false;
  std::string text;
  while (c != EOF && !is_space(c)) {
    text += static_cast<char>(c);
    c = next_byte(reader);
  }
  put_back(reader, c);
  *word = std::move(text);
  return true;
}

bool read_number(answer_reader& reader, std::int32_t* value) {
  if (!begin_read(reader)) return false;
  int c = first_non_space(reader);
  if (c == EOF) return false;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = (c == '-');
    c = next_byte(reader);
  }
  std::int64_t magnitude = 0;
  bool any_digit = false;
  for (; is_digit(c); c = next_byte(reader)) {
    any_digit = true;
    magnitude = add_digit(magnitude, c);
  }
  put_back(reader, c);
  const std::int64_t number = negative ? -magnitude : magnitude;
  if (!any_digit || number > std::numeric_limits<std::int32_t>::max() ||
      number < std::numeric_limits<std::int32_t>::min()) {
    reader.failed = true;
    return false;
  }
  *value = static_cast<std::int32_t>(number);
  return true;
}

void skip_line(answer_reader& reader) {
  if (!begin_read(reader)) return;
  for (std::size_t taken = 0; taken < kSkipLimit; ++taken) {
    const int c = next_byte(reader);
    if (c == EOF || c == '\n') return;
  }
}

void read_key(answer_reader& reader) {
  if (!begin_read(reader)) return;
  next_byte(reader);
}
