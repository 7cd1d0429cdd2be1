#pragma once
// The first bytes of one bzip2 block's text, read more cheaply than libbz2
// reads them, for a look at a few lines of a block.

#include <cstddef>
#include <string>

#include "decode/pools/bzip2_blocks.h"

/// Up to `most` bytes of the text of the block a piece holds, from its
/// first. Not held to the block's CRC, which covers the whole text. False
/// for damage, and for what is left to libbz2 to say (a randomised block).
bool bzip2_text_start(const bzip2_piece& piece, std::size_t most,
                      std::string* text);
