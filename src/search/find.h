#pragma once

#include <cstddef>
#include <string_view>

/// Position of the first occurrence of term in text at or after from, or
/// std::string_view::npos. An empty term is found at from.
std::size_t find_term(std::string_view text, std::string_view term,
                      std::size_t from);
