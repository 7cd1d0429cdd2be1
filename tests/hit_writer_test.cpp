#include "output/hit_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "output/name_pipeline.h"
#include "test_support.h"

namespace {

struct written {
  std::string console;
  std::string report;
};

written write_hits(std::FILE* report, std::int32_t trim,
                   std::initializer_list<std::string_view> lines) {
  name_pipeline names(report, trim, [](const ip_address&, std::string* name) {
    *name = "www.example.com";
    return name_answer::named;
  });
  hit_writer writer;
  writer.names = &names;
  ::testing::internal::CaptureStdout();
  std::int64_t number = 0;
  for (std::string_view line : lines)
    EXPECT_TRUE(write_hit(writer, line, ++number));
  EXPECT_EQ(drain_hits(names), 0);
  std::fflush(stdout);
  written out{::testing::internal::GetCapturedStdout(), ""};
  if (report != nullptr) out.report = contents_of(report);
  return out;
}

// Every hit is announced; the session line is not written; the others are
// cleaned, named, trimmed and escaped.
TEST(HitWriter, AnnouncesEveryHitAndWritesTheCleanedOnes) {
  std::FILE* report = std::tmpfile();
  const written out = write_hits(
      report, 1,
      {"<165>Jan 1 %PIX-5-304001: 10.1.1.1 Accessed URL 203.0.113.80:/a<b",
       "<162>Authen Session Start: user 'x'", "no address & slash"});
  std::fclose(report);
  EXPECT_EQ(out.console, "\tFound Result on Line #1\n"
                         "\tFound Result on Line #2\n"
                         "\tFound Result on Line #3\n");
  EXPECT_EQ(out.report,
            "<br>Jan 1 10.1.1.1 Accessed URL www.example.com\r\n"
            "<br>no address &amp; slash\r\n");
}

TEST(HitWriter, ReportNotOpenAnnouncesEveryHitWithTheMessage) {
  const std::string msg =
      "\tReport.html could not be opened or created, make sure the directory "
      "is not read-only.\n";
  EXPECT_EQ(write_hits(nullptr, 2, {"A 1", "A 2"}).console,
            "\tFound Result on Line #1\n" + msg +
                "\tFound Result on Line #2\n" + msg);
}

}  // namespace
