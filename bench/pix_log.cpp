#include "pix_log.h"

#include <string>
#include <vector>

namespace {

// splitmix64: small, fast and the same on every platform.
struct rng {
  std::uint64_t state = 0x5EED2005ULL;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>(next() % n);
  }
  bool chance(std::uint32_t per_million) {
    return below(1000000) < per_million;
  }
  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(static_cast<std::uint32_t>(N))];
  }
};

// Destinations that get most of the traffic; bench/hosts names them all.
const char* const frequent_destinations[] = {
    "192.0.2.15",   "203.0.113.80", "203.0.113.45",  "198.51.100.23",
    "203.0.113.17", "192.0.2.200",  "198.51.100.70", "203.0.113.99"};

const char* const first_initials[] = {"a", "b", "c", "d", "e", "f",
                                      "g", "h", "j", "k", "l", "m",
                                      "n", "p", "r", "s", "t", "w"};
const char* const surnames[] = {
    "smith",  "garcia", "novak",   "tanaka",  "okafor", "lindqvist", "rossi",
    "dubois", "kowal",  "mueller", "brennan", "haddad", "petrov",    "silva",
    "nguyen", "olsen",  "fischer", "moreau",  "jansen", "costa"};

const char* const path_parts[] = {
    "intranet", "news",    "images", "img",     "inc",       "css",
    "js",       "scripts", "sports", "weather", "downloads", "b",
    "ss",       "markets", "world",  "cgi-bin", "static",    "en-us",
    "de-de",    "applets", "docs",   "media",   "api",       "v2"};
const char* const page_names[] = {"index.html",
                                  "login.asp",
                                  "story.html",
                                  "banner.jpg",
                                  "site_style.css",
                                  "hdr_script_common.js",
                                  "phonebook.asp",
                                  "quotes.html",
                                  "forecast.php",
                                  "sun.png",
                                  "setup%20v1.2.exe",
                                  "ticker.class",
                                  "spacer.gif",
                                  "scores.js",
                                  "click.cgi",
                                  "Q3%20Budget%20v2.xls",
                                  "search"};
const char* const queries[] = {"?id=",
                               "?q=pix+syslog+",
                               "?dept=finance&page=",
                               "?zip=",
                               "?u=http://www.example.com/promo&r=",
                               "?lang=en&sid="};
const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const int month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

struct generator {
  rng r;
  std::string line;
  std::vector<std::string> users;
  std::int64_t seconds = 8 * 3600;  // from 08:00:00 on the first day
  int year = 2005, month = 7, day = 24;
  std::uint32_t connection = 1042061;
  bool rare = false, common = false;  // the line names a planted user
  bool rare_address = false;          // ... or comes from the planted address

  generator() {
    for (const char* i : first_initials)
      for (const char* s : surnames) users.push_back(std::string(i) + s);
  }

  void num(std::uint64_t v) {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    while (n > 0) line += digits[--n];
  }
  void two(int v) {
    line += static_cast<char>('0' + v / 10);
    line += static_cast<char>('0' + v % 10);
  }
  void ip(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    num(a), line += '.', num(b), line += '.', num(c), line += '.', num(d);
  }
  // A workstation inside; now and then the one planted address, which no
  // other draw can give (the third part is never 9).
  void inside_ip() {
    if (r.chance(110)) {
      line += pix_rare_address, rare_address = true;
      return;
    }
    ip(10, 10, 1 + r.below(8), 2 + r.below(250));
  }
  void outside_ip() {
    ip(20 + r.below(200), r.below(256), r.below(256), 1 + r.below(254));
  }
  void port() { num(1024 + r.below(60000)); }

  void header(int severity, const char* id) {
    line.clear();
    rare = common = rare_address = false;
    // Time moves on by a second every third line or so.
    if (r.below(3) == 0 && ++seconds == 24 * 3600) {
      seconds = 0;
      if (++day > month_days[month]) {
        day = 1;
        if (++month == 12) month = 0, ++year;
      }
    }
    line += '<', num(static_cast<std::uint64_t>(160 + severity)), line += '>';
    line += months[month], line += ' ', two(day), line += ' ';
    num(static_cast<std::uint64_t>(year)), line += ' ';
    two(static_cast<int>(seconds / 3600)), line += ':';
    two(static_cast<int>(seconds / 60 % 60)), line += ':';
    two(static_cast<int>(seconds % 60));
    line += ": %PIX-", num(static_cast<std::uint64_t>(severity));
    line += '-', line += id, line += ": ";
  }

  // A user for a line that names one, noting a planted one; about a
  // quarter of the time typed in upper case.
  std::string user(bool* planted) {
    std::string name;
    const std::uint32_t roll = r.below(1000000);
    if (roll < 350) {
      name = pix_rare_user, rare = *planted = true;
    } else if (roll < 35600) {
      name = pix_common_user, common = *planted = true;
    } else {
      name = users[r.below(static_cast<std::uint32_t>(users.size()))];
      *planted = false;
    }
    if (r.below(4) == 0)
      for (char& c : name) c = static_cast<char>(c - 'a' + 'A');
    return name;
  }

  void destination(bool frequent) {
    if (frequent || rare_address || r.below(100) < 85)
      line += r.pick(frequent_destinations);
    else
      outside_ip();
  }

  void url_path() {
    line += '/';
    const std::uint32_t depth = r.below(4);
    for (std::uint32_t i = 0; i < depth; ++i)
      line += r.pick(path_parts), line += '/';
    if (r.below(5) != 0) line += r.pick(page_names);
    if (r.below(10) < 3) line += r.pick(queries), num(r.below(100000));
    // Tracking URLs run on until the firewall cuts the line at 255 bytes.
    if (r.below(50) == 0) {
      line +=
          "&ndh=1&t=24/7/2005%208%3A11%3A33%203%20-120&ch=www.example.com"
          "/en-us/&server=www.example.com&eVarCFG=200-200-200--&c5=en-us"
          "%3Ad&pccr=true&purl=http%3A%2F%2Fwww.example.com%2Fen-us%2F";
      if (line.size() > 255) line.resize(255);
    }
  }

  void url_access() {
    header(5, "304001");
    bool planted = false;
    const std::uint32_t form = r.below(100);
    if (form < 40) {
      line += user(&planted), line += '@', inside_ip();
    } else if (form < 43) {
      inside_ip(), line += "(CORP\\", line += user(&planted), line += ')';
    } else {
      inside_ip();
    }
    line += r.below(50) == 0 ? " Accessed JAVA URL " : " Accessed URL ";
    destination(planted);
    line += ':';
    url_path();
  }

  void tcp_connection(bool built) {
    header(6, built ? "302013" : "302014");
    bool planted = false;
    const std::string who = r.below(4) == 0 ? user(&planted) : std::string();
    line +=
        built ? "Built outbound TCP connection " : "Teardown TCP connection ";
    num(connection++), line += " for outside:";
    const std::size_t at = line.size();
    destination(planted);
    const std::string dest = line.substr(at);
    line += r.below(5) == 0 ? "/443" : "/80";
    if (built) line += " (", line += dest, line += "/80)";
    line += " to inside:", inside_ip(), line += '/', port();
    if (built) {
      line += " (198.51.100.2/", port(), line += ')';
    } else {
      line += " duration 0:00:", two(static_cast<int>(r.below(60)));
      line += " bytes ", num(r.below(400000));
      line += r.below(10) == 0 ? " TCP Reset-O" : " TCP FINs";
    }
    if (!who.empty()) line += " (", line += who, line += ')';
  }

  void udp_connection(bool built) {
    header(6, built ? "302015" : "302016");
    line +=
        built ? "Built outbound UDP connection " : "Teardown UDP connection ";
    num(connection++), line += " for outside:192.0.2.53/53";
    if (built) line += " (192.0.2.53/53)";
    line += " to inside:", inside_ip(), line += '/', port();
    if (built)
      line += " (198.51.100.2/", port(), line += ')';
    else
      line += " duration 0:00:01 bytes ", num(60 + r.below(500));
  }

  void translation() {
    const bool built = r.below(3) != 0;
    header(6, built ? "305011" : "305012");
    line += built ? "Built dynamic " : "Teardown dynamic ";
    line += r.below(2) ? "TCP" : "UDP";
    line += " translation from inside:", inside_ip(), line += '/', port();
    line += " to outside:198.51.100.2/", port();
    if (!built) line += " duration 0:20:00";
  }

  void deny() {
    header(4, "106023");
    line += r.below(3) ? "Deny tcp src outside:" : "Deny udp src outside:";
    outside_ip(), line += '/', port();
    line += " dst dmz:10.0.0.", num(1 + r.below(200)), line += '/';
    num(r.below(2) ? 445 : 1434);
    line += " by access-group \"acl_outside\" [0x0, 0x0]";
  }

  void discarded() {
    header(7, "710005");
    line += "UDP request discarded from ", inside_ip();
    line += "/137 to inside:10.10.1.255/netbios-ns";
  }

  void no_connection() {
    header(6, "106015");
    line += "Deny TCP (no connection) from ", inside_ip(), line += '/', port();
    line += " to ", outside_ip(), line += "/80 flags RST on interface inside";
  }

  void access_list() {
    header(6, "106100");
    line += "access-list inside permitted tcp inside/", inside_ip();
    line += '(', port(), line += ") -> outside/", outside_ip();
    line += "(80) hit-cnt 1 first hit [0x62c4905, 0x0]";
  }

  void authentication() {
    bool planted = false;
    const std::uint32_t step = r.below(4);
    if (step == 0 || step == 1) {
      header(6, step == 0 ? "109001" : "109005");
      line += step == 0 ? "Auth start for user '"
                        : "Authentication succeeded for user '";
      line += user(&planted), line += "' from ", inside_ip();
      line += '/', port(), line += " to ", destination(true), line += "/80";
      if (step == 1) line += " on interface inside";
    } else if (step == 2) {
      header(2, "109011");
      line += "Authen Session Start: user '", line += user(&planted);
      line += "', sid ", num(r.below(5000));
    } else {
      header(5, "109012");
      line += "Authen Session End: user '", line += user(&planted);
      line += "', sid ", num(r.below(5000)), line += ", elapsed ";
      num(280 + r.below(3400)), line += " seconds";
    }
  }

  void other() {
    switch (r.below(4)) {
      case 0:
        header(6, "302010");
        num(10 + r.below(40)), line += " in use, 310 most used";
        break;
      case 1:
        header(4, "400011");
        line += "IDS:2001 ICMP unreachable from ", outside_ip();
        line += " to 198.51.100.2 on interface outside";
        break;
      case 2: {
        bool planted = false;
        header(6, "605005");
        line += "Login permitted from ", inside_ip(), line += '/', port();
        line += " to inside:10.10.1.1/telnet for user \"";
        line += user(&planted), line += '"';
        break;
      }
      default: {
        bool planted = false;
        header(5, "111008");
        line += "User '", line += user(&planted);
        line += "' executed the 'ping inside 2.2.2.2' command.";
      }
    }
  }

  // One line by the mix of kinds, in tenths of a percent.
  void next() {
    const std::uint32_t roll = r.below(1000);
    if (roll < 380) return url_access();
    if (roll < 480) return tcp_connection(true);
    if (roll < 580) return tcp_connection(false);
    if (roll < 640) return udp_connection(true);
    if (roll < 700) return udp_connection(false);
    if (roll < 760) return translation();
    if (roll < 820) return deny();
    if (roll < 860) return discarded();
    if (roll < 890) return no_connection();
    if (roll < 915) return access_list();
    if (roll < 975) return authentication();
    other();
  }
};

}  // anonymous namespace

pix_log_counts generate_pix_log(
    std::uint64_t size, const std::function<void(std::string_view)>& sink) {
  generator g;
  pix_log_counts counts;
  for (;;) {
    g.next();
    g.line += '\n';
    if (counts.bytes + g.line.size() > size) break;
    sink(g.line);
    counts.bytes += g.line.size();
    ++counts.lines;
    counts.rare_lines += g.rare ? 1 : 0;
    counts.rare_address_lines += g.rare_address ? 1 : 0;
    counts.common_lines += g.common ? 1 : 0;
  }
  return counts;
}
