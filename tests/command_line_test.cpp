#include "settings/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

struct parsed {
  run_settings settings;
  std::vector<std::string> unknown;
  info_request request = info_request::none;
};

parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "vantrel");
  parsed p;
  p.request = parse_switches(static_cast<int>(args.size()), args.data(),
                             p.settings, p.unknown);
  return p;
}

TEST(CommandLine, AllSwitchesSetTheirFields) {
  parsed p = parse({"-t", "1", "-s", "term", "-i", "-f", "some.log", "-w",
                    "-o", "out/r.html"});
  EXPECT_EQ(p.settings.trim_from_switch, 1);
  EXPECT_EQ(p.settings.trim, 1);
  ASSERT_TRUE(p.settings.term_from_switch.has_value());
  EXPECT_EQ(*p.settings.term_from_switch, "term");
  EXPECT_EQ(p.settings.log_name, "some.log");
  EXPECT_TRUE(p.settings.mixed_case);
  EXPECT_TRUE(p.settings.whole_words);
  EXPECT_EQ(p.settings.report_name, "out/r.html");
  EXPECT_TRUE(p.unknown.empty());
  EXPECT_FALSE(parse({"-s", "-i"}).settings.mixed_case);
  EXPECT_EQ(parse({"-s", "-w"}).settings.report_name, "report.html");
  // A switch given twice: the later value wins.
  p = parse({"-f", "a.log", "-f", "b.log", "-t", "1", "-t", "2", "-o", "a",
             "-o", "-w"});
  EXPECT_EQ(p.settings.log_name, "b.log");
  EXPECT_EQ(p.settings.report_name, "-w");
  EXPECT_FALSE(p.settings.whole_words);
  EXPECT_EQ(p.settings.trim, 2);
}

TEST(CommandLine, ValuesAreTakenWhateverTheyAre) {
  parsed p = parse({"-s", "-f", "-f", "-x"});
  EXPECT_EQ(*p.settings.term_from_switch, "-f");
  EXPECT_EQ(p.settings.log_name, "-x");
  EXPECT_TRUE(p.unknown.empty());
  // An empty term is a term; none given is none.
  EXPECT_EQ(parse({"-s", ""}).settings.term_from_switch, std::string());
  EXPECT_FALSE(parse({}).settings.term_from_switch.has_value());
}

TEST(CommandLine, UnknownSwitchesAreReportedInOrderAndParsingGoesOn) {
  parsed p = parse({"-x", "-q", "-", "-T", "--f", "-I", "-s", "a"});
  EXPECT_EQ(p.unknown,
            (std::vector<std::string>{"-q", "-", "-T", "--f", "-I"}));
  EXPECT_FALSE(p.settings.mixed_case);
  EXPECT_EQ(*p.settings.term_from_switch, "a");
}

TEST(CommandLine, ParsingStopsAtFirstNonSwitch) {
  parsed p = parse({"some.log", "-s", "term", "-q"});
  EXPECT_FALSE(p.settings.term_from_switch.has_value());
  EXPECT_TRUE(p.unknown.empty());
  p = parse({"-t", "2", "stop", "-f", "x"});
  EXPECT_EQ(p.settings.trim, 2);
  EXPECT_EQ(p.settings.log_name, "");
  EXPECT_TRUE(p.settings.more_logs.empty());
  // With -f, what follows the switches is more logs, whatever it looks like.
  p = parse({"-f", "a", "b", "-s", "--help"});
  EXPECT_EQ(p.settings.more_logs,
            (std::vector<std::string>{"b", "-s", "--help"}));
  EXPECT_FALSE(p.settings.term_from_switch.has_value());
}

TEST(CommandLine, SwitchWithoutValueAtTheEndIsIgnored) {
  EXPECT_FALSE(parse({"-s"}).settings.term_from_switch.has_value());
  EXPECT_EQ(parse({"-f", "a", "-f"}).settings.log_name, "a");
  EXPECT_EQ(parse({"-t", "2", "-t"}).settings.trim_from_switch, 2);
}

TEST(CommandLine, HelpAndVersionCountOnlyWhereASwitchIsRead) {
  const info_request help = info_request::help;
  const info_request version = info_request::version;
  const info_request none = info_request::none;
  struct {
    std::vector<const char*> args;
    info_request request;
    std::vector<std::string> unknown;
  } const cases[] = {
      {{"--help"}, help, {}},
      {{"--version"}, version, {}},
      {{"-x", "-t", "1", "--version"}, version, {}},
      // Unknown switches before are reported; parsing stops at the first.
      {{"-q", "--help", "-r"}, help, {"-q"}},
      {{"--version", "--help"}, version, {}},
      {{"--help", "--version"}, help, {}},
      // A switch's value, or anything after a non-switch, is not a switch.
      {{"-s", "--help"}, none, {}},
      {{"-f", "--version", "-t", "--help"}, none, {}},
      {{"log", "--help"}, none, {}},
      // Only the exact words; the rest stays unknown.
      {{"-h", "-help", "--HELP", "--help=1", "--version "}, none,
       {"-h", "-help", "--HELP", "--help=1", "--version "}},
  };
  for (const auto& c : cases) {
    const parsed p = parse(c.args);
    const std::string args = ::testing::PrintToString(c.args);
    EXPECT_EQ(p.request, c.request) << args;
    EXPECT_EQ(p.unknown, c.unknown) << args;
  }
  EXPECT_EQ(*parse({"-s", "--help"}).settings.term_from_switch, "--help");
  EXPECT_EQ(parse({"-f", "--version"}).settings.log_name, "--version");
}

TEST(CommandLine, TrimValueReadLikeAtoiAndSaturated) {
  EXPECT_EQ(to_int32("1"), 1);
  EXPECT_EQ(to_int32("  \t2"), 2);
  EXPECT_EQ(to_int32("+7x"), 7);
  EXPECT_EQ(to_int32("-3"), -3);
  EXPECT_EQ(to_int32("abc"), 0);
  EXPECT_EQ(to_int32(""), 0);
  EXPECT_EQ(to_int32("- 1"), 0);
  EXPECT_EQ(to_int32("1 2"), 1);
  // Outside the range it saturates.
  EXPECT_EQ(to_int32("2147483647"), INT_MAX);
  EXPECT_EQ(to_int32("2147483648"), INT_MAX);
  EXPECT_EQ(to_int32("-2147483648"), INT_MIN);
  EXPECT_EQ(to_int32("-99999999999999999999999999"), INT_MIN);
  EXPECT_EQ(to_int32("99999999999999999999999999"), INT_MAX);
}

}  // namespace
