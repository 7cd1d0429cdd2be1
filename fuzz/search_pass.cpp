// A whole search pass on any log and term: the report holds, in order, the
// cleaned and escaped lines that contain the folded term, as the plain
// reading rules split the log, whatever the read size and whichever path
// (whole blocks or line by line) the term takes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "report/report.h"
#include "search/clean.h"
#include "search/fold.h"
#include "search/search_pass.h"
#include "test_support.h"

namespace {

bool table_lookup(std::uint32_t address, std::string* name) {
  // The address is in network byte order: its bytes read as written.
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
  if (b[0] == 203 && b[1] == 0 && b[2] == 113 && b[3] == 80) {
    *name = "www.example.com";
    return true;
  }
  if (b[0] == 10 && b[1] == 0 && b[2] == 0 && b[3] == 1) {
    *name = "d";
    return true;
  }
  return false;
}

std::string run_pass(pass_kind kind, std::string_view log,
                     const std::string& term, std::int32_t trim,
                     std::size_t chunk) {
  std::FILE* f = stream_over(log);
  line_reader reader;
  open_reader(reader, f, chunk);
  run_settings settings;
  settings.search = term;
  settings.trim = trim;
  char* written = nullptr;
  std::size_t written_size = 0;
  std::FILE* report = open_memstream(&written, &written_size);
  FUZZ_CHECK(report != nullptr);
  search_pass(kind, reader, settings, report, table_lookup);
  std::fclose(report);
  std::fclose(f);
  std::string out(written, written_size);
  std::free(written);
  return out;
}

std::string model_pass(pass_kind kind, std::string_view log, std::string term,
                       std::int32_t trim) {
  if (kind == pass_kind::upper)
    lower_upper(term);
  else
    upper_lower(term);
  std::string out;
  for (std::string line : model_lines(log)) {
    if (line.find(term) == std::string::npos || is_excluded(line)) continue;
    remove_tags(line);
    substitute_host(line, trim, table_lookup);
    out += "<br>";
    append_escaped(out, line);
    out += "\r\n";
  }
  return out;
}

}  // anonymous namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The pass announces every hit on standard output; nobody reads it here.
  FUZZ_CHECK(std::freopen("/dev/null", "w", stdout) != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned shape = take_byte(input);
  const pass_kind kind = (shape & 1) ? pass_kind::lower : pass_kind::upper;
  const std::int32_t trim = (shape & 2) ? 1 : 2;
  const std::size_t chunk = ((shape >> 2) & 7) + 1;
  const std::string term(take_field(input));
  const std::string_view log = input;

  const std::string want = model_pass(kind, log, term, trim);
  FUZZ_CHECK(run_pass(kind, log, term, trim, chunk) == want);
  FUZZ_CHECK(run_pass(kind, log, term, trim, 1 << 16) == want);
  return 0;
}
