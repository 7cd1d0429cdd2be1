#include "names/name_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// 0-5 are IPv4, 6-11 IPv6 of the same bytes: keys of their own all the same.
ip_address nth(std::uint32_t a) {
  ip_address address(a % 6);
  address.v6 = a >= 6;
  return address;
}

TEST(NameCache, EachAddressIsAskedOnceAndEveryAnswerKept) {
  struct row {
    name_answer answer;
    name_state kept;
  };
  const std::vector<row> rows = {
      {name_answer::named, name_state::named},
      {name_answer::no_such_name, name_state::unnamed},
      {name_answer::try_again, name_state::unnamed},
      {name_answer::failed, name_state::unnamed},
  };
  auto asked = std::make_shared<std::map<std::uint32_t, int>>();
  auto lock = std::make_shared<std::mutex>();
  name_cache cache([=](const ip_address& at, std::string* name) {
    const std::uint32_t address = number(at) + (at.v6 ? 6 : 0);
    {
      std::lock_guard<std::mutex> hold(*lock);
      ++(*asked)[address];
    }
    std::this_thread::sleep_for(20ms);
    *name = "h" + std::to_string(address);
    return rows[address % rows.size()].answer;
  });
  // Asked again while in flight, and again once known.
  for (int round = 0; round < 3; ++round)
    for (std::uint32_t a = 0; a < 12; ++a) cache.ask(nth(a));
  for (std::uint32_t a = 0; a < 12; ++a) {
    EXPECT_EQ(cache.await(nth(a), nullptr), rows[a % rows.size()].kept) << a;
    cache.ask(nth(a));
  }
  for (std::uint32_t a = 0; a < 12; ++a) {
    std::string name = "untouched";
    EXPECT_EQ(cache.peek(nth(a), &name), rows[a % rows.size()].kept);
    EXPECT_EQ(name, rows[a % rows.size()].kept == name_state::named
                        ? "h" + std::to_string(a)
                        : "untouched");
  }
  EXPECT_EQ(cache.peek(99, nullptr), name_state::unasked);
  std::lock_guard<std::mutex> hold(*lock);
  for (const auto& [address, count] : *asked) EXPECT_EQ(count, 1) << address;
  EXPECT_EQ(asked->size(), 12u);
}

TEST(NameCache, EightLookupsRunAtOnceAndNoWorkerUntilAsked) {
  // Every lookup holds until let go, so the pool fills and stays full.
  auto held = std::make_shared<gate>();
  name_cache cache([held](const ip_address&, std::string* name) {
    held->pass();
    *name = "n";
    return name_answer::named;
  });
  EXPECT_EQ(cache.workers(), 0u);
  for (std::uint32_t a = 0; a < 24; ++a) cache.ask(a);
  EXPECT_EQ(held->await_entered(8), 8) << "not eight lookups at once";
  EXPECT_EQ(cache.workers(), 8u);
  held->open();
  for (std::uint32_t a = 0; a < 24; ++a)
    EXPECT_EQ(cache.await(a, nullptr), name_state::named);
  EXPECT_EQ(cache.workers(), 8u);
}

// The clock lookups are timed by: a slow lookup moves it on, so a quick one
// on a loaded machine is never taken for a silent server.
std::atomic<std::int64_t> test_clock_ms{0};

std::chrono::steady_clock::time_point test_now() {
  return std::chrono::steady_clock::time_point(
      std::chrono::milliseconds(test_clock_ms.load()));
}

name_rules test_rules() {
  name_rules rules;
  rules.silent_after = 30ms;
  rules.now = test_now;
  return rules;
}

// Answers in the order given, one lookup at a time: `s` a temporary failure
// slow enough to count as unanswered, `q` one that came back at once,
// `n` a name, `x` no such name, `f` another failure (slow).
bool given_up_after(const std::string& answers) {
  name_cache cache(
      [answers](const ip_address& address, std::string*) {
        const char answer = answers[number(address)];
        if (answer == 's' || answer == 'f') test_clock_ms += 40;
        switch (answer) {
          case 'n': return name_answer::named;
          case 'x': return name_answer::no_such_name;
          case 'f': return name_answer::failed;
          default: return name_answer::try_again;
        }
      },
      test_rules());
  for (std::uint32_t a = 0; a < answers.size(); ++a) {
    cache.ask(a);
    cache.await(a, nullptr);
  }
  return cache.given_up();
}

TEST(NameCache, SilentServerIsGivenUpOnAfterFourUnansweredInARow) {
  const std::vector<std::pair<std::string, bool>> rows = {
      {"ssss", true},
      {"sss", false},
      {"sssnsss", false},   // a name in between
      {"sssxsss", false},   // so is a definite no
      {"sssxssss", true},
      {"qqqqqqqqqqqqqqqq", false},  // no network: costs nothing
      {"sqsqsqs", true},    // and is no answer either
      {"sssfs", true},      // other failures neither count nor answer
      {"sssf", false},
  };
  for (const auto& [answers, given_up] : rows)
    EXPECT_EQ(given_up_after(answers), given_up) << answers;
}

TEST(NameCache, GivingUpSettlesEveryAddressNotYetKnown) {
  // Lookups still held when the server is given up on would name their
  // addresses, were they waited for.
  auto held = std::make_shared<gate>();
  auto asked = std::make_shared<std::atomic<int>>(0);
  auto late = std::make_shared<std::atomic<int>>(0);
  auto cache = std::make_unique<name_cache>(
      [=](const ip_address& at, std::string* name) {
        const std::uint32_t address = number(at);
        ++*asked;
        *name = address == 1 ? "early" : "late";
        if (address == 1) return name_answer::named;
        if (address < 100) {
          test_clock_ms += 40;  // a silent server's time-out
          return name_answer::try_again;
        }
        held->pass();
        ++*late;
        return name_answer::named;
      },
      test_rules());
  cache->ask(1);
  cache->await(1, nullptr);
  for (std::uint32_t a = 100; a < 103; ++a) cache->ask(a);
  ASSERT_EQ(held->await_entered(3), 3);
  for (std::uint32_t a = 10; a < 14; ++a) cache->ask(a);
  for (std::uint32_t a = 10; a < 14; ++a) cache->await(a, nullptr);
  for (std::uint32_t a = 100; a < 103; ++a)
    EXPECT_EQ(cache->await(a, nullptr), name_state::unnamed) << a;
  EXPECT_TRUE(cache->given_up());
  // Known names stay; nothing more is asked.
  std::string name;
  EXPECT_EQ(cache->peek(1, &name), name_state::named);
  EXPECT_EQ(name, "early");
  const int before = *asked;
  cache->ask(200);
  EXPECT_EQ(cache->peek(200, nullptr), name_state::unnamed);
  EXPECT_EQ(*asked, before);
  // The lookups still held are not waited for.
  cache.reset();
  EXPECT_EQ(*late, 0);
  held->open();
}

}  // namespace
