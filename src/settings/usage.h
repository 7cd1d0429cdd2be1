#pragma once
// The text --help and --version print.

#include <string>

#include "settings/command_line.h"

/// The text --help or --version prints: the usage summary, or the program
/// name and version on one line. Empty for info_request::none.
std::string info_text(info_request request);
