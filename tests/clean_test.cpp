#include "output/clean.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::string cleaned(std::string line) {
  remove_tags(line);
  return line;
}

TEST(RemoveTags, EveryOccurrenceOfEveryTagGoes) {
  EXPECT_EQ(cleaned("a<165>b<165>c"), "abc");
  EXPECT_EQ(cleaned("<162><164><163><165>x"), "x");
  EXPECT_EQ(cleaned("<165>"), "");
  EXPECT_EQ(cleaned(
                "<165>Mar 02 2006 09:00:01: %PIX-5-304001: 10.20.1.15 "
                "Accessed URL 203.0.113.80:/index.html"),
            "Mar 02 2006 09:00:01: 10.20.1.15 Accessed URL "
            "203.0.113.80:/index.html");
  EXPECT_EQ(cleaned("a %ASA-2-109011: %ASA-5-304001: %ASA-5-109012: %FWSM-2-"
                    "109011: %FWSM-5-304001: %FWSM-5-109012: %FTD-2-109011: "
                    "%FTD-5-304001: %FTD-5-109012: b"),
            "a b");
}

TEST(RemoveTags, IdentifiersTakeTheBlankBeforeThem) {
  EXPECT_EQ(cleaned("x <162> %PIX-5-304001: y"), "x  y");
  EXPECT_EQ(cleaned("a %PIX-2-109011: b %PIX-5-109012: c"), "a b c");
  // Without the blank the identifier is not a tag.
  EXPECT_EQ(cleaned("%PIX-5-304001: start"), "%PIX-5-304001: start");
  EXPECT_EQ(cleaned("%FTD-5-304001: start"), "%FTD-5-304001: start");
}

TEST(RemoveTags, OtherPrioritiesAndIdentifiersStay) {
  EXPECT_EQ(cleaned("<166>a %PIX-6-302013: b <161> %PIX-5-304002:"),
            "<166>a %PIX-6-302013: b <161> %PIX-5-304002:");
  EXPECT_EQ(cleaned("<1650> <16 5> <165 >"), "<1650> <16 5> <165 >");
}

TEST(RemoveTags, JoinedTagsBeforeTheResumePointStay) {
  EXPECT_EQ(cleaned("<16<165>5>"), "<165>");
  // A later pair joins text into an earlier pair's tag; it is not revisited.
  EXPECT_EQ(cleaned("<16<162>5>"), "<165>");
  // A join into a later pair's tag is still seen by that pair.
  EXPECT_EQ(cleaned("<16<165>2>"), "");
  EXPECT_EQ(cleaned(" %FTD-5-3 %ASA-5-304001:04001:"), "");
}

TEST(RemoveTags, NeverLengthensALine) {
  std::string line(std::string("\0<165>\xff", 7));
  remove_tags(line);
  EXPECT_EQ(line, std::string("\0\xff", 2));
}

TEST(Exclusion, MarkerIsCaseSensitiveAndTestedAsRead) {
  EXPECT_TRUE(is_excluded("<162>x: %PIX-2-109011: Authen Session Start"));
  EXPECT_TRUE(is_excluded("Authen Session"));
  EXPECT_FALSE(is_excluded("authen session start"));
  EXPECT_FALSE(is_excluded("Authen  Session"));
  const std::string joined = "Authen<165> Session x";
  EXPECT_FALSE(is_excluded(joined));
  EXPECT_EQ(cleaned(joined), "Authen Session x");
}

TEST(ReplaceAll, InsertedTextIsNeverSearched) {
  std::string s = "aa-aa";
  replace_all(s, "a", "aa");
  EXPECT_EQ(s, "aaaa-aaaa");
  s = "aaa";
  replace_all(s, "aa", "b");
  EXPECT_EQ(s, "ba");
  s = "abc";
  replace_all(s, "", "x");
  EXPECT_EQ(s, "abc");
}

TEST(ReplaceAll, InPlaceOrNotGivesTheRuleResult) {
  const char* const texts[] = {"", "x", "ababa", "abababab", "10.0.0.1 10.0.0.15",
                               "aaaa", "a.b.a.b.a", "--ab--ab--"};
  const char* const pairs[][2] = {{"aba", "X"},     {"aba", "XYZW"},
                                  {"ab", "ab"},     {"a", ""},
                                  {"aa", "aaa"},    {"10.0.0.1", "db.example"},
                                  {"10.0.0.1", "d"}, {"b.a", "<b.a>"}};
  for (const char* text : texts) {
    for (const auto& pair : pairs) {
      const std::string want = replaced_by_rule(text, pair[0], pair[1]);
      for (std::size_t spare : {0u, 1u, 64u}) {
        std::string line;
        line.reserve(std::string(text).size() + spare);
        line = text;
        replace_all(line, pair[0], pair[1]);
        EXPECT_EQ(line, want) << text << " " << pair[0] << "->" << pair[1]
                              << " spare " << spare;
      }
    }
  }
}

}  // namespace
