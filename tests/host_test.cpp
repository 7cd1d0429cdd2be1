#include "output/host.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/platform.h"
#include "test_support.h"

namespace {

// A resolver that knows a fixed table and counts its questions.
struct table_resolver {
  std::map<std::uint32_t, std::string> names = {
      {net_order(203, 0, 113, 80), "www.example.com"},  // longer than it
      {net_order(198, 51, 100, 23), "news.tst"},         // shorter
      {net_order(10, 0, 0, 1), "db.example"},
      {net_order(255, 255, 255, 255), "broadcasthost"},
      {net_order(127, 0, 0, 1), ""},  // empty official name
      {net_order(10, 2, 2, 2), "gw"},
      {net_order(10, 9, 9, 9), "a.very.long.host.name.example"},
      {net_order(0, 0, 0, 1), "one"},
  };
  std::map<std::string, std::string> v6_names = {
      {"2001:db8::20", "gw6"}, {"fe80::1", "gw6"}};
  int asked = 0;
  host_lookup lookup() {
    return [this](const ip_address& a, std::string* name) {
      ++asked;
      ip_address v6;
      for (const auto& [text, known] : v6_names)
        if (platform_parse_ipv6(text, &v6) && v6 == a) *name = known;
      auto it = a.v6 ? names.end() : names.find(number(a));
      if (it == names.end()) return !name->empty();
      *name = it->second;
      return true;
    };
  }
};

std::string substituted(std::string line, std::int32_t trim,
                        table_resolver* resolver = nullptr) {
  table_resolver local;
  table_resolver& r = resolver != nullptr ? *resolver : local;
  substitute_host(line, trim, r.lookup());
  return line;
}

const std::string kUrl = "10.20.1.15 Accessed URL 203.0.113.80:/dir/page";

TEST(SubstituteHost, UrlLineWithResolvableDestination) {
  EXPECT_EQ(substituted(kUrl, 1), "10.20.1.15 Accessed URL www.example.com");
  EXPECT_EQ(substituted(kUrl, 2),
            "10.20.1.15 Accessed URL www.example.com:/dir/page");
  EXPECT_EQ(substituted(kUrl, 0),
            "10.20.1.15 Accessed URL www.example.com:/dir/page");
  EXPECT_EQ(substituted(kUrl, -1),
            "10.20.1.15 Accessed URL www.example.com:/dir/page");
}

TEST(SubstituteHost, UnresolvableDestinationIsKeptAndTrimmedAfter) {
  const std::string line = "x Accessed URL 192.0.2.200:/downloads/setup.exe";
  EXPECT_EQ(substituted(line, 1), "x Accessed URL 192.0.2.200");
  EXPECT_EQ(substituted(line, 2), line);
}

TEST(SubstituteHost, LineWithoutSlashLooksUpTheWholeLastField) {
  EXPECT_EQ(substituted("host went down at noon", 1),
            "host went down at noon");
  EXPECT_EQ(substituted("reached 198.51.100.23", 1), "reached news.tst");
  EXPECT_EQ(substituted("reached 203.0.113.80", 1),
            "reached www.example.com");
}

TEST(SubstituteHost, CutFallsBeforeTheCharacterBeforeTheSlash) {
  EXPECT_EQ(substituted("abc def/ghi", 1), "abc de");
  EXPECT_EQ(substituted("abc def/ghi", 2), "abc def/ghi");
}

TEST(SubstituteHost, LineWithoutBlankStartsItsFieldAtZero) {
  EXPECT_EQ(substituted("203.0.113.80:/a", 1), "www.example.com");
  EXPECT_EQ(substituted("198.51.100.23", 2), "news.tst");
  EXPECT_EQ(substituted("", 1), "");
}

TEST(SubstituteHost, SlashRightAfterTheLastBlank) {
  EXPECT_EQ(substituted("a b /x", 1), "a b /x");
}

TEST(SubstituteHost, OneCharacterBeforeTheSlashGivesEmptyDestination) {
  table_resolver r;
  EXPECT_EQ(substituted("a b :/x", 1, &r), "a b ");
  EXPECT_EQ(substituted("a b :/x", 2, &r), "a b :/x");
  EXPECT_EQ(r.asked, 0);
}

struct host_case {
  std::string line;
  std::int32_t trim;
  std::string want;
};

// The destination is replaced only where it stands whole: no ASCII letter,
// digit or '.' right before or after it.
TEST(SubstituteHost, OnlyWholeOccurrencesAreReplaced) {
  const host_case cases[] = {
      {"(10.0.0.1) 10.0.0.1", 2, "(db.example) db.example"},
      {"x :10.0.0.1/80 y 10.0.0.1", 2, "x :db.example/80 y db.example"},
      {"user@10.0.0.1, 10.0.0.1", 2, "user@db.example, db.example"},
      {"_10.0.0.1- \xe9" "10.0.0.1\xe9 10.0.0.1", 2,
       "_db.example- \xe9" "db.example\xe9 db.example"},
      {"10.0.0.1 x 10.0.0.1:/x", 2, "db.example x db.example:/x"},
      {"10.0.0.1", 2, "db.example"},
      // Digits, letters of either case and dots make longer text.
      {"10.0.0.15 110.0.0.1 10.0.0.1", 2, "10.0.0.15 110.0.0.1 db.example"},
      {"10.0.0.1. .10.0.0.1 10.0.0.1", 2, "10.0.0.1. .10.0.0.1 db.example"},
      {"a10.0.0.1 A10.0.0.1 10.0.0.1z 10.0.0.1Z 10.0.0.1", 2,
       "a10.0.0.1 A10.0.0.1 10.0.0.1z 10.0.0.1Z db.example"},
      // Occurrences past the last field's own are replaced too; the cut
      // does not see them.
      {"a 10.0.0.1:/10.0.0.1", 2, "a db.example:/db.example"},
      {"a 10.0.0.1:/10.0.0.1", 1, "a db.example"},
  };
  for (const host_case& c : cases)
    EXPECT_EQ(substituted(c.line, c.trim), c.want) << c.line;
}

// The cut falls right after the destination as it stands in the last field
// once the earlier occurrences are replaced.
TEST(SubstituteHost, CutFollowsTheReplacedLastField) {
  const host_case cases[] = {
      // Name longer than the address.
      {"203.0.113.80 to 203.0.113.80:/p", 1,
       "www.example.com to www.example.com"},
      {"10.9.9.9 URL 10.9.9.9:/p", 1,
       "a.very.long.host.name.example URL a.very.long.host.name.example"},
      // Name shorter than the address.
      {"198.51.100.23 to 198.51.100.23:/path/x", 1, "news.tst to news.tst"},
      {"198.51.100.23,198.51.100.23 198.51.100.23:/", 1,
       "news.tst,news.tst news.tst"},
      {"10.2.2.2 URL 10.2.2.2:/some/path", 1, "gw URL gw"},
      // Earlier text that does not count shifts nothing.
      {"10.0.0.15 to 10.0.0.1:/x", 1, "10.0.0.15 to db.example"},
      // Not whole at the field's start: the address stays and the cut
      // follows it, shifted by the earlier replacement.
      {"x 10.2.2.2 URL 10.2.2.25/p", 1, "x gw URL 10.2.2.2"},
      {"10.9.9.9 URL 10.9.9.95/p", 1,
       "a.very.long.host.name.example URL 10.9.9.9"},
      // An empty official name deletes every occurrence.
      {"a b 127.0.0.1:/x", 1, "a b "},
      {"a 127.0.0.1 b 127.0.0.1:/x", 1, "a  b "},
      {"a 127.0.0.1 b 127.0.0.1:/x", 2, "a  b :/x"},
      {"a 127.0.0.1 b 127.0.0.15/x", 1, "a  b 127.0.0.1"},
      // [USER@]ADDRESS:REST: the cut follows ADDRESS, past a USER holding it.
      {"x URL 198.51.100.23:http://a.example/i.html", 1, "x URL news.tst"},
      {"x URL jdoe@198.51.100.23:https://a/", 1, "x URL jdoe@news.tst"},
      {"x URL jdoe@192.0.2.200:https://a/", 1, "x URL jdoe@192.0.2.200"},
      {"x u@203.0.113.80:svn+ssh-1.x://h/", 2,
       "x u@www.example.com:svn+ssh-1.x://h/"},
      {"10.0.0.1 j@10.0.0.1:http://10.0.0.1/a", 2,
       "db.example j@db.example:http://db.example/a"},
      {"10.0.0.1 j@10.0.0.1:http://10.0.0.1/a", 1, "db.example j@db.example"},
      {"x 10.0.0.1@10.0.0.1:/p", 1, "x db.example@db.example"},
      {"03/01 x URL 203.0.113.80:/dir/page", 1, "03/01 x URL www.example.com"},
      // IPv6, named by its value in either form, cut never in the scheme.
      {"j@10.0.0.1 URL 2001:db8::20:http://a/i", 1, "j@10.0.0.1 URL gw6"},
      {"x URL 2001:db8::20:/i", 2, "x URL gw6:/i"},
      {"x URL jdoe@2001:DB8:0::20:ftp://a/", 1, "x URL jdoe@gw6"},
      {"x URL fe80::1%inside:http://a/", 2, "x URL gw6:http://a/"},
      {"x URL fe80::1%inside:/i", 1, "x URL gw6"},
      {"x URL j@2001:db8::99:ftp://a/", 1, "x URL j@2001:db8::99"},
      {"x URL 2001:db8::99:/i", 1, "x URL 2001:db8::99"},
      {"2001:db8::20 j@2001:db8::20:http://[2001:db8::20]/a", 1, "gw6 j@gw6"},
      {"1:2001:db8::20 2001:db8::20:80 2001:db8::20%i 2001:db8::20:/a", 1,
       "1:2001:db8::20 2001:db8::20:80 2001:db8::20%i gw6"},
  };
  for (const host_case& c : cases)
    EXPECT_EQ(substituted(c.line, c.trim), c.want)
        << c.line << " trim " << c.trim;
}

// Overlapping occurrences can only be told apart with text the C library
// still parses past a tab; where it does not, there is nothing to check.
TEST(SubstituteHost, ScanGoesOnAtTheNextByteAfterAPartialOccurrence) {
  std::uint32_t address = 0;
  if (!platform_parse_ipv4("1\t1", &address))
    GTEST_SKIP() << "no address after a tab here";
  // "1\t1" at 1 has 'x' before it; the one at 3 overlaps it and counts.
  EXPECT_EQ(substituted("x1\t1\t1 1\t1", 2), "x1\tone one");
}

TEST(SubstituteHost, TextThatIsNotAnAddressIsNeverLookedUp) {
  table_resolver r;
  for (const char* line : {"GET index", "a b:/c", "x 1.2.3.4.5:/a",
                           "x 256.1.1.1", "x 10.0.0.1 ", "x 10.0.0.1:h_p://a",
                           "x j@10.0.0.9.9:/a", "x a/b@10.0.0.1:/a",
                           "x 2001:db8::17::1:http://a/", "x fe80::1%:/a",
                           "x 1:2:http://a/", "x a@b@2001:db8::20:/a"}) {
    EXPECT_EQ(substituted(line, 2, &r), line) << line;
  }
  EXPECT_EQ(r.asked, 0);
  // Trimmed, the cut still falls after the destination text.
  EXPECT_EQ(substituted("x 1.2.3.4.5:/a", 1, &r), "x 1.2.3.4.5");
  EXPECT_EQ(substituted("x y", 1, &r), "x y");
  EXPECT_EQ(substituted("x ::1::2:http://a/", 1, &r), "x ::1::2:http");
  // The literal all-ones address is a real address and is looked up.
  EXPECT_EQ(substituted("to 255.255.255.255:/x", 1, &r), "to broadcasthost");
  EXPECT_EQ(r.asked, 1);
  const std::string nul("x 10.0.0.1\0:/x", 14);
  EXPECT_EQ(substituted(nul, 2, &r), nul);
  EXPECT_EQ(r.asked, 1);
}

TEST(SubstituteHost, ParserAcceptsItsOtherForms) {
  // The C library's parser takes fewer parts and other bases too.
  EXPECT_EQ(substituted("x 10.1:/a", 2), "x db.example:/a");
  EXPECT_EQ(substituted("x 10.0.1:/a", 2), "x db.example:/a");
  EXPECT_EQ(substituted("x 0xCB.0.113.80:/a", 1), "x www.example.com");
}

TEST(SubstituteHost, EveryLineAsksAgain) {
  table_resolver r;
  substituted(kUrl, 1, &r);
  substituted(kUrl, 1, &r);
  EXPECT_EQ(r.asked, 2);
}

}  // namespace
