// What must be the same on every platform, whichever call it wraps: the
// address parser behind the host substitution, and a log held open.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace {

TEST(Ipv4Parse, DottedAndShortFormsGiveTheirAddress) {
  const struct {
    const char* text;
    std::uint32_t address;
  } cases[] = {
      {"192.0.2.15", net_order(192, 0, 2, 15)},
      {"10.0.0.1", net_order(10, 0, 0, 1)},
      {"0.0.0.0", net_order(0, 0, 0, 0)},
      {"10.1", net_order(10, 0, 0, 1)},  // last part fills three bytes
      {"0x7f.0.0.01", net_order(127, 0, 0, 1)},  // hex and octal parts
      // All ones, the value some parsers also give for text they reject: an
      // address all the same, however it is written.
      {"255.255.255.255", 0xFFFFFFFFu}, {"0xffffffff", 0xFFFFFFFFu},
      {"4294967295", 0xFFFFFFFFu}, {"0377.0377.0377.0377", 0xFFFFFFFFu},
      {"255.255.65535", 0xFFFFFFFFu}, {"0XFF.0xff.0Xff.255", 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    std::uint32_t address = 0;
    EXPECT_TRUE(platform_parse_ipv4(c.text, &address)) << c.text;
    EXPECT_EQ(address, c.address) << c.text;
  }
}

TEST(Ipv4Parse, TextThatIsNoAddressIsRejected) {
  const std::string cases[] = {
      "",
      "foo",
      "192.0.2.15:",
      "192.0.2.15:/x",
      "255.255.255.255:80",
      "/x",
      "-1",
      "1.2.3.4.5",
      "256.0.0.1",
      "255.255.255.256",
      "0x1ff.255.255.255",
      "4294967296",   // one past 32 bits
      "99999999999",  // far past: a parser may clamp it to all ones
      std::string("10.0.0.1\0x", 10),
      std::string("255.255.255.255\0", 16),
  };
  for (const std::string& text : cases) {
    std::uint32_t address = 12345;
    EXPECT_FALSE(platform_parse_ipv4(text, &address)) << text;
    EXPECT_EQ(address, 12345u) << text;
  }
}

// Log rotation renames logs a run holds open: on Windows the C library's
// own open would refuse that for as long as the run holds it.
TEST(OpenLog, HeldLogCanBeRenamedAndIsKnownByItsIdentity) {
  const std::string name = testing::TempDir() + "vantrel-held.log";
  std::fclose(std::fopen(name.c_str(), "wb"));
  std::FILE* held = platform_open_log(name.c_str());
  file_facts facts;
  file_identity there;
  ASSERT_TRUE(held != nullptr && platform_file_facts(held, &facts));
  EXPECT_EQ(std::rename(name.c_str(), (name + ".1").c_str()), 0);
  EXPECT_FALSE(platform_identity_at(name, &there));
  EXPECT_TRUE(platform_identity_at(name + ".1", &there) &&
              there == facts.identity);
  std::fclose(held);
  std::remove((name + ".1").c_str());
}

}  // namespace
