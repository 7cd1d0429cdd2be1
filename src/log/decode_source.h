#pragma once
// Decompresses a compressed log as it is read, straight into the reader's
// buffer, on the thread that searches it: the search costs a small part
// of the decompression, less than handing text between threads would.
// Members joined one after another (cat a.gz b.gz, or streams and frames
// of the other formats) are read in turn, as their own tools do.
// Memory stays at the decompressor's own, however far the data expands.

#include <cstddef>

#include "decode/decoder.h"
#include "log/line_reader.h"
#include "log/log_source.h"

/// Sizes of the buffers; small ones let the tests cross every boundary.
struct decode_sizes {
  std::size_t block = std::size_t{256} << 10;   // text per read, at most
  std::size_t input = std::size_t{64} << 10;  // compressed, per read
};

/// The decompressed text of the data in `compressed`, in `make`'s format.
/// Data that is damaged or cut short ends the text after what was
/// decompressed before it, with a failed read, and marks reading->damaged;
/// data that asks for a window past what a run allows, the same with
/// reading->window;
/// a failed read of `compressed` is passed on as it is (a stop request
/// that interrupts a pipe's read among them). `make` says whose
/// decompressor, so the tests can hold one to another.
byte_source decode_source(byte_source compressed, log_reading* reading,
                          decode_sizes sizes = {},
                          decoder make = kGzipDecoder);

/// The same through a step already made (null: as one that could not have
/// its memory).
byte_source decode_with_step(byte_source compressed, log_reading* reading,
                             decode_step step, decode_sizes sizes = {});
