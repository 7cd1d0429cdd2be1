#pragma once
// The report's sections: which form of the term each one holds, in the
// order they are written, and how each one starts on the console and in
// the report.

#include <cstdio>
#include <string>
#include <vector>

#include "search/search_pass.h"

enum class section_case { upper, lower, mixed };

/// A section of the report: the term as folded for it, and how it is
/// matched.
struct report_section {
  section_case letters;
  std::string term;
  term_match match = term_match::exact;
  bool searched = true;  // false: the section stays empty
  bool whole_word = false;  // -w: only where the term stands whole
};

/// The report's sections, in order, for the term as given: upper case,
/// lower case and, with mixed_case (-i) and a term that has letters, the
/// lines that hold it in mixed case only; with whole_words (-w), each
/// only where its form of the term stands whole.
std::vector<report_section> report_sections(const std::string& term,
                                            bool mixed_case, bool whole_words);

/// "UpperCase", "LowerCase" or "MixedCase", as the console names it.
const char* case_name(const report_section& section);

/// Says on the console that the section's search starts; its hits follow
/// in green.
void print_section_start(const report_section& section);

/// Writes the heading that opens a section after the first (whose heading
/// ends the report's head); 0, or the errno value of a failed write.
int write_section_heading(std::FILE* report, const report_section& section);
