// A bzip2 block's first bytes read by our own decoder are libbz2's: runs
// about four long (bzip2 first cuts runs of four and more into a count),
// every byte value, levels 1 and 9, any part of the text asked for.

#include <gtest/gtest.h>

#include <string>

#ifdef VANTREL_HAVE_BZIP2
#include "compress_support.h"
#include "decode/pools/bzip2_pool.h"
#include "decode/seek/bzip2_text_start.h"

namespace {

TEST(Bzip2TextStart, TheBlocksFirstBytesAreLibbz2s) {
  std::string runs, bytes;
  for (int n : {1, 3, 4, 5, 8, 255, 259, 260, 261, 600, 70000})
    runs += std::string(static_cast<std::size_t>(n), "abcdefg"[n % 7]) + "x";
  for (unsigned i = 0, seed = 7; i < 300000;
       ++i, seed = seed * 1103515245u + 12345u)
    bytes += static_cast<char>(seed >> 24);
  for (const std::string& text : {std::string("a"), runs, bytes})
    for (const int level : {1, 9}) {
      const std::string data = packed(packer::bzip2, text, level);
      bzip2_splitter split;
      split_feed(split, reinterpret_cast<const unsigned char*>(data.data()),
                 data.size());
      bzip2_piece piece;
      table_cache tables;
      while (split_next(split, true, &piece) && piece.bit_count > 0) {
        std::string whole;
        ASSERT_EQ(decode_piece(piece, tables, &whole, kPieceText),
                  piece_result::ok);
        for (const std::size_t most : {std::size_t{1}, std::size_t{4096},
                                       whole.size() + 1}) {
          SCOPED_TRACE(std::to_string(text.size()) + " bytes, level " +
                       std::to_string(level) + ", " + std::to_string(most));
          std::string start;
          ASSERT_TRUE(bzip2_text_start(piece, most, &start));
          EXPECT_EQ(start, whole.substr(0, most));
        }
      }
    }
}

}  // anonymous namespace
#endif
