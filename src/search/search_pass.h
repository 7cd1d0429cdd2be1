#pragma once

#include <cstdio>

#include "run/run_settings.h"
#include "search/host.h"
#include "search/line_reader.h"

enum class pass_kind { upper, lower };

/// Reads the whole log, announces every line that holds the term folded to
/// the pass's case, and writes the cleaned line to the report.
void search_pass(pass_kind kind, line_reader& log, run_settings& settings,
                 std::FILE* report, const host_lookup& lookup = system_lookup);

/// The same pass, taken line by line whatever the term. It gives exactly
/// what search_pass gives; the tests hold the block path against it.
void search_pass_by_line(pass_kind kind, line_reader& log,
                         run_settings& settings, std::FILE* report,
                         const host_lookup& lookup = system_lookup);
