#include "output/host.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr int kLineEdge = -1;  // the line's start or end, not a byte

// The start of the last field: just after the last blank, 0 without one.
std::size_t last_field_start(const std::string& line) {
  const std::size_t blank = line.rfind(' ');
  return blank == std::string::npos ? 0 : blank + 1;
}

// The destination text: the last field up to, but not including, the
// character just before the line's first slash; the whole last field when
// that slash does not lie inside the field past its first character.
std::string destination_text(const std::string& line, std::size_t field) {
  const std::size_t slash = line.find('/');
  if (slash == std::string::npos || slash <= field) return line.substr(field);
  return line.substr(field, slash - field - 1);
}

// Letters, digits and dots carry an address or a name on: text with one of
// them beside it belongs to something longer (10.0.0.1 in 10.0.0.15).
bool continues_word(int byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= 'a' && byte <= 'z') || byte == '.';
}

int byte_at(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]);
}

// A successor's URL goes on after its address's colon with a path, or with
// a scheme (ASCII letters, digits, '+', '-', '.') and "://".
bool starts_url(std::string_view rest) {
  std::size_t scheme = 0;
  while (scheme < rest.size() && (continues_word(byte_at(rest, scheme)) ||
                                  rest[scheme] == '+' || rest[scheme] == '-'))
    ++scheme;
  return (!rest.empty() && rest[0] == '/') ||
         (scheme > 0 && rest.substr(scheme, 3) == "://");
}

// The address of a last field [USER@]ADDRESS:REST, as its offset in the
// field; kNone for any other field. The colon is the first one, as neither
// USER nor ADDRESS may hold one.
std::size_t url_address_at(std::string_view field, std::size_t* size) {
  const std::size_t colon = field.find(':');
  if (colon == kNone || !starts_url(field.substr(colon + 1))) return kNone;
  const std::size_t at_sign = field.substr(0, colon).rfind('@');
  if (at_sign == kNone) {
    *size = colon;
    return 0;
  }
  if (field.substr(0, at_sign).find_first_of("@/") != kNone) return kNone;
  *size = colon - at_sign - 1;
  return at_sign + 1;
}

// Where the destination stands in the line, and what it is.
struct destination {
  std::size_t at = 0;
  std::string text;
  bool is_address = false;
  std::uint32_t address = 0;
};

// Today's destination text when it is an address; else the address of a
// successor's URL field when there is one, which also names a PIX URL line
// whose earlier fields hold a slash. IPv6 never fits: a scheme or a path
// cannot follow its first colon.
destination find_destination(const std::string& line) {
  const std::size_t field = last_field_start(line);
  destination found{field, destination_text(line, field)};
  found.is_address = platform_parse_ipv4(found.text, &found.address);
  if (found.is_address) return found;
  std::size_t size = 0;
  const std::size_t at =
      url_address_at(std::string_view(line).substr(field), &size);
  if (at == kNone || size == 0) return found;
  destination url{field + at, line.substr(field + at, size)};
  url.is_address = platform_parse_ipv4(url.text, &url.address);
  return url.is_address ? url : found;
}

// The left-to-right scan for whole occurrences, over the line as it stands
// while it is rewritten: `unread` is the original text not yet passed and
// `before` the byte the rewritten line holds just in front of it.
struct whole_scan {
  std::string_view from;
  std::string_view to;
  std::string_view unread;
  int before = kLineEdge;

  // Offset in `unread` of the next whole occurrence, kNone when none.
  std::size_t next() const {
    for (std::size_t at = unread.find(from); at != kNone;
         at = unread.find(from, at + 1)) {
      const int left = at == 0 ? before : byte_at(unread, at - 1);
      const std::size_t end = at + from.size();
      const int right = end == unread.size() ? kLineEdge : byte_at(unread, end);
      if (!continues_word(left) && !continues_word(right)) return at;
    }
    return kNone;
  }

  // Passes the text up to the occurrence at `at` and the occurrence itself,
  // which the rewritten line now holds as `to`.
  void pass(std::size_t at) {
    if (!to.empty())
      before = byte_at(to, to.size() - 1);
    else if (at > 0)
      before = byte_at(unread, at - 1);
    unread.remove_prefix(at + from.size());
  }
};

// Where the replacements fall against the destination's own place in the
// last field, which is all the cut needs to know.
struct replacements {
  std::size_t total = 0;
  std::size_t before = 0;
  bool at_destination = false;
};

replacements count_whole(std::string_view line, std::string_view from,
                         std::string_view to, std::size_t destination_at) {
  whole_scan scan{from, to, line};
  replacements found;
  for (std::size_t at = scan.next(); at != kNone; at = scan.next()) {
    const std::size_t hit = line.size() - scan.unread.size() + at;
    ++found.total;
    if (hit < destination_at) ++found.before;
    if (hit == destination_at) found.at_destination = true;
    scan.pass(at);
  }
  return found;
}

// Rewrites the line front to back in place: the rewritten text [0, out)
// never reaches the unread text, which the scan's view points into.
void sweep(std::string& line, whole_scan scan) {
  char* text = line.data();
  std::size_t out = 0;
  for (std::size_t at = scan.next(); at != kNone; at = scan.next()) {
    std::memmove(text + out, scan.unread.data(), at);
    out += at;
    std::memcpy(text + out, scan.to.data(), scan.to.size());
    out += scan.to.size();
    scan.pass(at);
  }
  const std::size_t rest = scan.unread.size();
  std::memmove(text + out, scan.unread.data(), rest);
  line.resize(out + rest);
}

// A longer name needs the line grown first, by exactly what the `count`
// replacements add, with the text moved to its end; the caller's reserve
// usually makes that growth happen in place.
void replace_whole(std::string& line, std::string_view from,
                   std::string_view to, std::size_t count) {
  if (count == 0) return;
  const std::size_t size = line.size();
  const std::size_t room =
      to.size() > from.size() ? count * (to.size() - from.size()) : 0;
  if (room > 0) {
    line.resize(size + room);
    std::memmove(line.data() + room, line.data(), size);
  }
  sweep(line, whole_scan{from, to, std::string_view(line.data() + room, size)});
}

// Just after the destination as it stands in the rewritten last field.
// The occurrences replaced before it lie wholly in front of it, as the
// destination text holds neither the blank nor the '@' before it.
std::size_t cut_position(const destination& d, const replacements& done,
                         std::size_t name_size) {
  return d.at - done.before * d.text.size() + done.before * name_size +
         (done.at_destination ? name_size : d.text.size());
}

}  // anonymous namespace

bool destination_address(const std::string& line, std::uint32_t* address) {
  const destination d = find_destination(line);
  if (d.is_address) *address = d.address;
  return d.is_address;
}

void substitute_host(std::string& line, std::int32_t trim,
                     const host_lookup& lookup) {
  const destination d = find_destination(line);
  std::string name;
  replacements done;
  // Text that is not an address is never looked up: asking for the
  // all-ones address instead would name every such field after the
  // broadcast host. Empty text is never replaced: it would occur everywhere.
  if (d.is_address && lookup(d.address, &name) && !d.text.empty()) {
    done = count_whole(line, d.text, name, d.at);
    replace_whole(line, d.text, name, done.total);
  }
  if (trim != 1) return;
  const std::size_t cut = cut_position(d, done, name.size());
  if (cut < line.size()) line.resize(cut);
}
