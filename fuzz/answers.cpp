// The prompt answers on any input: words, numbers, line skips and the
// Enter wait read exactly what the standard stream reads read (>> string,
// >> int, ignore(100, '\n'), get()) from the same bytes, and stop where
// they stop; once stopped, nothing more is taken. The one difference is
// meant: a bad number leaves the old value where the stream stores 0 or a
// range limit.

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "settings/answer_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // Up to 16 reads, two bits each, from the first four bytes.
  std::uint32_t ops = 0;
  for (int i = 0; i < 4; ++i) ops = ops << 8 | take_byte(input);

  std::FILE* f = stream_over(input);
  answer_reader reader;
  open_answers(reader, f, nullptr);
  std::istringstream stream{std::string(input)};

  for (int i = 0; i < 16; ++i, ops >>= 2) {
    const long before = std::ftell(f);
    const bool was_stopped = stopped(reader);
    switch (ops & 3) {
      case 0: {
        std::string word = "old", want;
        const bool got = read_word(reader, &word);
        const bool wanted = static_cast<bool>(stream >> want);
        if (!was_stopped) {
          FUZZ_CHECK(got == wanted);
          if (got) FUZZ_CHECK(word == want);
        }
        break;
      }
      case 1: {
        std::int32_t value = 12345, want = 0;
        const bool got = read_number(reader, &value);
        const bool wanted = static_cast<bool>(stream >> want);
        if (!was_stopped) FUZZ_CHECK(got == wanted);
        FUZZ_CHECK(value == (got ? want : 12345));
        break;
      }
      case 2:
        skip_line(reader);
        stream.ignore(kSkipLimit, '\n');
        break;
      default:
        read_key(reader);
        stream.get();
        break;
    }
    if (was_stopped) FUZZ_CHECK(std::ftell(f) == before);
    if (!was_stopped) {
      FUZZ_CHECK(stopped(reader) == !stream.good());
      if (stream.good()) FUZZ_CHECK(std::ftell(f) == stream.tellg());
    }
    if (!stream.good()) break;
  }
  std::fclose(f);
  return 0;
}
