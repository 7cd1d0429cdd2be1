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

bool is_scheme_byte(char c) {
  return continues_word(static_cast<unsigned char>(c)) || c == '+' || c == '-';
}

// A successor's URL goes on after its address's colon with a path, or with
// a scheme (ASCII letters, digits, '+', '-', '.') and "://".
bool starts_url(std::string_view rest) {
  std::size_t scheme = 0;
  while (scheme < rest.size() && is_scheme_byte(rest[scheme])) ++scheme;
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

bool is_ascii_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool parse_ipv4(const std::string& text, ip_address* address) {
  std::uint32_t parsed = 0;
  if (!platform_parse_ipv4(text, &parsed)) return false;
  *address = parsed;
  return true;
}

// IPv6 text with an optional zone (fe80::1%inside), a name on the
// firewall's side that no resolver here knows: the address is its value
// without it.
bool parse_ipv6(std::string_view text, ip_address* address) {
  const std::size_t percent = text.find('%');
  if (percent != kNone) {
    const std::string_view zone = text.substr(percent + 1);
    if (zone.empty()) return false;
    for (char c : zone)
      if (!continues_word(static_cast<unsigned char>(c)) && c != '_' &&
          c != '-' && c != '~')
        return false;
  }
  return platform_parse_ipv6(std::string(text.substr(0, percent)), address);
}

// An IPv6 address in a last field [USER@]ADDRESS:REST, as its offset in the
// field; kNone when there is none. Its own colons leave only REST to tell
// where it ends: REST starts at the field's first slash, or, before a
// "://" there, at the scheme (a letter first) that precedes it, which wins
// when both leave an address.
std::size_t ipv6_address_at(std::string_view field, std::size_t* size,
                            ip_address* address) {
  const std::size_t user_end = field.find_first_of("@:/");
  const std::size_t start =
      user_end != kNone && field[user_end] == '@' ? user_end + 1 : 0;
  const std::size_t slash = field.find('/', start);
  if (slash == kNone || slash <= start || field[slash - 1] != ':') return kNone;
  const std::size_t colon = slash - 1;
  std::size_t scheme = colon;
  while (scheme > start && is_scheme_byte(field[scheme - 1])) --scheme;
  if (field.substr(slash, 2) == "//" && scheme < colon && scheme > start &&
      is_ascii_letter(field[scheme]) && field[scheme - 1] == ':' &&
      parse_ipv6(field.substr(start, scheme - 1 - start), address)) {
    *size = scheme - 1 - start;
    return start;
  }
  *size = colon - start;
  return parse_ipv6(field.substr(start, *size), address) ? start : kNone;
}

// Where the destination stands in the line, and what it is.
struct destination {
  std::size_t at = 0;
  std::string text;
  bool is_address = false;
  ip_address address;
};

// Today's destination text when it is an IPv4 address; else the address of
// a successor's URL field when there is one, which also names a PIX URL
// line whose earlier fields hold a slash; else an IPv6 address in either
// URL form, which the first two cannot see past its first colon.
destination find_destination(const std::string& line) {
  const std::size_t field = last_field_start(line);
  destination found{field, destination_text(line, field), false, {}};
  found.is_address = parse_ipv4(found.text, &found.address);
  if (found.is_address) return found;
  const std::string_view last = std::string_view(line).substr(field);
  std::size_t size = 0;
  std::size_t at = url_address_at(last, &size);
  if (at != kNone && size != 0) {
    destination url{field + at, line.substr(field + at, size), false, {}};
    url.is_address = parse_ipv4(url.text, &url.address);
    if (url.is_address) return url;
  }
  destination v6;
  at = ipv6_address_at(last, &size, &v6.address);
  if (at == kNone) return found;
  v6.at = field + at;
  v6.text = line.substr(v6.at, size);
  v6.is_address = true;
  return v6;
}

// IPv6 text goes on with a colon too, and with a zone: an occurrence
// stands alone only with neither beside it, unless the colon after it
// starts a URL, as the destination's own does.
bool ipv6_stands_alone(int left, std::string_view after) {
  if (left == ':') return false;
  if (after.empty()) return true;
  if (after[0] == '%') return false;
  return after[0] != ':' || starts_url(after.substr(1));
}

// The left-to-right scan for whole occurrences, over the line as it stands
// while it is rewritten: `unread` is the original text not yet passed and
// `before` the byte the rewritten line holds just in front of it.
struct whole_scan {
  std::string_view from;
  std::string_view to;
  std::string_view unread;
  bool v6 = false;
  int before = kLineEdge;

  // Offset in `unread` of the next whole occurrence, kNone when none.
  std::size_t next() const {
    for (std::size_t at = unread.find(from); at != kNone;
         at = unread.find(from, at + 1)) {
      const int left = at == 0 ? before : byte_at(unread, at - 1);
      const std::size_t end = at + from.size();
      const int right = end == unread.size() ? kLineEdge : byte_at(unread, end);
      if (continues_word(left) || continues_word(right)) continue;
      if (!v6 || ipv6_stands_alone(left, unread.substr(end))) return at;
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
                         std::string_view to, std::size_t destination_at,
                         bool v6) {
  whole_scan scan{from, to, line, v6};
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
                   std::string_view to, std::size_t count, bool v6) {
  if (count == 0) return;
  const std::size_t size = line.size();
  const std::size_t room =
      to.size() > from.size() ? count * (to.size() - from.size()) : 0;
  if (room > 0) {
    line.resize(size + room);
    std::memmove(line.data() + room, line.data(), size);
  }
  sweep(line,
        whole_scan{from, to, std::string_view(line.data() + room, size), v6});
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

bool destination_address(const std::string& line, ip_address* address) {
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
    done = count_whole(line, d.text, name, d.at, d.address.v6);
    replace_whole(line, d.text, name, done.total, d.address.v6);
  }
  if (trim != 1) return;
  const std::size_t cut = cut_position(d, done, name.size());
  if (cut < line.size()) line.resize(cut);
}
