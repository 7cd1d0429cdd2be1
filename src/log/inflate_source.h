#pragma once
// Decompresses gzip data on a thread of its own, a few blocks ahead of the
// reader, so the search's time hides behind the decompression's. Members
// joined one after another (cat a.gz b.gz) are read in turn, as gzip does.
// Memory stays at a few fixed blocks, however far the data expands.

#include <cstddef>

#include "log/inflater.h"
#include "log/line_reader.h"
#include "log/log_source.h"

/// Sizes of the buffers; small ones let the tests cross every boundary.
struct inflate_sizes {
  std::size_t block = std::size_t{128} << 10;  // decompressed, per hand-over
  std::size_t input = std::size_t{64} << 10;   // compressed, per read
};

/// The decompressed text of the gzip data in `compressed`. Data that is
/// damaged or cut short ends the text after what was decompressed before
/// it, with a failed read, and marks reading->damaged; a failed read of
/// `compressed` is passed on as it is. A stop request ends a wait for the
/// decompressor with EINTR. `make` says whose decompressor: the tests hold
/// one to the other.
byte_source inflate_source(byte_source compressed, log_reading* reading,
                           inflate_sizes sizes = {},
                           inflater make = kDefaultInflater);
