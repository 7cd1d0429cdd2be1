// The log reader on any bytes: the lines it hands out, put back together
// with the terminators they had, give the input up to the first 0x1A (or
// the read limit); the line path and the block path agree.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "log/line_reader.h"
#include "test_support.h"

namespace {

std::vector<std::string> read_all(std::string_view bytes, std::size_t chunk,
                                  bool limited, std::uint64_t limit,
                                  bool by_block) {
  std::FILE* f = stream_over(bytes);
  line_reader reader(file_source(f, limited ? limit : kNoLimit), chunk);
  std::vector<std::string> lines =
      by_block ? lines_by_block(reader) : lines_by_line(reader);
  FUZZ_CHECK(!reader.line_too_long());
  std::fclose(f);
  return lines;
}

// The lines with their terminators give back exactly the text: LF or CR
// LF after every line but the last, and no line kept a CR from before its
// LF.
void check_rejoins(std::string_view text,
                   const std::vector<std::string>& lines) {
  FUZZ_CHECK(!lines.empty());
  std::size_t pos = 0;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    FUZZ_CHECK(text.substr(pos, line.size()) == line);
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    pos += line.size();
    if (text.substr(pos, 2) == "\r\n") {
      pos += 2;
    } else {
      FUZZ_CHECK(text.substr(pos, 1) == "\n");
      FUZZ_CHECK(line.empty() || line.back() != '\r');
      pos += 1;
    }
  }
  FUZZ_CHECK(text.substr(pos) == lines.back());
  FUZZ_CHECK(lines.back().find('\n') == std::string::npos);
}

}  // anonymous namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned shape = take_byte(input);
  const std::size_t chunk = (shape & 0x0f) + 1;  // 1 to 16 bytes per read
  const bool limited = (shape & 0x10) != 0;
  const std::uint64_t limit = take_byte(input);

  std::string_view text = input;
  if (limited) text = text.substr(0, limit);
  text = text.substr(0, text.find('\x1a'));

  const std::vector<std::string> lines =
      read_all(input, chunk, limited, limit, false);
  check_rejoins(text, lines);
  FUZZ_CHECK(read_all(input, chunk, limited, limit, true) == lines);
  FUZZ_CHECK(read_all(input, 4096, limited, limit, false) == lines);
  return 0;
}
