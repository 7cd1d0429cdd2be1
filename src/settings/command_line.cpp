#include "settings/command_line.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "settings/decimal.h"

std::int32_t to_int32(const char* text) {
  while (is_space(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  std::int64_t value = 0;
  for (; is_digit(*text); ++text) value = add_digit(value, *text);
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

info_request parse_switches(int argc, const char* const* argv,
                            run_settings& settings,
                            std::vector<std::string>& unknown) {
  info_request request = info_request::none;
  bool log_given = false;
  int optind = 1;
  while (optind < argc && argv[optind][0] == '-') {
    const char* sw = argv[optind];
    const bool has_value = optind + 1 < argc;
    if (std::strcmp(sw, "-t") == 0) {
      if (has_value) settings.trim_from_switch = to_int32(argv[++optind]);
    } else if (std::strcmp(sw, "-s") == 0) {
      if (has_value) settings.term_from_switch = argv[++optind];
    } else if (std::strcmp(sw, "-f") == 0) {
      if (has_value) settings.log_name = argv[++optind];
      log_given = log_given || has_value;
    } else if (std::strcmp(sw, "--since") == 0) {
      if (has_value) settings.since = argv[++optind];
    } else if (std::strcmp(sw, "--until") == 0) {
      if (has_value) settings.until = argv[++optind];
    } else if (std::strcmp(sw, "-i") == 0) {
      settings.mixed_case = true;
    } else if (std::strcmp(sw, "-w") == 0) {
      settings.whole_words = true;
    } else if (std::strcmp(sw, "-o") == 0) {
      if (has_value) settings.report_name = argv[++optind];
    } else if (std::strcmp(sw, "--help") == 0) {
      request = info_request::help;
      break;
    } else if (std::strcmp(sw, "--version") == 0) {
      request = info_request::version;
      break;
    } else if (std::strcmp(sw, "-x") != 0) {
      unknown.emplace_back(sw);
    }
    ++optind;
  }
  // Switches come first: whatever follows them is a log name.
  if (log_given && request == info_request::none)
    settings.more_logs.assign(argv + optind, argv + argc);
  settings.trim = settings.trim_from_switch;
  return request;
}
