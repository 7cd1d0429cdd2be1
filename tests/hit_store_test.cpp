#include "store/hit_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

std::string line_of(std::size_t tape, std::size_t i) {
  return std::to_string(tape) + ":" + std::to_string(i) +
         std::string(i % 300, 'x');
}

std::vector<std::string> replayed(hit_store& store, held_tape& tape,
                                  int* error) {
  std::vector<std::string> back;
  *error = replay_tape(
      store, tape,
      [&back](std::string_view line, std::int64_t n) {
        back.emplace_back(line);
        return n == static_cast<std::int64_t>(back.size());
      },
      [] { return false; });
  return back;
}

TEST(HitStore, ManyTapesShareOneBudgetAndComeBackInOrder) {
  hit_store store;
  store.budget = std::size_t{256} << 10;
  // Spilled into a folder named in any script.
  store.folder = platform_temporary_folder() + "/vantrel-Łódź-日誌";
  std::filesystem::create_directories(std::filesystem::u8path(store.folder));
  std::vector<held_tape*> tapes;
  for (std::size_t t = 0; t < 3000; ++t) {
    tapes.push_back(&new_tape(store));
    for (std::size_t i = 0; i < t % 40; ++i)
      hold_line(store, *tapes[t], line_of(t, i));
    seal_tape(store, *tapes[t]);
    ASSERT_LE(store.in_memory, store.budget + kChunkBytes) << t;
  }
  EXPECT_EQ(store.spill_error, 0);
  for (std::size_t t = 0; t < tapes.size(); ++t) {
    int error = -1;
    const std::vector<std::string> back = replayed(store, *tapes[t], &error);
    ASSERT_EQ(back.size(), t % 40);
    for (std::size_t i = 0; i < back.size(); ++i)
      ASSERT_EQ(back[i], line_of(t, i));
    EXPECT_EQ(error, 0);
  }
  EXPECT_EQ(store.in_memory, 0u);
}

// The file the store spills to, by name, so the test can take it away.
TEST(HitStore, FileThatStopsTakingOrLosesChunks) {
  const std::string path = testing::TempDir() + "hit_store_spill";
  for (const bool cut : {false, true}) {
    hit_store store;
    store.budget = 4 * kChunkBytes;
    store.file.reset(std::fopen(path.c_str(), "w+b"));
    held_tape& tape = new_tape(store);
    for (std::size_t i = 0; i < 2000; ++i)
      hold_line(store, tape, line_of(0, i));
    ASSERT_GT(store.slots, 0u);
    // Read-only: every further spill fails; truncated: what was spilled
    // is gone.
    store.file.reset(std::fopen(path.c_str(), cut ? "wb" : "rb"));
    if (cut) store.file.reset(std::fopen(path.c_str(), "rb"));
    for (std::size_t i = 2000; i < 4000; ++i)
      hold_line(store, tape, line_of(0, i));
    EXPECT_EQ(take_spill_failure(store), true) << cut;
    EXPECT_EQ(take_spill_failure(store), false) << cut;
    EXPECT_GT(store.in_memory, store.budget) << cut;
    int error = -1;
    const std::vector<std::string> back = replayed(store, tape, &error);
    EXPECT_EQ(back.size() == 4000, !cut);
    EXPECT_EQ(error != 0, cut);
    for (std::size_t i = 0; i < back.size(); ++i)
      ASSERT_EQ(back[i], line_of(0, i));
  }
  std::remove(path.c_str());
}

}  // namespace
