// A whole search pass on any log and term: the report holds, in order, the
// cleaned and escaped lines that contain the term, as the plain reading
// rules split the log, whatever the read size and whichever path (whole
// blocks or line by line) the term takes; and one read for both cases of
// the term and its mixed case (-i) finds what three plain passes find.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "report/report.h"
#include "output/hit_writer.h"
#include "output/name_pipeline.h"
#include "output/clean.h"
#include "search/fold.h"
#include "output/host.h"
#include "search/search_pass.h"
#include "test_support.h"

namespace {

bool table_lookup(const ip_address& address, std::string* name) {
  // The address is in network byte order: its bytes read as written.
  const std::uint8_t* b = address.bytes.data();
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

// The search with the program's own sink: every hit announced, cleaned and
// written.
std::string run_pass(std::string_view log, const std::string& term,
                     std::int32_t trim, std::size_t chunk) {
  std::FILE* f = stream_over(log);
  line_reader reader(f, chunk);
  char* written = nullptr;
  std::size_t written_size = 0;
  std::FILE* report = open_memstream(&written, &written_size);
  FUZZ_CHECK(report != nullptr);
  name_pipeline names(report, trim, [](const ip_address& a, std::string* name) {
    return table_lookup(a, name) ? name_answer::named
                                 : name_answer::no_such_name;
  });
  hit_writer writer;
  writer.names = &names;
  search_pass(
      term, reader,
      [&writer](std::string_view line, std::int64_t number) {
        return write_hit(writer, line, number);
      },
      [] { return false; });
  FUZZ_CHECK(drain_hits(names) == 0);
  std::fclose(report);
  std::fclose(f);
  std::string out(written, written_size);
  std::free(written);
  return out;
}

std::string model_pass(std::string_view log, const std::string& term,
                       std::int32_t trim) {
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

// One read for the term folded both ways gives each sink what a plain
// pass for its term alone finds.
void check_one_read(std::string_view log, std::string term,
                    std::size_t chunk) {
  std::string lower = term;
  lower_upper(term);
  upper_lower(lower);
  std::FILE* f = stream_over(log);
  line_reader reader(f, chunk);
  std::vector<std::string> found[3];
  const auto collect = [&found](int which) {
    return [&found, which](std::string_view line, std::int64_t) {
      found[which].emplace_back(line);
      return true;
    };
  };
  const term_sink terms[] = {{term, collect(0)}, {lower, collect(1)},
                             {term, collect(2), term_match::mixed_case}};
  search_terms(terms, 3, reader, [] { return false; });
  std::fclose(f);
  std::vector<std::string> want[3];
  for (const std::string& line : model_lines(log)) {
    std::string folded = line;
    upper_lower(folded);
    if (line.find(term) == std::string::npos &&
        line.find(lower) == std::string::npos &&
        folded.find(lower) != std::string::npos)
      want[2].push_back(line);
    if (line.find(term) != std::string::npos) want[0].push_back(line);
    if (line.find(lower) != std::string::npos) want[1].push_back(line);
  }
  FUZZ_CHECK(found[0] == want[0]);
  FUZZ_CHECK(found[1] == want[1]);
  FUZZ_CHECK(found[2] == want[2]);
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
  const std::int32_t trim = (shape & 2) ? 1 : 2;
  const std::size_t chunk = ((shape >> 2) & 7) + 1;
  std::string term(take_field(input));
  if (shape & 1)
    upper_lower(term);
  else
    lower_upper(term);
  const std::string_view log = input;

  const std::string want = model_pass(log, term, trim);
  FUZZ_CHECK(run_pass(log, term, trim, chunk) == want);
  FUZZ_CHECK(run_pass(log, term, trim, 1 << 16) == want);
  check_one_read(log, term, chunk);
  return 0;
}
