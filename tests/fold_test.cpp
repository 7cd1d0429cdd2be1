#include "search/fold.h"

#include <gtest/gtest.h>

namespace {

TEST(Fold, OnlyAsciiLettersChangeAndFoldingTwiceChangesNothingMore) {
  // Bytes after a NUL fold too.
  const std::string text("UserId1.192.168.0.1-[z]@`{\x80\xC4\xE4\0b", 29);
  const std::string upper("USERID1.192.168.0.1-[Z]@`{\x80\xC4\xE4\0B", 29);
  const std::string lower("userid1.192.168.0.1-[z]@`{\x80\xC4\xE4\0b", 29);
  std::string folded = text;
  EXPECT_EQ(lower_upper(folded), 0);
  EXPECT_EQ(folded, upper);
  lower_upper(folded);
  EXPECT_EQ(folded, upper);
  folded = text;
  EXPECT_EQ(upper_lower(folded), 0);
  EXPECT_EQ(folded, lower);
}

}  // namespace
