#include "search/fold.h"

#include <gtest/gtest.h>

namespace {

TEST(Fold, OnlyAsciiLettersChange) {
  std::string text("UserId1.192.168.0.1-[z]@`{\x80\xC4\xE4", 27);
  std::string upper = text;
  EXPECT_EQ(lower_upper(upper), 0);
  EXPECT_EQ(upper, std::string("USERID1.192.168.0.1-[Z]@`{\x80\xC4\xE4", 27));
  std::string lower = text;
  EXPECT_EQ(upper_lower(lower), 0);
  EXPECT_EQ(lower, std::string("userid1.192.168.0.1-[z]@`{\x80\xC4\xE4", 27));
}

TEST(Fold, FoldingTwiceChangesNothingMore) {
  std::string text = "MixedCase";
  lower_upper(text);
  lower_upper(text);
  EXPECT_EQ(text, "MIXEDCASE");
  upper_lower(text);
  EXPECT_EQ(text, "mixedcase");
}

TEST(Fold, BytesAfterNulFoldToo) {
  std::string text("a\0b", 3);
  lower_upper(text);
  EXPECT_EQ(text, std::string("A\0B", 3));
}

}  // namespace
