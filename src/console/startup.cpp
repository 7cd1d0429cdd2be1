#include "console/startup.h"

#include <cstdio>

#include "console/console.h"

bool start_socket_library(bool (*start)()) {
  if (start()) return true;
  print("Winsock init error\n");
  // The run ends at once; the message must not wait in a buffer.
  std::fflush(stdout);
  return false;
}
