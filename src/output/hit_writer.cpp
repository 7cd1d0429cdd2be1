#include "output/hit_writer.h"

#include <charconv>
#include <cstring>

#include "console/console.h"
#include "output/name_pipeline.h"
#include "output/clean.h"

namespace {

// Room for host names longer than their address, so that rewriting a huge
// line does not need a second copy of it.
constexpr std::size_t kRewriteRoom = 4096;

// One write into stdout's buffer and no flush: the C library keeps stdout
// fully buffered unless it is an interactive device, so a redirected run
// does not pay a system call per hit while a console still sees each one.
void announce(std::int64_t number) {
  static constexpr std::string_view prefix = "\tFound Result on Line #";
  char text[prefix.size() + 24];
  std::memcpy(text, prefix.data(), prefix.size());
  char* end =
      std::to_chars(text + prefix.size(), text + sizeof text - 1, number).ptr;
  *end++ = '\n';
  print(std::string_view(text, static_cast<std::size_t>(end - text)));
}

}  // anonymous namespace

bool write_hit(hit_writer& writer, std::string_view line,
               std::int64_t number) {
  if (writer.announce)
    announce(number);
  else
    ++writer.unannounced;
  if (writer.names->report == nullptr) {
    color(RED);
    print("\tReport.html could not be opened or created, make sure the "
          "directory is not read-only.\n");
    return true;
  }
  if (is_excluded(line)) return true;
  std::string& cleaned = writer.scratch;
  if (cleaned.capacity() < line.size() + kRewriteRoom)
    cleaned.reserve(line.size() + kRewriteRoom);
  cleaned.assign(line);
  remove_tags(cleaned);
  writer.write_error = queue_hit(*writer.names, cleaned);
  return writer.write_error == 0;
}
