#include "platform/platform.h"

// winsock2.h must come before windows.h, which would pull in the old
// winsock.h otherwise.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// inet_addr answers INADDR_NONE both for text it rejects and for the
// broadcast address itself, so that answer alone cannot say which. The
// text spells all ones when it is one to four numbers in the parser's C
// notation (decimal, 0 octal, 0x hex), split by dots and ending at the end
// or at white space, each at the largest value its place allows.
bool spells_all_ones(const char* text) {
  unsigned long parts[4] = {};
  int count = 0;
  const char* p = text;
  for (;;) {
    if (std::isdigit(static_cast<unsigned char>(*p)) == 0) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(p, &end, 0);
    if (errno == ERANGE || value > 0xFFFFFFFFUL) return false;
    parts[count++] = value;
    if (*end == '\0' || std::isspace(static_cast<unsigned char>(*end)) != 0)
      break;
    if (*end != '.' || count == 4) return false;
    p = end + 1;
  }
  for (int i = 0; i + 1 < count; ++i)
    if (parts[i] != 0xFF) return false;
  // The last number fills the bytes the earlier ones leave.
  return parts[count - 1] == (0xFFFFFFFFUL >> (8 * (count - 1)));
}

}  // anonymous namespace

void platform_set_text_attribute(int attribute) {
  // Text already written must show in the colour it was written in.
  std::fflush(stdout);
  // Fetched on every call: the handle may have been replaced meanwhile.
  // Redirected output makes the call fail, which leaves it uncoloured.
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE),
                          static_cast<WORD>(attribute & 0xFFFF));
}

bool platform_stdout_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool platform_start_sockets() {
  WSADATA wData;
  return WSAStartup(MAKEWORD(2, 2), &wData) == 0;
}

bool platform_parse_ipv4(const std::string& text, std::uint32_t* address) {
  // The parser stops at a NUL, so such text would be read as its prefix.
  if (text.find('\0') != std::string::npos) return false;
  const unsigned long parsed = inet_addr(text.c_str());
  if (parsed == INADDR_NONE && !spells_all_ones(text.c_str())) return false;
  *address = static_cast<std::uint32_t>(parsed);
  return true;
}

bool platform_reverse_lookup(std::uint32_t address, std::string* name) {
  const hostent* h =
      gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
  if (h == nullptr || h->h_name == nullptr) return false;
  *name = h->h_name;
  return true;
}

void platform_clear_console() {
  // On redirected output CLS would write a form feed into the user's file.
  if (!platform_stdout_is_terminal()) return;
  std::fflush(stdout);
  std::system("CLS");
}

void platform_open_in_viewer(const char* path) {
  ShellExecuteA(nullptr, "open", path, "", "", SW_SHOW);
}
