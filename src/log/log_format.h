#pragma once
// What a log is compressed with, told by its first bytes once, at open,
// whatever its name; and whether this build reads that format.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "decode/decoder.h"

enum class log_format {
  plain, gzip, bzip2, xz, zstd, lz4, lzma, compress, brotli
};

/// The longest magic.
constexpr std::size_t kMagicBytes = 6;

/// The most bytes sniff_format looks at: skippable frames at the start
/// are looked past within them.
constexpr std::size_t kSniffBytes = 4096;

/// The format whose magic head begins with; plain when none matches, or
/// when head is too short to hold the whole magic. Skippable frames (zstd's
/// and LZ4's, as pzstd starts a file) give the format of the frame after
/// them, zstd where that is not in sight.
log_format sniff_format(std::string_view head);

/// The format a log's name says, for the one format without a magic:
/// brotli for a name ending in ".br" (in any case), plain for all others.
log_format format_by_name(std::string_view name);

/// The bytes the skippable frames at head's start take, headers and all,
/// as their sizes say: past head's end when the last runs on beyond it; 0
/// when head does not start with a frame's whole header.
std::uint64_t skippable_bytes(std::string_view head);

/// An empty skippable frame: where the frames at a log's start were read
/// past, as both formats that have them pass it over.
constexpr std::string_view kEmptyFrame("\x50\x2a\x4d\x18\0\0\0\0", 8);

/// True while head is a proper beginning of some magic: a byte more might
/// make it compressed. Lets a plain pipe go on without waiting for more.
bool magic_could_follow(std::string_view head);

/// The format as its tool names it ("gzip", "xz").
const char* format_name(log_format format);

/// The decompressor this build has for the format; null for plain and for
/// a compressed format the build does not read.
decoder decoder_for(log_format format);

/// True when a log of this format is searched: plain, or one with a
/// decompressor in this build.
bool format_readable(log_format format);

/// The compressed formats this build reads, as "gzip, xz"; "none" when
/// it reads none.
std::string readable_formats();

/// The format of a regular file, from its first bytes, read without moving
/// its position. Plain when they cannot be read.
log_format peek_format(std::FILE* file);

/// Why a log is not searched: "vantrel: NAME: compressed with FORMAT,
/// which this build does not read", with its line break.
std::string unreadable_text(const std::string& name, log_format format);
