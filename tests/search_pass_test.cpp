#include "search/search_pass.h"

#include <gtest/gtest.h>

#include <string>

#include "report/report.h"
#include "search/clean.h"
#include "search/fold.h"
#include "test_support.h"

namespace {

struct pass_output {
  std::string console;
  std::string report;
};

bool no_names(std::uint32_t, std::string*) { return false; }

pass_output run_pass(pass_kind kind, std::string_view log_bytes,
                     const std::string& term, std::size_t chunk,
                     bool report_open = true) {
  std::FILE* log = file_with(log_bytes);
  std::FILE* report = report_open ? std::tmpfile() : nullptr;
  line_reader reader;
  open_reader(reader, log, chunk);
  run_settings settings;
  settings.search = term;
  settings.trim = 2;
  ::testing::internal::CaptureStdout();
  search_pass(kind, reader, settings, report, no_names);
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

void expect_same(const pass_output& got, const pass_output& want) {
  EXPECT_EQ(got.console, want.console);
  EXPECT_EQ(got.report, want.report);
}

TEST_P(SearchPass, EachPassFindsOnlyItsOwnCase) {
  for (pass_kind kind : {pass_kind::upper, pass_kind::lower}) {
    expect_same(run_pass(kind, kLog, "UserId1", GetParam()),
                model_pass(kind, kLog, "UserId1"));
  }
}

TEST_P(SearchPass, TermsOnTheLineByLinePathMatchTheModel) {
  // Empty and CR-holding terms cannot be searched across lines.
  for (const char* term : {"", "\r", "t\rc", "line\n", "\x1a"}) {
    expect_same(run_pass(pass_kind::lower, kLog, term, GetParam()),
                model_pass(pass_kind::lower, kLog, term));
  }
}

TEST_P(SearchPass, HitsAcrossReadBoundaries) {
  std::string log;
  for (int i = 0; i < 50; ++i)
    log += (i % 3 == 0 ? "hit 10.0.0.7 here\r\n" : "miss 10.0.0.8\n");
  log += "last 10.0.0.7";
  expect_same(run_pass(pass_kind::upper, log, "10.0.0.7", GetParam()),
              model_pass(pass_kind::upper, log, "10.0.0.7"));
  const std::string longer_than_block(100, 'q');
  expect_same(
      run_pass(pass_kind::upper, "x" + longer_than_block + "\n" +
                                     longer_than_block, "Q" + longer_than_block.substr(1),
               GetParam()),
      model_pass(pass_kind::upper, "x" + longer_than_block + "\n" +
                                       longer_than_block, "Q" + longer_than_block.substr(1)));
}

TEST_P(SearchPass, EmptyLogAndEmptyTerm) {
  expect_same(run_pass(pass_kind::upper, "", "", GetParam()),
              model_pass(pass_kind::upper, "", ""));
  expect_same(run_pass(pass_kind::upper, "", "x", GetParam()),
              model_pass(pass_kind::upper, "", "x"));
  // The empty read after a final LF matches only an empty term.
  EXPECT_EQ(run_pass(pass_kind::upper, "a\n", "", GetParam()).report,
            "<br>a\r\n<br>\r\n");
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, SearchPass,
                         ::testing::Values(1, 2, 3, 7, 65536));

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
