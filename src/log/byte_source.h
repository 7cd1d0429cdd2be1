#pragma once
// A log as a stream of bytes: where a log's lines are read from, and the
// one place a read limit is applied.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>

constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

/// Where a reader's bytes come from: reads up to size bytes into `into`;
/// the count read, 0 at the end, or -1 with *error set to an errno value.
/// A plain file is read as it is (file_source); a compressed log through
/// a decompressor with the same shape.
using byte_source =
    std::function<std::ptrdiff_t(char* into, std::size_t size, int* error)>;

/// The bytes of an open file (not owned; null gives no source), straight
/// from the operating system, and no more than limit of them, as if the
/// file ended there: a log that grows faster than it is read would
/// otherwise never end. With `counted`, each byte read is added to it.
byte_source file_source(std::FILE* file, std::uint64_t limit = kNoLimit,
                        std::atomic<std::uint64_t>* counted = nullptr);
