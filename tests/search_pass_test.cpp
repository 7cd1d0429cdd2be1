#include "search/search_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "search/fold.h"
#include "test_support.h"

namespace {

using hits = std::vector<std::pair<std::string, std::int64_t>>;

enum class path { blocks, lines };

bool never_stop() { return false; }

// Collects what a search hands to a sink.
hit_sink collector(hits* found) {
  return [found](std::string_view line, std::int64_t n) {
    found->emplace_back(std::string(line), n);
    return true;
  };
}

// The hits a search hands to a sink that collects them.
hits search(std::string_view log_bytes, const std::string& term,
            std::size_t chunk, path how = path::blocks) {
  std::FILE* log = file_with(log_bytes);
  line_reader reader(log, chunk);
  hits found;
  const term_sink one{term, collector(&found)};
  const search_end end = how == path::blocks
                             ? search_terms(&one, 1, reader, never_stop)
                             : search_terms_by_line(&one, 1, reader, never_stop);
  EXPECT_EQ(end, search_end::log_ended);
  std::fclose(log);
  return found;
}

// One read for two terms: each sink gets what a search for its term alone
// would give it.
std::pair<hits, hits> search_two(std::string_view log_bytes,
                                 const std::string& first,
                                 const std::string& second,
                                 std::size_t chunk) {
  std::FILE* log = file_with(log_bytes);
  line_reader reader(log, chunk);
  std::pair<hits, hits> found;
  const term_sink both[] = {{first, collector(&found.first)},
                            {second, collector(&found.second)}};
  EXPECT_EQ(search_terms(both, 2, reader, never_stop), search_end::log_ended);
  std::fclose(log);
  return found;
}

// What a search must find, from the plain reading rules and a plain
// substring test on every line.
hits model_search(std::string_view log_bytes, const std::string& term) {
  hits found;
  for (const std::string& line : model_lines(log_bytes))
    if (line.find(term) != std::string::npos)
      found.emplace_back(line, static_cast<std::int64_t>(found.size()) + 1);
  return found;
}

// The term in upper case, in lower case and in mixed case only (-i), in one
// read on either path: in the run's order (one scan) and mixed case first.
void check_cases(std::string_view log, const std::string& term,
                 std::size_t chunk) {
  std::string up = term, low = term;
  lower_upper(up);
  upper_lower(low);
  hits mixed;
  for (const std::string& line : model_lines(log)) {
    std::string folded = line;
    upper_lower(folded);
    if (line.find(up) == line.npos && line.find(low) == line.npos &&
        folded.find(low) != line.npos)
      mixed.emplace_back(line, static_cast<std::int64_t>(mixed.size()) + 1);
  }
  const hits want[] = {model_search(log, up), model_search(log, low), mixed};
  for (path how : {path::blocks, path::lines}) {
    for (std::size_t first : {0u, 2u}) {
      std::FILE* f = file_with(log);
      line_reader reader(f, chunk);
      hits got[3];
      term_sink sinks[] = {{up, collector(&got[0])},
                           {low, collector(&got[1])},
                           {term, collector(&got[2]), term_match::mixed_case}};
      std::rotate(sinks, sinks + first, sinks + 3);
      (how == path::blocks ? search_terms : search_terms_by_line)(
          sinks, 3, reader, never_stop, nullptr);
      std::fclose(f);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(got[i], want[i]) << i;
    }
  }
}

// The block path, the line-by-line path and the model must agree, and so
// must a search for this term beside its letters in the other case (one
// scan for both) and beside another term (each byte's bit 0x20 turned
// over: a scan for each).
void check(std::string_view log, const std::string& term, std::size_t chunk) {
  const hits want = model_search(log, term);
  EXPECT_EQ(search(log, term, chunk), want);
  EXPECT_EQ(search(log, term, chunk, path::lines), want);
  std::string twin = term;
  for (char& c : twin)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c ^= 0x20;
  const auto [first_of_two, twin_hits] = search_two(log, term, twin, chunk);
  EXPECT_EQ(first_of_two, want);
  EXPECT_EQ(twin_hits, model_search(log, twin));
  std::string other = term;
  for (char& c : other) c = static_cast<char>(c ^ 0x20);
  const auto [first, second] = search_two(log, term, other, chunk);
  EXPECT_EQ(first, want);
  EXPECT_EQ(second, model_search(log, other));
  check_cases(log, term, chunk);
}

// A filler line that makes the next byte after used bytes of text the first
// byte of a read of chunk bytes.
std::string pad_to_boundary(std::size_t chunk, std::size_t used) {
  const std::size_t size = chunk - used % chunk;
  std::string pad(size, 'p');
  pad.back() = '\n';
  return pad;
}

class SearchPass : public ::testing::TestWithParam<std::size_t> {};

const char kLog[] =
    "<165>first USERID1 line\r\n"
    "second userid1 line\n"
    "third UserId1 line\n"
    "UserID1 and userid1, two forms\n"
    "USERID1USERID1 twice on one line\n"
    "\n"
    "10.0.0.7 start <b>\n"
    "<162>Authen Session Start: user 'userid1'\n"
    "split\rcr userid1\r\n"
    "after quit USERID1\x1a USERID1 never read\n";

TEST_P(SearchPass, FindsTheTermOnlyAsItIsSpelled) {
  for (const char* term : {"USERID1", "userid1", "UserId1", "10.0.0.7"})
    check(kLog, term, GetParam());
}

TEST_P(SearchPass, TermsOnTheLineByLinePathMatchTheModel) {
  // Empty and CR-holding terms cannot be searched across lines.
  for (const char* term : {"", "\r", "t\rc", "line\n", "\x1a"})
    check(kLog, term, GetParam());
}

TEST_P(SearchPass, ManyHitsAndLastLineWithoutLf) {
  std::string log;
  for (int i = 0; i < 50; ++i)
    log += (i % 3 == 0 ? "hit 10.0.0.7 here\r\n" : "miss 10.0.0.8\n");
  check(log + "last 10.0.0.7", "10.0.0.7", GetParam());
  check(log + "last 10.0.0.", "10.0.0.7", GetParam());
  check("10.0.0.7", "10.0.0.7", GetParam());
}

TEST_P(SearchPass, HitSplitAcrossReadBoundary) {
  const std::size_t chunk = GetParam();
  const std::string line = "<165>user USERID1 went";
  for (std::size_t cut = 0; cut <= line.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string pad = pad_to_boundary(chunk, cut);
    check(pad + line + "\nnext\n", "USERID1", chunk);
    check(pad + line, "USERID1", chunk);
  }
}

TEST_P(SearchPass, CrLfSplitAcrossReadBoundary) {
  const std::size_t chunk = GetParam();
  const std::string line = "hit USERID1\r";
  const std::string pad = pad_to_boundary(chunk, line.size());
  check(pad + line + "\nUSERID1 second\r\n", "USERID1", chunk);
  // A CR at the end of the file stays in the line.
  check(pad + line, "USERID1", chunk);
}

TEST_P(SearchPass, QuitByteAtReadBoundary) {
  const std::size_t chunk = GetParam();
  for (const std::string head : {"hit USERID1", "hit USERID1\n", "hit US"}) {
    SCOPED_TRACE(head);
    const std::string pad = pad_to_boundary(chunk, head.size());
    check(pad + head + "\x1a" "ERID1 gone\nUSERID1 gone\n", "USERID1", chunk);
    // 0x1A as the last byte of a read instead of the first of the next.
    check(pad.substr(1) + head + "\x1a" "USERID1\n", "USERID1", chunk);
  }
}

TEST_P(SearchPass, QuitByteAmongManyLinesHidesTheRest) {
  // 0x1A far from any read boundary: on a line before a hit, on the hit's
  // own line after the hit, and alone; nothing after it is found.
  std::string head;
  for (int i = 0; i < 300; ++i)
    head += i % 7 == 0 ? "ok USERID1 line\r\n" : "filler line\n";
  for (const std::string quit :
       {"x\x1a" "y USERID1\n", "USERID1 then\x1a" "USERID1\n",
        "\x1a\n", "USERID1\r\x1a\n"}) {
    SCOPED_TRACE(quit);
    check(head + quit + head, "USERID1", GetParam());
  }
  check(head + "x\x1a" "USERID1", "USERID1", GetParam());  // in the last line
}

TEST_P(SearchPass, TermLongerThanTheRead) {
  const std::size_t chunk = GetParam();
  std::string term(std::max<std::size_t>(chunk + 1, 100), 'q');
  term.front() = 'x';
  std::string log = "a" + term + "b\n";         // found
  log += term.substr(0, term.size() - 1) + "\n";  // one byte short
  log += term.substr(1) + "\r\n";               // first byte missing
  log += term;                                   // last line, no LF
  check(log, term, chunk);
}

TEST_P(SearchPass, EmptyLogAndEmptyTerm) {
  check("", "x", GetParam());
  check("", "", GetParam());
  // The empty read after a final LF matches only an empty term.
  EXPECT_EQ(search("a\n", "", GetParam()), (hits{{"a", 1}, {"", 2}}));
}

// -w: each row's lines are what `LC_ALL=C grep -n -w -F` gives for the
// upper and lower form on kWords, and mixed those of `grep -w -i -F` that
// neither gives. Bytes of 128 and above are no word bytes (line 16).
const char kWords[] =
    "10.1.2.3 from\n" "to 10.1.2.30\n" "110.1.2.3 x\n" "x 10.1.2.3\r\n"
    "ajdoe jdoe2\n" "jdoe2 and jdoe\n" "jdoe_x\n" "LOCAL\\jdoe logged\n"
    "xLOCAL\\jdoe\n" "LOCAL\\jdoex\n" "JDOE up\n" "aJDoe JDoe\n"
    "JDoe jdoe\n" "10.1.2.3.\n" "a10.1.2.3.4\n" "\xc3\xa9" "10.1.2.3\xc3\xa9\n"
    "LOCAL\\JDOE:";

TEST_P(SearchPass, WholeWordsAsGrepFindsThem) {
  struct row {
    const char* term;
    std::vector<int> upper, lower, mixed;
  };
  const row rows[] = {
      {"10.1.2.3", {1, 4, 14, 16}, {1, 4, 14, 16}, {}},
      {"10.1.2.3.", {14}, {14}, {}},
      {"jdoe", {11, 17}, {6, 8, 9, 13}, {12}},
      {"LOCAL\\jdoe", {17}, {}, {8}},
  };
  const std::vector<std::string> lines = model_lines(kWords);
  for (const row& r : rows) {
    SCOPED_TRACE(r.term);
    std::string up = r.term, low = r.term;
    lower_upper(up);
    upper_lower(low);
    hits want[3];
    const std::vector<int>* numbers[] = {&r.upper, &r.lower, &r.mixed};
    for (int i = 0; i < 3; ++i)
      for (int n : *numbers[i])
        want[i].emplace_back(lines[static_cast<std::size_t>(n) - 1],
                             want[i].size() + 1);
    for (path how : {path::blocks, path::lines}) {
      std::FILE* f = file_with(kWords);
      line_reader reader(f, GetParam());
      hits got[3];
      const term_sink sinks[] = {
          {up, collector(&got[0]), term_match::exact, true},
          {low, collector(&got[1]), term_match::exact, true},
          {r.term, collector(&got[2]), term_match::mixed_case, true}};
      (how == path::blocks ? search_terms : search_terms_by_line)(
          sinks, 3, reader, never_stop, nullptr);
      std::fclose(f);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(got[i], want[i]) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, SearchPass,
                         ::testing::Values(1, 2, 3, 7, 65536));

TEST(SearchPassMemory, StopsReadingAtTheQuitByteInALineWithoutEnd) {
  // Past the 0x1A nothing counts, so a long run without LF behind it must
  // not be gathered into memory as if it were a line.
  const std::string log = "USERID1 a\npart\x1a" + std::string(1 << 22, 'x');
  std::FILE* f = file_with(log);
  line_reader reader(f, 4096);
  hits found;
  search_pass("USERID1", reader,
              [&found](std::string_view line, std::int64_t n) {
                found.emplace_back(std::string(line), n);
                return true;
              },
              never_stop);
  EXPECT_LE(reader.capacity(), 2u * 4096u);
  EXPECT_EQ(found, (hits{{"USERID1 a", 1}}));
  std::fclose(f);
}

// The sink and the stop check each end the search at once, on either path.
TEST(SearchPassEnd, SinkOrStopCheckEndsTheSearchAfterTheHitInHand) {
  const std::string log = "a 1\nb\na 2\na 3\n";
  for (path how : {path::blocks, path::lines}) {
    for (bool by_sink : {true, false}) {
      std::FILE* f = file_with(log);
      line_reader reader(f, 2);
      hits found;
      const hit_sink sink = [&](std::string_view line, std::int64_t n) {
        found.emplace_back(std::string(line), n);
        return !by_sink || n < 2;
      };
      const stop_check stop = [&] { return !by_sink && found.size() >= 2; };
      const term_sink one{"a", sink};
      const search_end end = how == path::blocks
                                 ? search_terms(&one, 1, reader, stop)
                                 : search_terms_by_line(&one, 1, reader, stop);
      EXPECT_EQ(end, search_end::stopped);
      EXPECT_EQ(found, (hits{{"a 1", 1}, {"a 2", 2}}));
      std::fclose(f);
    }
  }
}

}  // namespace
