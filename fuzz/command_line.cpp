// The switches on any argument list (the input split at NUL bytes, as the
// system hands arguments over): the parser reads nothing past the list,
// every value it keeps is an argument that followed its switch, --help and
// --version count only where a switch is read, and -t values are read as
// atoi reads them, saturated to 32 bits.

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "settings/command_line.h"

namespace {

// atoi's reading, in 64 bits, saturated.
std::int32_t reference_int32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > (std::int64_t{1} << 32)) value = std::int64_t{1} << 32;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// The first --help or --version read as a switch: the values of the
// switches that take one and everything from the first non-switch on are
// skipped.
info_request reference_request(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size() && args[i][0] == '-'; ++i) {
    const std::string& a = args[i];
    if (a == "--help") return info_request::help;
    if (a == "--version") return info_request::version;
    if (a == "-f" || a == "-s" || a == "-t" || a == "-o" || a == "--since" ||
        a == "--until")
      ++i;
  }
  return info_request::none;
}

}  // anonymous namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args = {"vantrel"};
  while (!input.empty()) args.emplace_back(take_field(input, '\0'));
  // Exactly as many pointers as arguments, so reading past them is caught.
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());

  run_settings settings;
  std::vector<std::string> unknown;
  const info_request request = parse_switches(
      static_cast<int>(argv.size()), argv.data(), settings, unknown);
  FUZZ_CHECK(request == reference_request(args));
  FUZZ_CHECK(settings.trim == settings.trim_from_switch);
  for (const std::string& u : unknown) {
    FUZZ_CHECK(!u.empty() && u[0] == '-');
    FUZZ_CHECK(u != "--help" && u != "--version" && u != "-i" && u != "-w");
  }
  auto follows = [&args](const char* sw, const std::string& value) {
    for (std::size_t i = 1; i + 1 < args.size(); ++i)
      if (args[i] == sw && args[i + 1] == value) return true;
    return false;
  };
  if (!settings.log_name.empty()) FUZZ_CHECK(follows("-f", settings.log_name));
  if (settings.term_from_switch) FUZZ_CHECK(follows("-s", *settings.term_from_switch));
  if (settings.since) FUZZ_CHECK(follows("--since", *settings.since));
  if (settings.until) FUZZ_CHECK(follows("--until", *settings.until));

  for (const std::string& a : args)
    FUZZ_CHECK(to_int32(a.c_str()) == reference_int32(a));
  return 0;
}
