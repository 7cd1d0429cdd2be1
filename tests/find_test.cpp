#include "search/find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr char kMark = '\x1a';

// The first of the term or the mark, by std::string_view::find.
std::size_t std_term_or_mark(std::string_view text, std::string_view term,
                             std::size_t from) {
  const std::size_t hit = text.find(term, from);
  if (term.empty()) return hit;
  return std::min(hit, text.find(kMark, from));
}

// std::string_view::find is the reference for every case below. With no
// mark in the text, find_term_or_mark must agree with find_term.
void expect_like_std(std::string_view text, std::string_view term,
                     std::size_t from = 0) {
  ASSERT_EQ(find_term(text, term, from), text.find(term, from))
      << "text size " << text.size() << ", term size " << term.size()
      << ", from " << from;
  if (term.find(kMark) != std::string_view::npos) return;
  ASSERT_EQ(find_term_or_mark(text, term, from, kMark),
            std_term_or_mark(text, term, from))
      << "with the mark: text size " << text.size() << ", term size "
      << term.size() << ", from " << from;
  // The term and its letters in the other case, in one scan: the first of
  // either, or the mark.
  std::string twin(term);
  for (char& c : twin)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c ^= 0x20;
  if (!are_case_twins(term, twin)) return;
  ASSERT_EQ(find_twins_or_mark(text, term, twin, from, kMark),
            std::min(std_term_or_mark(text, term, from),
                     std_term_or_mark(text, twin, from)))
      << "with the twin: text size " << text.size() << ", term size "
      << term.size() << ", from " << from;
}

// Every case runs with 16-byte vectors and, where the processor has them,
// with 32-byte ones.
class FindTerm : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (use_wide_vectors(GetParam()) != GetParam())
      GTEST_SKIP() << "no 32-byte vectors on this processor";
  }
  void TearDown() override { use_wide_vectors(true); }
};

// Storage aligned to a vector, so that offsets 0..15 give every alignment.
alignas(64) char storage[512];

std::string_view placed(std::size_t offset, std::string_view bytes) {
  std::memcpy(storage + offset, bytes.data(), bytes.size());
  return std::string_view(storage + offset, bytes.size());
}

TEST_P(FindTerm, EveryAlignmentLengthAndPosition) {
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

TEST_P(FindTerm, HitOrMarkBeforeTheFirstWholeCacheLine) {
  // With 32-byte vectors the starts before the text's first 64-byte
  // boundary are searched on their own, in steps that overlap; a hit or a
  // mark in them, or just past the boundary, must come out first from every
  // alignment and start, at either width.
  const std::string_view term = "amz";
  std::string text(180, 'a');
  for (std::size_t i = 1; i < text.size(); i += 3) text[i] = 'z';
  for (std::size_t offset = 0; offset < 64; ++offset) {
    for (std::size_t at = 0; at < 100; ++at) {
      std::string with = text;
      with.replace(at, term.size(), term);
      std::string marked = text;
      marked[at] = kMark;
      for (std::size_t from : {0u, 1u, 15u, 16u, 17u, 47u, 63u}) {
        expect_like_std(placed(offset, with), term, from);
        expect_like_std(placed(offset, marked), term, from);
      }
    }
  }
}

TEST_P(FindTerm, FirstAndLastBytesWithoutTheMiddle) {
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

TEST_P(FindTerm, ShortTermsAndShortTexts) {
  for (std::string_view text : {"", "a", "ab", "ba", "aab", "abababababab",
                                "fifteen bytes!!", "sixteen bytes!!!"}) {
    for (std::string_view term :
         {"a", "b", "!", "ab", "ba", "aa", "bb", "!!"}) {
      for (std::size_t from = 0; from <= text.size() + 1; ++from)
        expect_like_std(text, term, from);
    }
  }
}

TEST_P(FindTerm, HitsAtTheVeryEnd) {
  for (std::size_t size = 2; size <= 100; ++size) {
    std::string text(size - 2, '.');
    text += "xy";
    EXPECT_EQ(find_term(text, "xy", 0), size - 2);
    EXPECT_EQ(find_term(text, "y", 0), size - 1);
    EXPECT_EQ(find_term(text, "xy", size - 2), size - 2);
    EXPECT_EQ(find_term(text, "xy", size - 1), npos);
  }
}

TEST_P(FindTerm, NeverLooksOutsideTheText) {
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

TEST_P(FindTerm, HighBytesAndNulAreOrdinary) {
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

TEST_P(FindTerm, EmptyTermAndStartPastTheEnd) {
  EXPECT_EQ(find_term("abc", "", 0), 0u);
  EXPECT_EQ(find_term("abc", "", 3), 3u);
  EXPECT_EQ(find_term("abc", "", 4), npos);
  EXPECT_EQ(find_term("abc", "c", 4), npos);
  EXPECT_EQ(find_term("", "", 0), 0u);
  EXPECT_EQ(find_term("abc", "abcd", 0), npos);
}

TEST_P(FindTerm, AgreesWithStdOnRandomTexts) {
  // A three-letter alphabet makes partial matches and overlaps common.
  std::mt19937 rng(20061205);
  std::uniform_int_distribution<int> letter(0, 2);
  for (int round = 0; round < 3000; ++round) {
    std::string text(static_cast<std::size_t>(rng() % 200), ' ');
    for (char& c : text) c = static_cast<char>('a' + letter(rng));
    if (round % 4 == 0 && !text.empty()) text[rng() % text.size()] = kMark;
    std::string term(1 + rng() % 6, ' ');
    for (char& c : term) c = static_cast<char>('a' + letter(rng));
    const std::size_t from = text.empty() ? 0 : rng() % text.size();
    expect_like_std(text, term, from);
  }
}

TEST_P(FindTerm, MarkEndsTheSearchWhereverItIs) {
  // The mark before, inside the span of, and after a hit; near the end,
  // where no hit can start; at every alignment.
  for (std::string_view term : {"a", "az", "amz", "10.10.9.77",
                                "a123456789abcdefz"}) {
    for (std::size_t offset = 0; offset < 16; offset += 5) {
      for (std::size_t size = 1; size <= 150; size += 7) {
        std::string text(size, 'a');
        for (std::size_t i = 1; i < size; i += 3) text[i] = 'z';
        if (size >= term.size() + 3) text.replace(size / 2, term.size(), term);
        for (std::size_t at = 0; at < size; ++at) {
          std::string with = text;
          with[at] = kMark;
          for (std::size_t from : {std::size_t{0}, at, size / 3})
            expect_like_std(placed(offset, with), term, from);
        }
      }
    }
  }
}

TEST_P(FindTerm, MarkPastTheTextIsNotSeen) {
  for (std::size_t size = 0; size <= 80; ++size) {
    std::string bytes(size, '-');
    bytes += kMark;
    const std::string_view text(bytes.data(), size);
    EXPECT_EQ(find_term_or_mark(text, "TERM", 0, kMark), npos) << size;
    EXPECT_EQ(find_term_or_mark(text, "T", 0, kMark), npos) << size;
  }
  EXPECT_EQ(find_term_or_mark(std::string_view(), "T", 0, kMark), npos);
  EXPECT_EQ(find_term_or_mark("a\x1a", "a", 2, kMark), npos);
  EXPECT_EQ(find_term_or_mark("a\x1a", "a", 3, kMark), npos);
  EXPECT_EQ(find_term_or_mark("a\x1a", "", 1, kMark), 1u);
}

TEST_P(FindTerm, AddressesAmongAddresses) {
  // Digits and dots everywhere: the bytes the filter looks at pass in
  // nearly every round, and only the whole comparison tells.
  std::mt19937 rng(7);
  std::string text;
  while (text.size() < 20000) {
    text += std::to_string(rng() % 3 + 9) + "." + std::to_string(rng() % 12) +
            "." + std::to_string(rng() % 10 + 1) + "." +
            std::to_string(rng() % 80) + (rng() % 5 == 0 ? "\n" : " ");
  }
  for (std::string_view term :
       {"10.10.9.77", "9.7", "11.1.10.79", "10.0.1.1"}) {
    for (std::size_t from = 0; from < text.size(); from += 997)
      expect_like_std(text, term, from);
    std::size_t count = 0;
    for (std::size_t at = find_term(text, term, 0); at != npos;
         at = find_term(text, term, at + 1))
      ++count;
    std::size_t want = 0;
    for (std::size_t at = text.find(term); at != npos;
         at = text.find(term, at + 1))
      ++want;
    EXPECT_EQ(count, want) << term;
    // A mark deep in the text, found after many busy rounds.
    for (std::size_t at = 3001; at < text.size(); at += 4999) {
      std::string with = text;
      with[at] = kMark;
      for (std::size_t from : {std::size_t{0}, at - 100, at - 7})
        expect_like_std(with, term, from);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(VectorWidths, FindTerm, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& width) {
                           return width.param ? "Wide" : "Narrow";
                         });

}  // namespace
