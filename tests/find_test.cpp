#include "search/find.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t npos = std::string_view::npos;

// std::string_view::find is the reference for every case below.
void expect_like_std(std::string_view text, std::string_view term,
                     std::size_t from = 0) {
  ASSERT_EQ(find_term(text, term, from), text.find(term, from))
      << "text size " << text.size() << ", term size " << term.size()
      << ", from " << from;
}

// Storage aligned to a vector, so that offsets 0..15 give every alignment.
alignas(64) char storage[512];

std::string_view placed(std::size_t offset, std::string_view bytes) {
  std::memcpy(storage + offset, bytes.data(), bytes.size());
  return std::string_view(storage + offset, bytes.size());
}

TEST(FindTerm, EveryAlignmentLengthAndPosition) {
  // The filler is made of the term's first and last bytes, so the filter
  // passes many candidates that memcmp must turn down.
  for (std::size_t n : {1u, 2u, 3u, 4u, 15u, 16u, 17u, 31u, 33u}) {
    std::string term(n, 'm');
    term.front() = 'a';
    term.back() = 'z';
    if (n == 1) term = "a";
    for (std::size_t offset = 0; offset < 16; ++offset) {
      for (std::size_t size = 0; size <= 70; ++size) {
        std::string text(size, 'a');
        for (std::size_t i = 1; i < size; i += 3) text[i] = 'z';
        expect_like_std(placed(offset, text), term);
        for (std::size_t at = 0; at + n <= size; ++at) {
          std::string with = text;
          with.replace(at, n, term);
          expect_like_std(placed(offset, with), term);
        }
      }
    }
  }
}

TEST(FindTerm, FirstAndLastBytesWithoutTheMiddle) {
  // Every 16-byte lane holds a candidate, only the last start is real.
  std::string text;
  for (int i = 0; i < 40; ++i) text += "abXd";
  EXPECT_EQ(find_term(text, "abcd", 0), npos);
  text += "abcd";
  EXPECT_EQ(find_term(text, "abcd", 0), text.size() - 4);
  // Candidates that differ from the term in one inner byte only.
  const std::string near = std::string(40, 'x') + "Q12346Z Q02345Z Q12X45Z";
  EXPECT_EQ(find_term(near, "Q12345Z", 0), npos);
}

TEST(FindTerm, ShortTermsAndShortTexts) {
  for (std::string_view text : {"", "a", "ab", "ba", "aab", "abababababab",
                                "fifteen bytes!!", "sixteen bytes!!!"}) {
    for (std::string_view term :
         {"a", "b", "!", "ab", "ba", "aa", "bb", "!!"}) {
      for (std::size_t from = 0; from <= text.size() + 1; ++from)
        expect_like_std(text, term, from);
    }
  }
}

TEST(FindTerm, HitsAtTheVeryEnd) {
  for (std::size_t size = 2; size <= 100; ++size) {
    std::string text(size - 2, '.');
    text += "xy";
    EXPECT_EQ(find_term(text, "xy", 0), size - 2);
    EXPECT_EQ(find_term(text, "y", 0), size - 1);
    EXPECT_EQ(find_term(text, "xy", size - 2), size - 2);
    EXPECT_EQ(find_term(text, "xy", size - 1), npos);
  }
}

TEST(FindTerm, NeverLooksOutsideTheText) {
  // The bytes around the view would complete the term; they are not the text.
  for (std::size_t size = 3; size <= 60; ++size) {
    std::string bytes(size - 3, '-');
    bytes += "TERM-";
    const std::string_view text(bytes.data(), size);  // ends in "TER"
    EXPECT_EQ(find_term(text, "TERM", 0), npos) << size;
    EXPECT_EQ(find_term(text, "TER", 0), size - 3) << size;
  }
  for (std::size_t size = 0; size <= 40; ++size) {
    const std::string bytes = "TERM" + std::string(size, '-');
    for (std::size_t cut = 1; cut < 4; ++cut) {
      const std::string_view text(bytes.data() + cut, bytes.size() - cut);
      EXPECT_EQ(find_term(text, "TERM", 0), npos) << size << " " << cut;
    }
    EXPECT_EQ(find_term(bytes, "TERM", 1), npos) << size;
  }
}

TEST(FindTerm, HighBytesAndNulAreOrdinary) {
  const std::string term("\x80\0\xff", 3);
  std::string text(40, '\0');
  EXPECT_EQ(find_term(text, term, 0), npos);
  text[5] = '\x80';
  text[7] = '\xff';  // first and last bytes right, middle NUL right: a hit
  EXPECT_EQ(find_term(text, term, 0), 5u);
  text.replace(30, 3, term);
  EXPECT_EQ(find_term(text, term, 6), 30u);
  EXPECT_EQ(find_term(text, std::string_view("\0", 1), 0), 0u);
  EXPECT_EQ(find_term("\x7f\x80\x81", "\x81", 0), 2u);
  expect_like_std(std::string(33, '\xff') + "\xfe", "\xff\xfe");
}

TEST(FindTerm, EmptyTermAndStartPastTheEnd) {
  EXPECT_EQ(find_term("abc", "", 0), 0u);
  EXPECT_EQ(find_term("abc", "", 3), 3u);
  EXPECT_EQ(find_term("abc", "", 4), npos);
  EXPECT_EQ(find_term("abc", "c", 4), npos);
  EXPECT_EQ(find_term("", "", 0), 0u);
  EXPECT_EQ(find_term("abc", "abcd", 0), npos);
}

TEST(FindTerm, AgreesWithStdOnRandomTexts) {
  // A three-letter alphabet makes partial matches and overlaps common.
  std::mt19937 rng(20061205);
  std::uniform_int_distribution<int> letter(0, 2);
  for (int round = 0; round < 3000; ++round) {
    std::string text(static_cast<std::size_t>(rng() % 200), ' ');
    for (char& c : text) c = static_cast<char>('a' + letter(rng));
    std::string term(1 + rng() % 6, ' ');
    for (char& c : term) c = static_cast<char>('a' + letter(rng));
    const std::size_t from = text.empty() ? 0 : rng() % text.size();
    expect_like_std(text, term, from);
  }
}

}  // namespace
