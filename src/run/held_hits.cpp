#include "run/held_hits.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr std::size_t kWindow = std::size_t{64} << 10;

// A record is a 64-bit length, then the line's bytes, or for a regular
// file its 64-bit offset.
void append_number(std::string& out, std::uint64_t value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.append(bytes, sizeof value);
}

// Moves the records held in memory to the temporary file. Without one (it
// could not be made), they stay in memory: a run that holds more than it
// meant to is better than one that loses hits.
void spill(held_hits& held) {
  if (held.spill == nullptr && !held.no_spill) held.spill = std::tmpfile();
  if (held.spill == nullptr) {
    held.no_spill = true;
    return;
  }
  errno = 0;
  if (std::fwrite(held.records.data(), 1, held.records.size(), held.spill) !=
          held.records.size() && held.error == 0)
    held.error = errno != 0 ? errno : EIO;
  held.records.clear();
  held.window.clear();
}

// Reads the next record's bytes from wherever the records are now.
struct record_reader {
  held_hits& held;
  std::size_t at = 0;  // in held.records, when there is no spill

  bool take(char* into, std::size_t size) {
    if (held.spill != nullptr)
      return std::fread(into, 1, size, held.spill) == size;
    if (held.records.size() - at < size) return false;
    std::memcpy(into, held.records.data() + at, size);
    at += size;
    return true;
  }

  bool number(std::uint64_t* value) {
    char bytes[sizeof *value];
    if (!take(bytes, sizeof bytes)) return false;
    std::memcpy(value, bytes, sizeof *value);
    return true;
  }
};

// Reads size bytes of the log at offset into `into`.
bool read_back(held_hits& held, char* into, std::size_t size,
               std::uint64_t offset, std::size_t* got_out = nullptr,
               std::size_t room = 0) {
  std::size_t got = 0;
  while (got < size) {
    int error = 0;
    const std::ptrdiff_t read = platform_read_at(
        held.log, into + got, std::max(size, room) - got, offset + got, &error);
    if (read <= 0) {
      // The log was cut short since it was read.
      held.error = read < 0 ? error : EIO;
      return false;
    }
    got += static_cast<std::size_t>(read);
  }
  if (got_out != nullptr) *got_out = got;
  return true;
}

// Hits lie close together, so one read of a window of the log serves many
// short ones; a long line is read straight into its place.
bool read_line_back(held_hits& held, std::string& line, std::uint64_t offset) {
  if (line.size() >= kWindow)
    return read_back(held, line.data(), line.size(), offset);
  const bool inside =
      offset >= held.window_at &&
      offset + line.size() <= held.window_at + held.window.size();
  if (!inside) {
    held.window.resize(kWindow);
    std::size_t got = 0;
    if (!read_back(held, held.window.data(), line.size(), offset, &got,
                   kWindow))
      return false;
    held.window.resize(got);
    held.window_at = offset;
  }
  std::memcpy(line.data(), held.window.data() + (offset - held.window_at),
              line.size());
  return true;
}

// The line of one record, read back into line.
bool next_line(held_hits& held, record_reader& records, std::string& line) {
  std::uint64_t size = 0;
  if (!records.number(&size)) return false;
  line.resize(static_cast<std::size_t>(size));
  if (held.log == nullptr) return records.take(line.data(), line.size());
  std::uint64_t offset = 0;
  if (!records.number(&offset)) return false;
  return read_line_back(held, line, offset);
}

}  // anonymous namespace

void hold_hit(held_hits& held, std::string_view line, std::uint64_t offset) {
  append_number(held.records, line.size());
  if (held.log != nullptr)
    append_number(held.records, offset);
  else
    held.records.append(line);
  if (held.records.size() > held.memory_limit) spill(held);
}

void replay_hits(held_hits& held, const hit_sink& sink,
                 const stop_check& stop) {
  if (held.spill != nullptr) {
    spill(held);
    std::fflush(held.spill);
    std::rewind(held.spill);
  }
  record_reader records{held};
  std::string line;
  for (std::int64_t number = 1; !stop() && next_line(held, records, line);
       ++number) {
    if (!sink(line, number)) break;
  }
  drop_hits(held);
}

void drop_hits(held_hits& held) {
  if (held.spill != nullptr) std::fclose(held.spill);
  held.spill = nullptr;
  held.records.clear();
  held.window.clear();
}
