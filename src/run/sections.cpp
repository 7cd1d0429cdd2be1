#include "run/sections.h"

#include "console/run_messages.h"
#include "report/report.h"
#include "search/fold.h"

std::vector<report_section> report_sections(const std::string& term,
                                            bool mixed_case,
                                            bool whole_words) {
  std::string upper = term;
  lower_upper(upper);  // a-z become A-Z
  std::string lower = term;
  upper_lower(lower);  // A-Z become a-z
  std::vector<report_section> sections{{section_case::upper, upper},
                                       {section_case::lower, lower}};
  // A term without letters has no mixed-case form: its section stays empty.
  if (mixed_case)
    sections.push_back(
        {section_case::mixed, term, term_match::mixed_case, upper != lower});
  for (report_section& section : sections) section.whole_word = whole_words;
  return sections;
}

const char* case_name(const report_section& section) {
  return section.letters == section_case::upper   ? "UpperCase"
         : section.letters == section_case::lower ? "LowerCase"
                                                  : "MixedCase";
}

void print_section_start(const report_section& section) {
  print_searching(case_name(section));
}

int write_section_heading(std::FILE* report, const report_section& section) {
  return section.letters == section_case::lower ? write_lower_heading(report)
                                                : write_mixed_heading(report);
}
