#pragma once

#include <string>
#include <string_view>

/// True when the line belongs to an authentication session.
bool is_excluded(std::string_view line);

/// Deletes the syslog priority prefixes and PIX message identifiers.
void remove_tags(std::string& line);
