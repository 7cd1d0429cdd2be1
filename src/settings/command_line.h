#pragma once
// The switches on the command line, read into the run's settings.

#include <string>
#include <vector>

#include "settings/run_settings.h"

/// What the run was asked to print instead of searching.
enum class info_request { none, help, version };

/// Reads the switches -t, -s, -f, -i, -w, -o and -x into the settings
/// (trim included).
/// Parsing stops at the first argument that does not begin with '-': with
/// -f given, it and all after it are more logs, else they are ignored. Every
/// other '-' argument is returned in unknown, in order, for the caller to
/// report. A value-taking switch with no argument after it is ignored.
/// Parsing also stops at --help or --version, which is returned.
info_request parse_switches(int argc, const char* const* argv,
                            run_settings& settings,
                            std::vector<std::string>& unknown);

/// Decimal value as atoi reads it (leading white space, optional sign,
/// digits; anything else gives 0), saturated to the 32-bit range.
std::int32_t to_int32(const char* text);
