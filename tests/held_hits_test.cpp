#include "run/held_hits.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using hits = std::vector<std::pair<std::string, std::int64_t>>;

// Holds every line of log (as lines, or as where they lie in it) under a
// memory limit, and hands them back.
hits held_and_replayed(const std::string& log, bool by_offset,
                       std::size_t memory_limit, bool* spilled) {
  std::FILE* f = file_with(log);
  held_hits held;
  held.memory_limit = memory_limit;
  if (by_offset) held.log = f;
  std::size_t at = 0;
  for (const std::string& line : model_lines(log)) {
    hold_hit(held, line, log.find(line, at));
    at = log.find(line, at) + line.size();
  }
  *spilled = held.spill != nullptr;
  hits back;
  replay_hits(
      held,
      [&back](std::string_view line, std::int64_t n) {
        back.emplace_back(std::string(line), n);
        return true;
      },
      [] { return false; });
  EXPECT_EQ(held.error, 0);
  std::fclose(f);
  return back;
}

TEST(HeldHits, ComeBackInOrderFromMemoryOrTheTemporaryFile) {
  std::string log;
  hits want;
  for (int i = 1; i <= 300; ++i) {
    const std::string line = "hit " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 7), 'x');
    log += line + "\n";
    want.emplace_back(line, i);
  }
  log += "last, no LF";
  want.emplace_back("last, no LF", 301);
  for (bool by_offset : {false, true}) {
    for (std::size_t limit : {std::size_t{64} << 20, std::size_t{100}, std::size_t{0}}) {
      bool spilled = false;
      EXPECT_EQ(held_and_replayed(log, by_offset, limit, &spilled), want)
          << "by offset " << by_offset << ", limit " << limit;
      EXPECT_EQ(spilled, limit < log.size()) << limit;
    }
  }
}

TEST(HeldHits, ALogCutShortSinceItWasReadIsAnError) {
  std::FILE* f = file_with("abc\n");
  held_hits held;
  held.log = f;
  hold_hit(held, "abc", 0);
  hold_hit(held, "gone", 100);
  int seen = 0;
  replay_hits(held, [&seen](std::string_view, std::int64_t) { return ++seen > 0; },
              [] { return false; });
  EXPECT_EQ(seen, 1);
  EXPECT_NE(held.error, 0);
  std::fclose(f);
}

}  // namespace
