#pragma once
// The text --help and --version print.

#include <string>

#include "settings/command_line.h"

/// The text --help or --version prints: the usage summary, or the program
/// name and version, then the compressed formats the build reads (as
/// "gzip, bzip2"). Empty for info_request::none.
std::string info_text(info_request request, const std::string& formats);
