#include "search/host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

std::uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d) {
  // Network byte order, as the parser gives it, on any host.
  const unsigned char bytes[4] = {static_cast<unsigned char>(a),
                                  static_cast<unsigned char>(b),
                                  static_cast<unsigned char>(c),
                                  static_cast<unsigned char>(d)};
  std::uint32_t value;
  std::memcpy(&value, bytes, 4);
  return value;
}

// A resolver that knows a fixed table and counts its questions.
struct table_resolver {
  std::map<std::uint32_t, std::string> names = {
      {ip(203, 0, 113, 80), "www.example.com"},     // longer than the address
      {ip(198, 51, 100, 23), "news.tst"},           // shorter
      {ip(10, 0, 0, 1), "db.example"},
      {ip(255, 255, 255, 255), "broadcasthost"},
      {ip(127, 0, 0, 1), ""},                       // empty official name
  };
  int asked = 0;
  host_lookup lookup() {
    return [this](std::uint32_t a, std::string* name) {
      ++asked;
      auto it = names.find(a);
      if (it == names.end()) return false;
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

TEST(SubstituteHost, SlashInAnEarlierFieldTakesTheWholeLastField) {
  const std::string line = "03/01 x Accessed URL 203.0.113.80:/dir/page";
  table_resolver r;
  EXPECT_EQ(substituted(line, 1, &r), line);
  EXPECT_EQ(r.asked, 0);  // holds ':' and '/', so it is not an address
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

TEST(SubstituteHost, AddressAlsoEarlierInTheLine) {
  // Name 3 longer than the address: each earlier occurrence pushes the end
  // of the final name 3 past the cut.
  EXPECT_EQ(substituted("203.0.113.80 to 203.0.113.80:/p", 1),
            "www.example.com to www.example.");
  EXPECT_EQ(substituted("203.0.113.80 to 203.0.113.80:/p", 2),
            "www.example.com to www.example.com:/p");
  // Name 5 shorter: up to 5 more characters of the path stay.
  EXPECT_EQ(substituted("198.51.100.23 to 198.51.100.23:/path/x", 1),
            "news.tst to news.tst:/pat");
  EXPECT_EQ(substituted("198.51.100.23 198.51.100.23:/", 1),
            "news.tst news.tst:/");
}

TEST(SubstituteHost, BeginningOfALongerAddressIsReplacedToo) {
  EXPECT_EQ(substituted("from 10.0.0.15 to 10.0.0.1:/x", 2),
            "from db.example5 to db.example:/x");
}

TEST(SubstituteHost, EmptyOfficialNameDeletesTheAddress) {
  EXPECT_EQ(substituted("a b 127.0.0.1:/x", 1), "a b ");
  EXPECT_EQ(substituted("a 127.0.0.1 b 127.0.0.1:/x", 1), "a  b :/x");
}

TEST(SubstituteHost, TextThatIsNotAnAddressIsNeverLookedUp) {
  table_resolver r;
  for (const char* line : {"GET index", "a b:/c", "x 1.2.3.4.5:/a",
                           "x 256.1.1.1", "x 10.0.0.1 "}) {
    EXPECT_EQ(substituted(line, 2, &r), line) << line;
  }
  EXPECT_EQ(r.asked, 0);
  // Trimmed, the cut still falls after the destination text.
  EXPECT_EQ(substituted("x 1.2.3.4.5:/a", 1, &r), "x 1.2.3.4.5");
  EXPECT_EQ(substituted("x y", 1, &r), "x y");
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
