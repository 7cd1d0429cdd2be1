// An .xz log read from one of its blocks on: each stream's index, read from
// the file's end as xz --list does, says where its blocks are and where
// their text falls; a block decodes alone from its header.

#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "decode/block_seek.h"

namespace {

// Past this an index is not held: such a log is read from its start.
constexpr std::uint64_t kIndexMemory = std::uint64_t{64} << 20;
constexpr std::size_t kReadSize = std::size_t{64} << 10;

struct stream_closer {
  lzma_stream z = LZMA_STREAM_INIT;
  ~stream_closer() { lzma_end(&z); }
};

struct index_closer {
  lzma_index* index = nullptr;
  ~index_closer() { lzma_index_end(index, nullptr); }
};

// The streams' indexes joined into one, as lzma_file_info_decoder reads
// them: it says where to read next, from the end back.
bool decode_indexes(const read_at& read, std::uint64_t size,
                    index_closer* found) {
#if LZMA_VERSION < 50040002U  // the file information decoder came with 5.4.0
  (void)read, (void)size, (void)found;
  return false;
#else
  stream_closer s;
  if (lzma_file_info_decoder(&s.z, &found->index, kIndexMemory, size) !=
      LZMA_OK)
    return false;
  std::vector<std::uint8_t> buffer(kReadSize);
  std::uint64_t at = 0;
  for (;;) {
    lzma_action action = LZMA_RUN;
    if (s.z.avail_in == 0) {
      const std::ptrdiff_t got =
          read(reinterpret_cast<char*>(buffer.data()), buffer.size(), at);
      if (got < 0) return false;
      s.z.next_in = buffer.data();
      s.z.avail_in = static_cast<std::size_t>(got);
      at += s.z.avail_in;
      if (got == 0) action = LZMA_FINISH;
    }
    const lzma_ret result = lzma_code(&s.z, action);
    if (result == LZMA_STREAM_END) return true;
    if (result == LZMA_SEEK_NEEDED) {
      at = s.z.seek_pos;
      s.z.avail_in = 0;
    } else if (result != LZMA_OK || action == LZMA_FINISH) {
      return false;
    }
  }
#endif
}

// The filters a block header names, with the options liblzma gave them.
struct block_filters {
  lzma_filter list[LZMA_FILTERS_MAX + 1];
  block_filters() {
    for (lzma_filter& f : list) f = {LZMA_VLI_UNKNOWN, nullptr};
  }
  ~block_filters() {
    for (lzma_filter& f : list) std::free(f.options);
  }
};

}  // anonymous namespace

bool read_xz_index(const read_at& read, std::uint64_t size, xz_index* index) {
  index_closer found;
  if (!decode_indexes(read, size, &found)) return false;
  lzma_index_iter iter;
  lzma_index_iter_init(&iter, found.index);
  *index = {};
  lzma_vli stream = LZMA_VLI_UNKNOWN;
  while (!lzma_index_iter_next(&iter, LZMA_INDEX_ITER_BLOCK)) {
    if (iter.stream.number != stream) {
      if (iter.stream.flags == nullptr) return false;
      stream = iter.stream.number;
      xz_stream_place place;
      place.offset = iter.stream.compressed_offset;
      place.end = iter.stream.compressed_offset + iter.stream.compressed_size;
      place.check = iter.stream.flags->check;
      index->streams.push_back(place);
    }
    xz_block block;
    block.offset = iter.block.compressed_file_offset;
    block.text_offset = iter.block.uncompressed_file_offset;
    block.unpadded = iter.block.unpadded_size;
    block.text_size = iter.block.uncompressed_size;
    block.stream = index->streams.size() - 1;
    index->streams.back().blocks_end =
        iter.block.compressed_file_offset + iter.block.total_size;
    index->blocks.push_back(block);
  }
  return true;
}

bool xz_block_text(const read_at& read, const xz_index& index,
                   std::size_t block, std::size_t most, std::string* text) {
  const xz_block& b = index.blocks[block];
  std::uint8_t header[LZMA_BLOCK_HEADER_SIZE_MAX];
  if (read(reinterpret_cast<char*>(header), sizeof header, b.offset) < 1)
    return false;
  block_filters filters;
  lzma_block options{};
  options.version = 1;
  options.check = static_cast<lzma_check>(index.streams[b.stream].check);
  options.filters = filters.list;
  options.header_size = lzma_block_header_size_decode(header[0]);
  stream_closer s;
  if (lzma_block_header_decode(&options, nullptr, header) != LZMA_OK ||
      lzma_block_compressed_size(&options, b.unpadded) != LZMA_OK ||
      lzma_block_decoder(&s.z, &options) != LZMA_OK)
    return false;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(most, b.text_size));
  text->assign(want, '\0');
  s.z.next_out = reinterpret_cast<std::uint8_t*>(&(*text)[0]);
  s.z.avail_out = want;
  std::vector<std::uint8_t> buffer(kReadSize);
  std::uint64_t at = b.offset + options.header_size;
  lzma_ret result = LZMA_OK;
  while (result == LZMA_OK && s.z.avail_out > 0) {
    if (s.z.avail_in == 0) {
      const std::ptrdiff_t got =
          read(reinterpret_cast<char*>(buffer.data()), buffer.size(), at);
      if (got <= 0) return false;
      s.z.next_in = buffer.data();
      s.z.avail_in = static_cast<std::size_t>(got);
      at += s.z.avail_in;
    }
    result = lzma_code(&s.z, LZMA_RUN);
  }
  return s.z.avail_out == 0 && (result == LZMA_OK || result == LZMA_STREAM_END);
}

block_seek xz_from_block(const xz_index& index, std::size_t block,
                         std::uint64_t size) {
  const xz_block& first = index.blocks[block];
  const xz_stream_place& stream = index.streams[first.stream];
  // An index of the blocks from the start on, and a footer to match, end
  // the stream as if it began there.
  index_closer rest;
  rest.index = lzma_index_init(nullptr);
  block_seek seek;
  if (rest.index == nullptr) return seek;
  for (std::size_t i = block;
       i < index.blocks.size() && index.blocks[i].stream == first.stream; ++i)
    if (lzma_index_append(rest.index, nullptr, index.blocks[i].unpadded,
                          index.blocks[i].text_size) != LZMA_OK)
      return seek;
  const lzma_vli index_size = lzma_index_size(rest.index);
  std::string end(index_size + LZMA_STREAM_HEADER_SIZE, '\0');
  auto* bytes = reinterpret_cast<std::uint8_t*>(&end[0]);
  std::size_t written = 0;
  lzma_stream_flags footer{};
  footer.backward_size = index_size;
  footer.check = static_cast<lzma_check>(stream.check);
  if (lzma_index_buffer_encode(rest.index, bytes, &written, end.size()) !=
          LZMA_OK ||
      lzma_stream_footer_encode(&footer, bytes + written) != LZMA_OK)
    return seek;
  seek.parts = {{"", stream.offset, stream.offset + LZMA_STREAM_HEADER_SIZE},
                {"", first.offset, stream.blocks_end},
                {std::move(end), stream.end, size}};
  seek.taken_before = first.offset - LZMA_STREAM_HEADER_SIZE +
                      (stream.end - stream.blocks_end);
  seek.step = xz_decoder();
  return seek;
}
