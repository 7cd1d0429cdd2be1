#pragma once
// Reads the answers typed at the prompts. A text answer is one word: white
// space before it is skipped and it ends at the next white space. A number
// answer is an optional sign and decimal digits. After each answer the rest
// of its line is skipped, but never more than kSkipLimit bytes; whatever lies
// beyond stays for the next read.
//
// Once the input has ended, or a number answer could not be read, the reader
// is stopped: every later read takes nothing and returns at once, so a run
// whose input runs out (or goes wrong) still finishes instead of waiting.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

/// Most bytes one skip_line() discards, the line break counted among them.
constexpr std::size_t kSkipLimit = 100;

struct answer_reader {
  std::FILE* in = nullptr;      // not owned
  std::FILE* prompt = nullptr;  // not owned; flushed before each read
  bool ended = false;           // the input has no more bytes
  bool failed = false;          // a number answer was not a number
  // What a Windows console gave as UTF-8, taken up to `taken`; its bytes
  // as they are come straight from `in`.
  std::string typed;
  std::size_t taken = 0;
};

/// Starts reading answers from in; prompt (may be null) is flushed before
/// every read so that the question is shown before the program waits.
void open_answers(answer_reader& reader, std::FILE* in, std::FILE* prompt);

/// True once nothing more will be read: input ended or a number failed.
bool stopped(const answer_reader& reader);

/// Reads one word into *word. False, with *word unchanged, when the input
/// ends before a word starts or the reader is stopped.
bool read_word(answer_reader& reader, std::string* word);

/// Reads a decimal number into *value. False, with *value unchanged, when
/// the input ends first or the reader is stopped; also false when the text
/// is not a number or lies outside the 32-bit range, which stops the reader.
bool read_number(answer_reader& reader, std::int32_t* value);

/// Discards bytes up to and including the next LF, at most kSkipLimit.
void skip_line(answer_reader& reader);

/// Takes one byte (waits for Enter on a console); returns at once when the
/// reader is stopped.
void read_key(answer_reader& reader);
