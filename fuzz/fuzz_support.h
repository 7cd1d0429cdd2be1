#pragma once
// Shared by the fuzz targets: a property check that stops the run with a
// message, and a stream over the input's bytes.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

/// Stops the run (a crash to the fuzzer) when a property does not hold.
#define FUZZ_CHECK(cond)                                                   \
  do {                                                                     \
    if (!(cond)) {                                                         \
      std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond,         \
                   __FILE__, __LINE__);                                    \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

/// A read-only stream over bytes, as a log file would be: a file in memory
/// with a descriptor of its own, which the log reader reads from directly.
inline std::FILE* stream_over(std::string_view bytes) {
  const int fd = memfd_create("log", 0);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(write(fd, bytes.data(), bytes.size()) ==
             static_cast<ssize_t>(bytes.size()));
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
  std::FILE* f = fdopen(fd, "rb");
  FUZZ_CHECK(f != nullptr);
  return f;
}

/// Takes the first byte of the input as a small number (0 when empty).
inline unsigned take_byte(std::string_view& data) {
  if (data.empty()) return 0;
  const auto b = static_cast<unsigned char>(data.front());
  data.remove_prefix(1);
  return b;
}

/// Takes text up to (not including) the first separator byte; the rest
/// stays in data. Without a separator all of data is taken.
inline std::string_view take_field(std::string_view& data, char sep = '\xff') {
  const std::size_t at = data.find(sep);
  const std::string_view field = data.substr(0, at);
  data.remove_prefix(at == std::string_view::npos ? data.size() : at + 1);
  return field;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);
