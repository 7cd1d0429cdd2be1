#pragma once
// Decompresses a compressed log on a thread of its own, a few blocks ahead
// of the reader, so the search's time hides behind the decompression's.
// Members joined one after another (cat a.gz b.gz, or streams and frames
// of the other formats) are read in turn, as their own tools do.
// Memory stays at a few fixed blocks, however far the data expands.

#include <cstddef>

#include "decode/decoder.h"
#include "log/line_reader.h"
#include "log/log_source.h"

/// Sizes of the buffers; small ones let the tests cross every boundary.
struct decode_sizes {
  std::size_t block = std::size_t{128} << 10;  // decompressed, per hand-over
  std::size_t input = std::size_t{64} << 10;   // compressed, per read
};

/// The decompressed text of the data in `compressed`, in `make`'s format.
/// Data that is damaged or cut short ends the text after what was
/// decompressed before it, with a failed read, and marks reading->damaged;
/// data that asks for a window past what a run allows, the same with
/// reading->window;
/// a failed read of `compressed` is passed on as it is. A stop request
/// ends a wait for the decompressor with EINTR. `make` says whose
/// decompressor, so the tests can hold one to another.
byte_source decode_source(byte_source compressed, log_reading* reading,
                          decode_sizes sizes = {},
                          decoder make = kGzipDecoder);
