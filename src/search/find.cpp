#include "search/find.h"

std::size_t find_term(std::string_view text, std::string_view term,
                      std::size_t from) {
  return text.find(term, from);
}
