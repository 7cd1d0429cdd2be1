#pragma once
// What a pass does with each hit: announce it on the console and, unless
// it belongs to an authentication session, clean it, name its destination
// and write it to the report.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "search/host.h"

struct name_pipeline;

struct hit_writer {
  std::FILE* report = nullptr;  // null: it could not be created
  std::int32_t trim = 0;
  host_lookup lookup = system_lookup;
  // Set for a run: lines are named by its workers and written in order.
  // Null: each line is looked up with `lookup` in turn.
  name_pipeline* names = nullptr;
  // Reused for every hit, so a pass with many hits does not allocate per
  // hit.
  std::string scratch;
  int write_error = 0;  // errno value of the write that failed, 0 if none
};

/// Announces hit number `number` and writes the cleaned line. True while
/// the search should go on; false once the report could not be written.
bool write_hit(hit_writer& writer, std::string_view line, std::int64_t number);
