// Writes a synthetic PIX firewall log of a given size (see pix_log.h).
// usage: gen_pix_log SIZE FILE   (SIZE in bytes, or with a K, M or G suffix)

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pix_log.h"

namespace {

bool parse_size(const char* text, std::uint64_t* size) {
  char* end = nullptr;
  std::uint64_t value = std::strtoull(text, &end, 10);
  if (end == text) return false;
  if (*end != '\0') {
    static const char units[] = "KMG";
    const char* unit =
        std::strchr(units, std::toupper(static_cast<unsigned char>(*end)));
    if (unit == nullptr || end[1] != '\0') return false;
    value <<= 10 * (unit - units + 1);
  }
  *size = value;
  return true;
}

}  // anonymous namespace

int main(int argc, char** argv) {
  std::uint64_t size = 0;
  if (argc != 3 || !parse_size(argv[1], &size)) {
    std::fprintf(stderr, "usage: gen_pix_log SIZE FILE  (SIZE like 100M)\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "gen_pix_log: cannot write %s\n", argv[2]);
    return 1;
  }
  std::vector<char> buffer(1 << 20);
  std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
  bool ok = true;
  const pix_log_counts counts =
      generate_pix_log(size, [&](std::string_view line) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), out) == line.size();
      });
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "gen_pix_log: writing %s failed\n", argv[2]);
    return 1;
  }
  std::fprintf(
      stderr,
      "%s: %llu bytes, %llu lines; %s on %llu, %s on %llu, %s on "
      "%llu\n",
      argv[2], static_cast<unsigned long long>(counts.bytes),
      static_cast<unsigned long long>(counts.lines), pix_rare_user,
      static_cast<unsigned long long>(counts.rare_lines), pix_rare_address,
      static_cast<unsigned long long>(counts.rare_address_lines),
      pix_common_user, static_cast<unsigned long long>(counts.common_lines));
  return 0;
}
