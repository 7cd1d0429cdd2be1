#pragma once
// What a log is compressed with, told by its first bytes once, at open,
// whatever its name; and whether this build reads that format.

#include <cstdio>
#include <string>
#include <string_view>

#include "decode/decoder.h"

enum class log_format { plain, gzip, bzip2, xz, zstd, lz4 };

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
