// Peak memory of one bzip2 log read through its decompressor, with as many
// decoding threads as given: bench/run hands it a log whose every block
// expands to some 45 MB (a run of NUL bytes, as a crash leaves), where the
// text in flight, not the compressed data, is what takes room.
// usage: bzip2_memory LOG THREADS

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decode/bzip2_pool.h"
#include "log/log_source.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: bzip2_memory LOG THREADS\n", stderr);
    return 2;
  }
  const unsigned threads = static_cast<unsigned>(std::atoi(argv[2]));
  set_bzip2_threads(threads);
  log_reading reading;
  const byte_source text =
      open_log_source(std::fopen(argv[1], "rb"), kNoLimit, &reading);
  if (!text) return 1;
  std::vector<char> buffer(std::size_t{1} << 16);
  unsigned long long bytes = 0;
  int error = 0;
  for (std::ptrdiff_t n; (n = text(buffer.data(), buffer.size(), &error)) > 0;)
    bytes += static_cast<unsigned long long>(n);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%u threads: %llu bytes of text%s, peak RSS %ld MiB\n", threads,
              bytes, error != 0 ? " (then a failed read)" : "",
              usage.ru_maxrss / 1024);
  return error != 0;
}
