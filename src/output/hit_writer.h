#pragma once
// output/: a hit's way out: announced, cleaned, named in order, written.
// What becomes of each hit: it is announced on the console and, unless it
// belongs to an authentication session, cleaned and handed to the name
// pipeline, which names its destination and writes it to the report.

#include <cstdint>
#include <string>
#include <string_view>

struct name_pipeline;

struct hit_writer {
  name_pipeline* names = nullptr;  // the run's; its report may be null
  // Reused for every hit, so a section with many hits does not allocate
  // per hit.
  std::string scratch;
  int write_error = 0;  // errno value of the write that failed, 0 if none
  bool announce = true;  // false: the hit is only counted in `unannounced`
  std::int64_t unannounced = 0;
};

/// Announces hit number `number` (or counts it) and hands the cleaned line
/// on. True while
/// the search should go on; false once the report could not be written.
bool write_hit(hit_writer& writer, std::string_view line, std::int64_t number);
