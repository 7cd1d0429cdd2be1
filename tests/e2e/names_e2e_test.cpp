// Host names over real DNS, from a name server in the run's own network
// namespace: dnsmasq, or ptr_responder.py for a server that is slow or
// silent. Nothing leaves the machine.

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "e2e_support.h"

namespace {

const std::string kClient = "10.20.1.15";

struct destination {
  std::string address;
  std::string name;  // empty: no name
};

// `count` destinations, two of every three named, one of every four IPv6.
std::vector<destination> destinations(int count) {
  std::vector<destination> all;
  for (int i = 0; i < count; ++i) {
    const std::string address = i % 4 == 3 ? "2001:db8::" + std::to_string(i) :
        "198.18." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1);
    all.push_back({address, i % 3 == 2 ? "" : "host" + std::to_string(i) +
                                                  ".example.test"});
  }
  return all;
}

// The destination of the n-th URL line: round the destinations in a
// scrambled order, so each is met several times and far apart.
const destination& nth(const std::vector<destination>& to, std::size_t n) {
  return to[(n * 7) % to.size()];
}

std::vector<std::string> url_lines(const std::vector<destination>& to,
                                   std::size_t lines) {
  std::vector<std::string> log;
  for (std::size_t n = 0; n < lines; ++n) {
    const destination& d = nth(to, n);
    log.push_back("<165>Mar 02 2006 09:00:01: %PIX-5-304001: " + kClient +
                  " Accessed URL " + d.address + ":/page" +
                  std::to_string(n) + ".html");
  }
  return log;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// What a run writes for those lines, trimmed, in both passes: every line
// holds the client's address, which has no letters.
std::string expected_report(const std::vector<destination>& to,
                            std::size_t lines) {
  std::string results;
  for (std::size_t n = 0; n < lines; ++n) {
    const destination& d = nth(to, n);
    results += result("Mar 02 2006 09:00:01: " + kClient + " Accessed URL " +
                      (d.name.empty() ? d.address : d.name));
  }
  return head(kClient, "pix.log") + results + lower_heading() + results +
         foot();
}

std::string write_table(const std::string& path,
                        const std::vector<destination>& to) {
  std::ofstream table(path);
  for (const destination& d : to)
    if (!d.name.empty()) table << d.address << "\t" << d.name << "\n";
  return path;
}

struct table_file {
  std::string path;
  explicit table_file(const std::vector<destination>& to) {
    char tmpl[] = "/tmp/vantrel-names-XXXXXX";
    path = mkdtemp(tmpl);
    write_table(path + "/names", to);
    std::ofstream(path + "/empty");
  }
  ~table_file() { std::filesystem::remove_all(path); }
  std::string names() const { return path + "/names"; }
  std::string empty() const { return path + "/empty"; }
};

e2e_run search_client(const std::vector<std::string>& log) {
  e2e_run run;
  run.args = {"-t", "1", "-s", kClient, "-f", "pix.log"};
  run.files = {{"pix.log", joined(log)}};
  run.input = "\n";
  return run;
}

std::vector<std::string> responder(const std::string& table,
                                   const std::string& delay) {
  return {"python3", e2e_data("ptr_responder.py"), table, delay};
}

// How often each reverse name was asked, from a server log's lines that
// hold "<marker>NAME".
std::map<std::string, int> queries(const std::string& log,
                                   const std::string& marker) {
  std::map<std::string, int> asked;
  for (std::size_t at = log.find(marker); at != std::string::npos;
       at = log.find(marker, at + 1)) {
    const std::size_t start = at + marker.size();
    std::size_t end = start;
    while (end < log.size() && (std::isxdigit(static_cast<unsigned char>(log[end])) ||
                                log[end] == '.'))
      ++end;
    // The hex digits and dots run on into the suffix's first dot.
    for (const std::string suffix : {".in-addr.arpa", ".ip6.arpa"})
      if (end > start && log.compare(end - 1, suffix.size(), suffix) == 0)
        ++asked[log.substr(start, end - 1 - start) + suffix];
  }
  return asked;
}

const std::string kGivenUp =
    "vantrel: the name server is not answering; addresses not yet named are "
    "left as they are\n";

TEST(DnsNames, ReportIsTheOneTheHostsFileGivesAndEachAddressIsAskedOnce) {
  const std::string dnsmasq = installed("dnsmasq");
  if (dnsmasq.empty() && std::getenv("CI") != nullptr)
    FAIL() << "dnsmasq is not installed (dnsmasq-base)";
  if (dnsmasq.empty()) GTEST_SKIP() << "dnsmasq is not installed (dnsmasq-base)";
  const std::vector<destination> to = destinations(30);
  const table_file table(to);
  e2e_run from_file = search_client(url_lines(to, 120));
  from_file.hosts = table.names();
  e2e_run over_dns = search_client(url_lines(to, 120));
  over_dns.hosts = table.empty();
  over_dns.name_server = {
      dnsmasq, "--no-daemon", "--no-resolv", "--no-hosts",
      "--addn-hosts=" + table.names(), "--local=/in-addr.arpa/",
      "--local=/ip6.arpa/",
      "--bind-interfaces", "--listen-address=127.0.0.1", "--port=53",
      "--user=root", "--pid-file=", "--log-queries", "--log-facility=-"};
  const e2e_result file_run = run_vantrel(from_file);
  const e2e_result dns_run = run_vantrel(over_dns);
  EXPECT_EQ(file_run.report, expected_report(to, 120));
  EXPECT_EQ(dns_run.report, file_run.report);
  EXPECT_EQ(dns_run.out, file_run.out);
  EXPECT_EQ(dns_run.err, "");
  const std::map<std::string, int> asked =
      queries(dns_run.server_log, "query[PTR] ");
  EXPECT_EQ(asked.size(), to.size()) << dns_run.server_log;
  for (const auto& [name, times] : asked) EXPECT_EQ(times, 1) << name;
}

TEST(NameServer, EightLookupsAtOnceAndTheReportInLogOrder) {
  // The server answers only when eight names are waiting: a run asking
  // fewer at a time gets no name and gives the server up.
  const std::vector<destination> to = destinations(24);
  const table_file table(to);
  e2e_run run = search_client(url_lines(to, 96));
  run.hosts = table.empty();
  run.name_server = responder(table.names(), "together:8");
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.report, expected_report(to, 96));
  EXPECT_EQ(r.err, "");
  const std::map<std::string, int> asked = queries(r.server_log, "PTR ");
  EXPECT_EQ(asked.size(), to.size());
  for (const auto& [name, times] : asked) EXPECT_EQ(times, 1) << name;
}

TEST(NameServer, SilentServerIsGivenUpOnAndAskedNoMore) {
  const std::vector<destination> to = destinations(300);
  const table_file table(to);
  e2e_run run = search_client(url_lines(to, 300));
  run.hosts = table.empty();
  run.name_server = responder(table.names(), "never");
  run.resolver_options = "timeout:1 attempts:1";
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  std::vector<destination> as_they_stand = to;
  for (destination& d : as_they_stand) d.name.clear();
  EXPECT_EQ(r.report, expected_report(as_they_stand, 300));
  EXPECT_EQ(r.err, kGivenUp);
  // The first workers' lookups and what they took up before the fourth
  // came back; not three hundred.
  int asked = 0;
  for (const auto& [name, times] : queries(r.server_log, "PTR ")) asked += times;
  EXPECT_LE(asked, 16);
}

TEST(NameServer, StopWhileWaitingForNamesWritesEveryAnnouncedHitAtOnce) {
  // Names that come only after 20 s: a run that waited for them would
  // write them.
  const std::vector<destination> to = destinations(40);
  const table_file table(to);
  // The first line names no destination, so it is written at once: the
  // signal goes once it is in the report, with hits surely announced.
  const std::string first = "Mar 02 2006 09:00:00: " + kClient + " logged in";
  std::vector<std::string> log = url_lines(to, 200);
  log.insert(log.begin(), first);
  for (int sig : {SIGINT, SIGTERM}) {
    e2e_run run = search_client(log);
    run.hosts = table.empty();
    run.name_server = responder(table.names(), "20");
    run.resolver_options = "timeout:30 attempts:1";
    run.wait_for_viewer = false;
    run.stop_signal = sig;
    run.stop_after = (head(kClient, "pix.log") + result(first)).size();
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, 128 + sig);
    // Each hit announced is in the report, whole, its address as it stood.
    std::string results = result(first);
    for (std::size_t n = 1; n < log.size(); ++n) {
      if (r.out.find(found(static_cast<int>(n + 1))) == std::string::npos)
        break;
      const destination& d = nth(to, n - 1);
      results += result("Mar 02 2006 09:00:01: " + kClient +
                        " Accessed URL " + d.address);
    }
    EXPECT_EQ(r.report.substr(0, head(kClient, "pix.log").size() +
                                     results.size()),
              head(kClient, "pix.log") + results);
  }
}

}  // namespace
