#include "search/search_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "report/report.h"
#include "search/clean.h"
#include "search/fold.h"
#include "search/host.h"
#include "test_support.h"

namespace {

struct pass_output {
  std::string console;
  std::string report;
};

bool no_names(std::uint32_t, std::string*) { return false; }

enum class path { blocks, lines };

pass_output run_pass(pass_kind kind, std::string_view log_bytes,
                     const std::string& term, std::size_t chunk,
                     bool report_open = true, path how = path::blocks) {
  std::FILE* log = file_with(log_bytes);
  std::FILE* report = report_open ? std::tmpfile() : nullptr;
  line_reader reader;
  open_reader(reader, log, chunk);
  run_settings settings;
  settings.search = term;
  settings.trim = 2;
  ::testing::internal::CaptureStdout();
  if (how == path::blocks)
    search_pass(kind, reader, settings, report, no_names);
  else
    search_pass_by_line(kind, reader, settings, report, no_names);
  std::fflush(stdout);
  pass_output out;
  out.console = ::testing::internal::GetCapturedStdout();
  if (report != nullptr) {
    out.report = contents_of(report);
    std::fclose(report);
  }
  std::fclose(log);
  return out;
}

// What a pass must produce, from the plain reading rules and a plain
// substring test on every line.
pass_output model_pass(pass_kind kind, std::string_view log_bytes,
                       std::string term) {
  if (kind == pass_kind::upper)
    lower_upper(term);
  else
    upper_lower(term);
  pass_output out;
  out.console = kind == pass_kind::upper ? "\tSearching UpperCase...\n"
                                         : "\tSearching LowerCase...\n";
  int count = 0;
  for (const std::string& line : model_lines(log_bytes)) {
    if (line.find(term) == std::string::npos) continue;
    out.console += "\tFound Result on Line #" + std::to_string(++count) + "\n";
    if (is_excluded(line)) continue;
    std::string written = line;
    remove_tags(written);
    substitute_host(written, 2, no_names);
    out.report += "<br>";
    append_escaped(out.report, written);
    out.report += "\r\n";
  }
  return out;
}

void expect_same(const pass_output& got, const pass_output& want) {
  EXPECT_EQ(got.console, want.console);
  EXPECT_EQ(got.report, want.report);
}

// The block path, the line-by-line path and the model must agree byte for
// byte, in both passes.
void check(std::string_view log, const std::string& term, std::size_t chunk) {
  for (pass_kind kind : {pass_kind::upper, pass_kind::lower}) {
    SCOPED_TRACE(kind == pass_kind::upper ? "upper" : "lower");
    const pass_output want = model_pass(kind, log, term);
    expect_same(run_pass(kind, log, term, chunk), want);
    expect_same(run_pass(kind, log, term, chunk, true, path::lines), want);
  }
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
    "USERID1USERID1 twice on one line\n"
    "\n"
    "10.0.0.7 start <b>\n"
    "<162>Authen Session Start: user 'userid1'\n"
    "split\rcr userid1\r\n"
    "after quit USERID1\x1a USERID1 never read\n";

TEST_P(SearchPass, EachPassFindsOnlyItsOwnCase) {
  check(kLog, "UserId1", GetParam());
}

TEST_P(SearchPass, TermsOnTheLineByLinePathMatchTheModel) {
  // Empty and CR-holding terms cannot be searched across lines.
  for (const char* term : {"", "\r", "t\rc", "line\n", "\x1a"}) {
    expect_same(run_pass(pass_kind::lower, kLog, term, GetParam()),
                model_pass(pass_kind::lower, kLog, term));
  }
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
    check(pad + line + "\nnext\n", "userid1", chunk);
    check(pad + line, "userid1", chunk);
  }
}

TEST_P(SearchPass, CrLfSplitAcrossReadBoundary) {
  const std::size_t chunk = GetParam();
  const std::string line = "hit USERID1\r";
  const std::string pad = pad_to_boundary(chunk, line.size());
  check(pad + line + "\nUSERID1 second\r\n", "userid1", chunk);
  // A CR at the end of the file stays in the line.
  check(pad + line, "userid1", chunk);
}

TEST_P(SearchPass, QuitByteAtReadBoundary) {
  const std::size_t chunk = GetParam();
  for (const std::string head : {"hit USERID1", "hit USERID1\n", "hit US"}) {
    SCOPED_TRACE(head);
    const std::string pad = pad_to_boundary(chunk, head.size());
    check(pad + head + "\x1a" "ERID1 gone\nUSERID1 gone\n", "userid1", chunk);
    // 0x1A as the last byte of a read instead of the first of the next.
    check(pad.substr(1) + head + "\x1a" "USERID1\n", "userid1", chunk);
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
    check(head + quit + head, "userid1", GetParam());
  }
  check(head + "x\x1a" "USERID1", "userid1", GetParam());  // in the last line
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
  expect_same(run_pass(pass_kind::upper, "", "", GetParam()),
              model_pass(pass_kind::upper, "", ""));
  // The empty read after a final LF matches only an empty term.
  EXPECT_EQ(run_pass(pass_kind::upper, "a\n", "", GetParam()).report,
            "<br>a\r\n<br>\r\n");
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, SearchPass,
                         ::testing::Values(1, 2, 3, 7, 65536));

TEST(SearchPassMemory, StopsReadingAtTheQuitByteInALineWithoutEnd) {
  // Past the 0x1A nothing counts, so a long run without LF behind it must
  // not be gathered into memory as if it were a line.
  const std::string log = "USERID1 a\npart\x1a" + std::string(1 << 22, 'x');
  std::FILE* f = file_with(log);
  std::FILE* report = std::tmpfile();
  line_reader reader;
  open_reader(reader, f, 4096);
  run_settings settings;
  settings.search = "userid1";
  ::testing::internal::CaptureStdout();
  search_pass(pass_kind::upper, reader, settings, report, no_names);
  ::testing::internal::GetCapturedStdout();
  EXPECT_LE(reader.capacity, 2u * 4096u);
  EXPECT_EQ(contents_of(report), "<br>USERID1 a\r\n");
  std::fclose(report);
  std::fclose(f);
}

TEST(SearchPassReport, NotOpenAnnouncesEveryHitWithTheMessage) {
  const pass_output out =
      run_pass(pass_kind::upper, "A 1\nb\nA 2\n", "a", 65536, false);
  const std::string msg =
      "\tReport.html could not be opened or created, make sure the directory "
      "is not read-only.\n";
  EXPECT_EQ(out.console, "\tSearching UpperCase...\n"
                         "\tFound Result on Line #1\n" + msg +
                         "\tFound Result on Line #2\n" + msg);
}

TEST(SearchPassReport, TermIsLeftFoldedAfterThePass) {
  std::FILE* log = file_with("x\n");
  line_reader reader;
  open_reader(reader, log);
  run_settings settings;
  settings.search = "MiXed";
  ::testing::internal::CaptureStdout();
  search_pass(pass_kind::upper, reader, settings, nullptr, no_names);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(settings.search, "MIXED");
  std::fclose(log);
}

}  // namespace
