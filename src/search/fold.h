#pragma once

#include <string>

/// Folds the ASCII letters A-Z to lower case in place; other bytes stay.
int upper_lower(std::string& text);

/// Folds the ASCII letters a-z to upper case in place; other bytes stay.
int lower_upper(std::string& text);
