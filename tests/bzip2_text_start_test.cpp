// The look's own reading of a bzip2 block's first bytes: the same text as
// libbz2 gives, runs of every length (bzip2 first cuts runs of four and
// more into a count), every byte value, levels 1 and 9, blocks large and
// tiny, whatever part of the text is asked for.

#include <gtest/gtest.h>

#include <string>

#ifdef VANTREL_HAVE_BZIP2
#include "compress_support.h"
#include "decode/pools/bzip2_pool.h"
#include "decode/seek/bzip2_text_start.h"

namespace {

TEST(Bzip2TextStart, TheBlocksFirstBytesAreLibbz2s) {
  std::string runs, bytes, lines;
  for (int n : {1, 3, 4, 5, 8, 255, 259, 260, 261, 600, 70000})
    runs += std::string(static_cast<std::size_t>(n), "abcdefg"[n % 7]) + "x";
  unsigned seed = 7;
  for (int i = 0; i < 300000; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes += static_cast<char>(seed >> 24);
  }
  for (int i = 0; i < 40000; ++i)
    lines += "Oct 12 02:" + std::to_string(i % 60) + ":00 fw %ASA-6-302013 " +
             std::to_string(i * 7919 % 100000) + "\n";
  for (const std::string& text : {std::string("a"), runs, bytes, lines})
    for (const int level : {1, 9}) {
      const std::string data = packed(packer::bzip2, text, level);
      bzip2_splitter split;
      split_feed(split, reinterpret_cast<const unsigned char*>(data.data()),
                 data.size());
      bzip2_piece piece;
      table_cache tables;
      std::size_t blocks = 0;
      while (split_next(split, true, &piece) && piece.bit_count > 0) {
        std::string whole;
        ASSERT_EQ(decode_piece(piece, tables, &whole, kPieceText),
                  piece_result::ok);
        for (const std::size_t most : {std::size_t{1}, std::size_t{4096},
                                       whole.size() + 1}) {
          SCOPED_TRACE(std::to_string(text.size()) + " bytes, level " +
                       std::to_string(level) + ", block " +
                       std::to_string(blocks) + ", " + std::to_string(most));
          std::string start;
          ASSERT_TRUE(bzip2_text_start(piece, most, &start));
          EXPECT_EQ(start, whole.substr(0, most));
        }
        ++blocks;
      }
      EXPECT_GE(blocks, 1u);
    }
}

}  // anonymous namespace
#endif
