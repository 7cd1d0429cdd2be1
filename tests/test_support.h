#pragma once
// Shared helpers for the unit tests.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "log/line_reader.h"
#include "platform/platform.h"

/// An address in network byte order, as the parser gives it, on any host.
inline std::uint32_t net_order(unsigned a, unsigned b, unsigned c, unsigned d) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(a), static_cast<unsigned char>(b),
      static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

/// An IPv4 address's value as the parser gives it.
inline std::uint32_t number(const ip_address& address) {
  std::uint32_t value = 0;
  std::memcpy(&value, address.bytes.data(), sizeof value);
  return value;
}

/// What threads of a test wait on instead of the clock: how many came in,
/// whether it is open. Waits give up after 30 s: a fault fails, not hangs.
struct gate {
  std::mutex lock;
  std::condition_variable changed;
  int entered = 0;
  bool opened = false;
  /// Counts one in; with `hold`, waits until opened (false if never).
  bool pass(bool hold = true) {
    std::unique_lock<std::mutex> held(lock);
    ++entered;
    changed.notify_all();
    return !hold || changed.wait_for(held, std::chrono::seconds(30),
                                     [this] { return opened; });
  }
  void open() {
    std::lock_guard<std::mutex> held(lock);
    opened = true;
    changed.notify_all();
  }
  /// Waits until at least n came in; how many had then.
  int await_entered(int n) {
    std::unique_lock<std::mutex> held(lock);
    changed.wait_for(held, std::chrono::seconds(30),
                     [&] { return entered >= n; });
    return entered;
  }
};

/// A temporary file holding bytes, rewound and ready to read.
inline std::FILE* file_with(std::string_view bytes) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

/// Everything written to a temporary file so far.
inline std::string contents_of(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[4096];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, got);
  return out;
}

/// Bytes from memory, `step` at most per read; a read fails with EIO once
/// fail_after bytes have been given.
inline byte_source memory_source(std::string bytes, std::size_t step,
                                 std::size_t fail_after = std::string::npos) {
  auto at = std::make_shared<std::size_t>(0);
  return [bytes, step, fail_after, at](char* into, std::size_t size,
                                       int* error) -> std::ptrdiff_t {
    if (*at >= fail_after) {
      *error = EIO;
      return -1;
    }
    const std::size_t n =
        std::min({size, step, bytes.size() - *at, fail_after - *at});
    std::memcpy(into, bytes.data() + *at, n);
    *at += n;
    return static_cast<std::ptrdiff_t>(n);
  };
}

/// The reading rules written out plainly, as the model the reader is
/// checked against: LF ends a line, CR before LF goes with it, 0x1A ends the
/// file, and the rest after the last LF is the last line.
inline std::vector<std::string> model_lines(std::string_view bytes) {
  const std::size_t quit = bytes.find('\x1a');
  if (quit != std::string_view::npos) bytes = bytes.substr(0, quit);
  std::vector<std::string> lines;
  std::string current;
  for (char c : bytes) {
    if (c == '\n') {
      if (!current.empty() && current.back() == '\r') current.pop_back();
      lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  lines.push_back(current);
  return lines;
}

/// Every line the reader hands out, one at a time.
inline std::vector<std::string> lines_by_line(line_reader& reader) {
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.next_line(&line)) lines.emplace_back(line);
  return lines;
}

/// Every line by the block path: complete lines a block at a time, cut at
/// the first 0x1A as a block search finds it, then the last line.
inline std::vector<std::string> lines_by_block(line_reader& reader) {
  std::vector<std::string> lines;
  while (reader.fill()) {
    const std::string_view block = reader.lines();
    std::size_t start = 0;
    for (std::size_t lf; (lf = block.find('\n', start)) != block.npos;
         start = lf + 1) {
      const std::string_view line = block.substr(start, lf + 1 - start);
      const std::size_t quit = line.find('\x1a');
      if (quit != line.npos) {
        reader.consume(start);
        reader.end_at(quit);
        break;
      }
      lines.emplace_back(strip_cr(line));
    }
    if (start == block.size()) reader.consume(start);
  }
  std::string_view last;
  if (reader.last_line(&last)) lines.emplace_back(last);
  return lines;
}

/// The replace-all rule written out plainly: find, replace, resume right
/// after the inserted text.
inline std::string replaced_by_rule(std::string line, std::string_view from,
                                    std::string_view to) {
  if (from.empty()) return line;
  for (std::size_t at = line.find(from); at != std::string::npos;
       at = line.find(from, at + to.size()))
    line.replace(at, from.size(), to);
  return line;
}
