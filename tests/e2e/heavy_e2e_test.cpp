// Logs of the sizes administrators really feed the program: one line of
// 300 MiB, a million hits, and a compressed log of a few megabytes that
// holds a gigabyte. Slow, so labelled to run on their own.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "gzip_support.h"

namespace {

std::string whole_run(const std::string& upper, const std::string& lower) {
  return banner() + progress() + pass_start(true) + upper + pass_start(false) +
         lower + finish();
}

// A file's bytes as a list of pieces, each repeated some number of times,
// compared without reading the whole file into memory. Empty when equal,
// else where it first differs.
std::string differs(const std::string& path,
                    const std::vector<std::pair<std::string, std::size_t>>& want) {
  std::ifstream in(path, std::ios::binary);
  std::string got;
  std::size_t offset = 0;
  for (const auto& [piece, times] : want) {
    got.resize(piece.size());
    for (std::size_t i = 0; i < times; ++i) {
      in.read(got.data(), static_cast<std::streamsize>(got.size()));
      if (static_cast<std::size_t>(in.gcount()) != got.size() || got != piece)
        return "differs within " + std::to_string(got.size()) +
               " bytes from offset " + std::to_string(offset);
      offset += got.size();
    }
  }
  if (in.peek() != std::char_traits<char>::eof())
    return "longer than expected: " + std::to_string(offset) + " bytes";
  return "";
}

TEST(Heavy, LineOf300MiBIsWrittenWholeInAboutItsOwnSize) {
  // A URL line whose path is 300 MiB of markup characters.
  const std::string start =
      "<165>Mar 02 2006 09:00:01: %PIX-5-304001: 10.20.1.15 jdoe Accessed "
      "URL 203.0.113.80:/";
  const std::string block = [] {
    std::string b;
    while (b.size() < 4096) b += "a&b<c>d?e=f'g\"h/";
    return b;
  }();
  const std::size_t blocks = (std::size_t{300} << 20) / block.size();
  const std::size_t line_size = start.size() + blocks * block.size();
  const std::string escaped_block = html_escaped(block);

  e2e_run run;
  run.args = {"-t", "2", "-s", "jdoe", "-f", "huge.log"};
  run.input = "\n";
  run.read_report = false;
  run.prepare = [&](const std::string& work) {
    std::FILE* f = std::fopen((work + "/huge.log").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(start.data(), 1, start.size(), f);
    for (std::size_t i = 0; i < blocks; ++i)
      std::fwrite(block.data(), 1, block.size(), f);
    std::fputs("\nJDOE short\n", f);
    std::fclose(f);
  };
  std::string report_check = "not inspected";
  run.inspect = [&](const std::string& work) {
    report_check = differs(
        work + "/report.html",
        {{head("jdoe", "huge.log"), 1},
         {result("JDOE short"), 1},
         {lower_heading(), 1},
         {"<br>Mar 02 2006 09:00:01: 10.20.1.15 jdoe Accessed URL "
          "www.example.com:/",
          1},
         {escaped_block, blocks},
         {"\r\n", 1},
         {foot(), 1}});
  };
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, whole_run(found(1), found(1)));
  EXPECT_EQ(report_check, "");

  const double ratio = static_cast<double>(r.max_rss_kib) * 1024.0 /
                       static_cast<double>(line_size);
  std::cout << "peak resident memory: " << r.max_rss_kib / 1024 << " MiB for "
            << "a line of " << (line_size >> 20) << " MiB (" << ratio
            << " times the line)\n";
  RecordProperty("peak_rss_kib", std::to_string(r.max_rss_kib));
#ifndef VANTREL_SANITIZED
  // A safety net, not a benchmark: the sanitizer's allocator keeps freed
  // blocks around, so the ceiling holds only for a plain build.
  EXPECT_LT(ratio, 3.0);
#endif
}

TEST(Heavy, MillionMatchingLinesAllReachTheReport) {
  constexpr int kLines = 1000000;
  e2e_run run;
  run.args = {"-t", "1", "-s", "jdoe", "-f", "million.log"};
  run.input = "\n";
  run.read_report = false;
  run.prepare = [&](const std::string& work) {
    std::FILE* f = std::fopen((work + "/million.log").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < kLines; ++i)
      std::fprintf(f,
                   "<165>Mar 02 2006 09:00:01: %%PIX-5-304001: 10.20.1.15 "
                   "jdoe Accessed URL 203.0.113.80:/p/%d.html\r\n",
                   i);
    std::fclose(f);
  };
  std::string report_check = "not inspected";
  run.inspect = [&](const std::string& work) {
    report_check = differs(
        work + "/report.html",
        {{head("jdoe", "million.log"), 1},
         {lower_heading(), 1},
         {result("Mar 02 2006 09:00:01: 10.20.1.15 jdoe Accessed URL "
                 "www.example.com"),
          kLines},
         {foot(), 1}});
  };
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(report_check, "");
  const std::string last = found(kLines) + finish();
  ASSERT_GE(r.out.size(), last.size());
  EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
}

// 1 GiB of text in one gzip member of about 1 MiB is only a long log:
// every line is read, and memory stays that of a short one. (The harness
// keeps little memory of its own: a child's peak counts the parent's.)
TEST(Heavy, CompressedGigabyteIsReadInTheMemoryOfAShortLog) {
  std::string hay;
  while (hay.size() < (std::size_t{1} << 20)) hay += "hay and more hay\n";
  const std::string member = gzipped(hay, 9, 1024);
  e2e_run run;
  run.args = {"-t", "2", "-s", "needle", "-f", "bomb.log"};
  run.input = "\n";
  run.prepare = [&](const std::string& work) {
    std::FILE* f = std::fopen((work + "/bomb.log").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(member.data(), 1, member.size(), f);
    const std::string last = gzipped("NEEDLE at the end\n");
    std::fwrite(last.data(), 1, last.size(), f);
    std::fclose(f);
  };
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, whole_run(found(1), ""));
  EXPECT_EQ(r.report, head("needle", "bomb.log") + result("NEEDLE at the end") +
                          lower_heading() + foot());
  std::cout << "peak resident memory: " << r.max_rss_kib << " KiB for 1 GiB "
            << "of text in " << member.size() / 1024 << " KiB\n";
#ifndef VANTREL_SANITIZED
  EXPECT_LT(r.max_rss_kib, 8 * 1024);
#endif
}

// Memory exhausted as the run goes: whatever runs out, the run ends with a
// word and the report holds whole lines; never an abort. Where it runs out
// varies, so each limit is tried, and one at least must say so.
TEST(Heavy, MemoryExhaustedEndsTheRunCleanly) {
#ifdef VANTREL_SANITIZED
  GTEST_SKIP() << "the sanitizer's allocator cannot run under ulimit -v";
#endif
  if (windows_program()) GTEST_SKIP() << "ulimit -v does not reach Wine's heap";
  e2e_run run;
  run.args = {"-t", "2", "-s", "jdoe", "-f", "fw.0.log", "fw.1.log"};
  run.prepare = [](const std::string& work) {
    for (const char* log : {"/fw.0.log", "/fw.1.log"}) {
      std::ofstream out(work + log);
      for (int i = 0; i < 20000; ++i)
        out << "10.20.1.15 jdoe Accessed URL 203.0.113.80:/" << i << "\n";
    }
  };
  const std::string said = "\tThe run ran out of memory; the report holds "
                           "the hits written before it.\n";
  int ran_out = 0;
  for (const char* limit : {"10000", "14000", "18000", "24000"}) {
    run.setup = std::string("ulimit -v ") + limit;
    const e2e_result r = run_vantrel(run);
    EXPECT_LE(r.status, 1) << limit;
    EXPECT_EQ(r.err, "") << limit;
    if (r.out.size() < said.size() ||
        r.out.rfind(said) != r.out.size() - said.size())
      continue;
    ++ran_out;
    EXPECT_EQ(r.status, 1) << limit;
    EXPECT_EQ(r.report.rfind("\r\n"), r.report.size() - 2) << limit;
  }
  EXPECT_GT(ran_out, 0);
}

// A close that fails after every line went through (NFS, quotas) is said
// like any failed write, and the run is not called written.
TEST(Heavy, ReportWhoseCloseFailsIsNotCalledWritten) {
#ifdef VANTREL_SANITIZED
  GTEST_SKIP() << "the sanitizer's runtime must be the first library loaded";
#endif
  if (windows_program()) GTEST_SKIP() << "a preloaded library reaches no Wine program";
  e2e_run run;
  run.args = {"-t", "2", "-s", "jdoe", "-f", "fw.log"};
  run.files = {{"fw.log", "jdoe 1\n"}};
  run.input = "\n";
  run.wait_for_viewer = false;
  run.setup = std::string("export LD_PRELOAD=") + FAIL_REPORT_CLOSE;
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner() + progress() + pass_start(true) + pass_start(false) +
                       found(1) +
                       "\tReport.html could not be written: Disk quota "
                       "exceeded.\n");
  EXPECT_EQ(r.opened, "");
}

}  // namespace
