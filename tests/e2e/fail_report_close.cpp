// Preloaded into the program: the report's close fails as a network file
// system's does when the last of a file cannot be stored, after every
// write and flush went through.

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" int fclose(std::FILE* file) {
  using close_function = int (*)(std::FILE*);
  static const auto real =
      reinterpret_cast<close_function>(dlsym(RTLD_NEXT, "fclose"));
  char link[64];
  char path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(file));
  const ssize_t n = readlink(link, path, sizeof path);
  const bool report =
      n >= 11 && std::memcmp(path + n - 11, "report.html", 11) == 0;
  const int closed = real(file);
  if (!report || closed != 0) return closed;
  errno = EDQUOT;
  return EOF;
}
