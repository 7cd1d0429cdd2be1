#include "output/name_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "report/report.h"
#include "output/host.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// A destination the tests name, and how long its lookup takes.
struct destination {
  const char* address;
  const char* name;  // null: no such name
  std::chrono::milliseconds delay;
};

// The first named slowest, so names arrive in the reverse of log order.
const std::vector<destination> kDestinations = {
    {"203.0.113.80", "www.example.com", 120ms},
    {"198.51.100.23", "news.tst", 60ms},
    {"192.0.2.200", nullptr, 30ms},
    {"10.0.0.1", "db.example", 0ms},
};

std::uint32_t parsed(const char* text) {
  std::uint32_t address = 0;
  EXPECT_TRUE(platform_parse_ipv4(text, &address)) << text;
  return address;
}

name_answer table_answer(const ip_address& address, std::string* name,
                         bool delayed = true) {
  for (const destination& d : kDestinations) {
    if (parsed(d.address) != address) continue;
    if (delayed) std::this_thread::sleep_for(d.delay);
    if (d.name == nullptr) return name_answer::no_such_name;
    *name = d.name;
    return name_answer::named;
  }
  return name_answer::no_such_name;
}

std::string url_line(int n, const char* address) {
  return "Mar 02 " + std::to_string(n) + " 10.20.1.15 Accessed URL " +
         address + ":/p" + std::to_string(n);
}

// What writing each line in turn, looking it up there and then, gives.
std::string serial_report(const std::vector<std::string>& lines,
                          std::int32_t trim) {
  std::FILE* report = std::tmpfile();
  for (std::string line : lines) {
    substitute_host(line, trim, [](const ip_address& a, std::string* name) {
      return table_answer(a, name, false) == name_answer::named;
    });
    write_result(report, line);
  }
  std::string written = contents_of(report);
  std::fclose(report);
  return written;
}

std::string piped_report(const std::vector<std::string>& lines,
                         std::int32_t trim, queue_limits limits) {
  std::FILE* report = std::tmpfile();
  {
    name_pipeline pipeline(
        report, trim,
        [](const ip_address& a, std::string* n) { return table_answer(a, n); },
        {}, limits);
    for (std::string line : lines) queue_hit(pipeline, line);
    drain_hits(pipeline);
  }
  std::string written = contents_of(report);
  std::fclose(report);
  return written;
}

TEST(NamePipeline, ReportIsInLogOrderWhateverOrderNamesArriveIn) {
  std::vector<std::string> lines;
  for (int round = 0; round < 3; ++round) {
    for (const destination& d : kDestinations)
      lines.push_back(url_line(static_cast<int>(lines.size()), d.address));
    lines.push_back("no address & no slash");
    lines.push_back("from 10.0.0.1/3302 to 203.0.113.80/80");
  }
  lines.push_back("10.0.0.1 to 10.0.0.1 Accessed URL 10.0.0.1:/x");
  struct row {
    std::int32_t trim;
    queue_limits limits;
  };
  const std::vector<row> rows = {
      {1, {}},
      {2, {}},
      {1, {2, 1 << 20}},  // the search often waits on a full queue
      {2, {100, 60}},     // and here on the bytes
      {2, {1, 1}},        // each line written before the next is taken
  };
  for (const row& r : rows)
    EXPECT_EQ(piped_report(lines, r.trim, r.limits),
              serial_report(lines, r.trim))
        << "trim " << r.trim << ", at most " << r.limits.lines << " lines, "
        << r.limits.bytes << " bytes";
}

// A lookup that holds until the gate opens, then names the address.
name_source held_by(std::shared_ptr<gate> held) {
  return [held](const ip_address&, std::string* name) {
    held->pass();
    *name = "late.example";
    return name_answer::named;
  };
}

TEST(NamePipeline, FullQueueHoldsTheSearchUntilTheFirstLineIsNamed) {
  auto held = std::make_shared<gate>();
  auto waiting = std::make_shared<gate>();  // asked whether to stop: waits
  std::FILE* report = std::tmpfile();
  {
    name_pipeline pipeline(report, 1, held_by(held), {},
                           queue_limits{2, 1 << 20}, [waiting] {
                             waiting->pass(false);
                             return false;
                           });
    std::string first = url_line(1, "203.0.113.80");
    std::string second = "no address";
    queue_hit(pipeline, first);
    queue_hit(pipeline, second);
    std::atomic<bool> taken{false};
    std::thread search([&] {
      std::string third = "no address either";
      queue_hit(pipeline, third);
      taken = true;
      waiting->pass(false);
    });
    waiting->await_entered(1);
    EXPECT_FALSE(taken);
    EXPECT_EQ(contents_of(report), "");
    held->open();
    search.join();
    drain_hits(pipeline);
  }
  EXPECT_EQ(contents_of(report),
            "<br>Mar 02 1 10.20.1.15 Accessed URL late.example\r\n"
            "<br>no address\r\n<br>no address either\r\n");
  EXPECT_EQ(held->entered, 1);
  std::fclose(report);
}

TEST(NamePipeline, StopWritesEveryWaitingLineWithTheNamesFoundSoFar) {
  auto held = std::make_shared<gate>();
  std::atomic<bool> stop{false};
  std::FILE* report = std::tmpfile();
  {
    name_pipeline pipeline(
        report, 2,
        [held](const ip_address& a, std::string* n) {
          if (a == parsed("10.0.0.1")) return table_answer(a, n);
          return held_by(held)(a, n);
        },
        {}, {}, [&stop] { return stop.load(); });
    for (const char* address : {"10.0.0.1", "203.0.113.80", "10.0.0.1"}) {
      std::string line = url_line(0, address);
      queue_hit(pipeline, line);
    }
    // Stopped once one name is known and the other is being looked up.
    pipeline.names.await(parsed("10.0.0.1"), nullptr);
    held->await_entered(1);
    stop = true;
    drain_hits(pipeline);
  }
  held->open();
  EXPECT_EQ(contents_of(report),
            "<br>Mar 02 0 10.20.1.15 Accessed URL db.example:/p0\r\n"
            "<br>Mar 02 0 10.20.1.15 Accessed URL 203.0.113.80:/p0\r\n"
            "<br>Mar 02 0 10.20.1.15 Accessed URL db.example:/p0\r\n");
  std::fclose(report);
}

}  // namespace
