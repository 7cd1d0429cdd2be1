#pragma once
// Compressed data for the tests, made and read by each format's own
// library, so the program's text is held to the library's, not to a second
// copy of its own logic. Each format is here only where the build reads it.
// compress (.Z) has no library: a small encoder of the tests' own makes it.

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#ifdef VANTREL_HAVE_BZIP2
#include <bzlib.h>
#endif
#ifdef VANTREL_HAVE_XZ
#include <lzma.h>
#endif
#ifdef VANTREL_HAVE_ZSTD
#include <zstd.h>
#endif

#ifdef VANTREL_HAVE_LZ4
#include <lz4.h>
#include <lz4frame.h>
#endif
#ifdef VANTREL_HAVE_BROTLI
#include <brotli/decode.h>
#include <brotli/encode.h>
#endif

#include "gzip_support.h"

enum class packer { gzip, bzip2, xz, zstd, lzma, lz4, brotli, compress };

/// lzma and brotli hold one stream: a second is damage.
inline bool joins_streams(packer how) {
  return how != packer::lzma && how != packer::brotli;
}

/// text as compress writes it (block mode, codes up to 16 bits), with a
/// clear code after every `clear_after` codes (0: never). Codes go in
/// groups of eight; a wider code or a clear starts the next group.
inline std::string lzw_packed(std::string_view text, unsigned clear_after = 0) {
  std::string out = "\x1f\x9d\x90";
  std::uint64_t bits = 0;
  unsigned count = 0, width = 9, in_group = 0, codes = 0, next = 257;
  std::map<unsigned, unsigned> table;
  const auto put = [&](unsigned code) {
    for (count += width, bits |= std::uint64_t{code} << (count - width);
         count >= 8; count -= 8, bits >>= 8)
      out += static_cast<char>(bits);
    in_group = (in_group + 1) % 8;
  };
  const auto end_group = [&] { while (in_group != 0) put(0); };
  const auto emit = [&](unsigned code) {
    if (next > (1u << width) && width < 16) end_group(), ++width;
    put(code);
  };
  unsigned w = 0x10000;  // none yet
  for (const char ch : text) {
    const auto key = w << 8 | static_cast<unsigned char>(ch);
    if (w == 0x10000 || table.count(key) != 0) {
      w = w == 0x10000 ? static_cast<unsigned char>(ch) : table[key];
      continue;
    }
    emit(w);
    if (next < 65536) table[key] = next++;
    w = static_cast<unsigned char>(ch);
    if (clear_after != 0 && ++codes % clear_after == 0)
      emit(256), end_group(), width = 9, next = 257, table.clear();
  }
  if (w != 0x10000) emit(w);
  if (count > 0) out += static_cast<char>(bits);
  return out;
}

/// The formats this build reads through a library, gzip first.
inline std::vector<packer> packers() {
  return {
      packer::gzip,
#ifdef VANTREL_HAVE_BZIP2
      packer::bzip2,
#endif
#ifdef VANTREL_HAVE_XZ
      packer::xz,
#endif
#ifdef VANTREL_HAVE_ZSTD
      packer::zstd,
#endif
#ifdef VANTREL_HAVE_XZ
      packer::lzma,
#endif
#ifdef VANTREL_HAVE_LZ4
      packer::lz4,
#endif
#ifdef VANTREL_HAVE_BROTLI
      packer::brotli,
#endif
  };
}

/// text as one stream (member, frame) of the format; level 1 to 9.
inline std::string packed(packer how, std::string_view text, int level = 6) {
  std::string out(text.size() + text.size() / 2 + 1024, '\0');
  switch (how) {
#ifdef VANTREL_HAVE_BZIP2
    case packer::bzip2: {
      auto size = static_cast<unsigned>(out.size());
      BZ2_bzBuffToBuffCompress(out.data(), &size,
                               const_cast<char*>(text.data()),
                               static_cast<unsigned>(text.size()), level, 0, 0);
      out.resize(size);
      return out;
    }
#endif
#ifdef VANTREL_HAVE_XZ
    case packer::lzma:  // as the lzma tool writes it: an end marker
    case packer::xz: {  // in blocks of 1 KiB of text, as xz -T0 writes
                        // (larger) ones: they decode on every core
      // The dictionary no larger than the text needs, as both sides take
      // memory by it.
      lzma_options_lzma options;
      lzma_lzma_preset(&options, static_cast<std::uint32_t>(level));
      while (options.dict_size / 2 >= text.size() &&
             options.dict_size / 2 >= LZMA_DICT_SIZE_MIN)
        options.dict_size /= 2;
      const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options},
                                     {LZMA_VLI_UNKNOWN, nullptr}};
      lzma_mt mt{};
      mt.threads = 2;
      mt.block_size = 1024;
      mt.filters = filters;
      mt.check = LZMA_CHECK_CRC64;
      lzma_stream z = LZMA_STREAM_INIT;
      bool done = (how == packer::xz ? lzma_stream_encoder_mt(&z, &mt)
                                     : lzma_alone_encoder(&z, &options)) == LZMA_OK;
      z.next_in = reinterpret_cast<const std::uint8_t*>(text.data());
      z.avail_in = text.size();
      z.next_out = reinterpret_cast<std::uint8_t*>(out.data());
      z.avail_out = out.size();
      done = done && lzma_code(&z, LZMA_FINISH) == LZMA_STREAM_END;
      out.resize(done ? out.size() - z.avail_out : 0);
      lzma_end(&z);
      return out;
    }
#endif
#ifdef VANTREL_HAVE_ZSTD
    case packer::zstd: {  // with its checksum, as the zstd tool writes
      ZSTD_CCtx* z = ZSTD_createCCtx();
      ZSTD_CCtx_setParameter(z, ZSTD_c_compressionLevel, level);
      ZSTD_CCtx_setParameter(z, ZSTD_c_checksumFlag, 1);
      out.resize(
          ZSTD_compress2(z, out.data(), out.size(), text.data(), text.size()));
      ZSTD_freeCCtx(z);
      return out;
    }
#endif
#ifdef VANTREL_HAVE_LZ4
    case packer::lz4: {  // with the checksum the lz4 tool writes
      LZ4F_preferences_t prefs{};
      prefs.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
      prefs.frameInfo.blockSizeID = LZ4F_max64KB;
      out.resize(LZ4F_compressFrame(out.data(), out.size(), text.data(),
                                    text.size(), &prefs));
      return out;
    }
#endif
#ifdef VANTREL_HAVE_BROTLI
    case packer::brotli: {
      std::size_t size = out.size();
      BrotliEncoderCompress(
          level, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, text.size(),
          reinterpret_cast<const std::uint8_t*>(text.data()), &size,
          reinterpret_cast<std::uint8_t*>(out.data()));
      out.resize(size);
      return out;
    }
#endif
    case packer::compress:
      return lzw_packed(text);
    default:
      return gzipped(text, level);
  }
}

/// What the data holds by its library's streaming decoder, stream after
/// stream, up to the first damage or cut, which *damaged then says there
/// was; zeros after a whole bzip2 stream are padding, as with gzip.
inline std::string unpacked(packer how, std::string_view data, bool* damaged) {
  std::string out;
  [[maybe_unused]] char buffer[4096];  // unused where no format but gzip is built
  *damaged = false;
  switch (how) {
#ifdef VANTREL_HAVE_BZIP2
    case packer::bzip2:
      for (bool first = true; !data.empty() && !*damaged; first = false) {
        if (!first && zeros_only(data)) break;
        bz_stream z{};
        BZ2_bzDecompressInit(&z, 0, 0);
        z.next_in = const_cast<char*>(data.data());
        z.avail_in = static_cast<unsigned>(data.size());
        int result = BZ_OK;
        while (result == BZ_OK) {
          z.next_out = buffer;
          z.avail_out = sizeof buffer;
          result = BZ2_bzDecompress(&z);
          out.append(buffer, sizeof buffer - z.avail_out);
          if (result == BZ_OK && z.avail_in == 0 && z.avail_out > 0) break;
        }
        *damaged = result != BZ_STREAM_END;
        data.remove_prefix(data.size() - z.avail_in);
        BZ2_bzDecompressEnd(&z);
      }
      return out;
#endif
#ifdef VANTREL_HAVE_XZ
    case packer::lzma:
    case packer::xz: {
      lzma_stream z = LZMA_STREAM_INIT;
      lzma_ret result =
          how == packer::xz
              ? lzma_stream_decoder(&z, UINT64_MAX, LZMA_CONCATENATED)
              : lzma_alone_decoder(&z, UINT64_MAX);
      z.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
      z.avail_in = data.size();
      while (result == LZMA_OK) {
        z.next_out = reinterpret_cast<std::uint8_t*>(buffer);
        z.avail_out = sizeof buffer;
        result = lzma_code(&z, LZMA_FINISH);
        out.append(buffer, sizeof buffer - z.avail_out);
      }
      *damaged = result != LZMA_STREAM_END || z.avail_in != 0;
      lzma_end(&z);
      return out;
    }
#endif
#ifdef VANTREL_HAVE_ZSTD
    case packer::zstd: {
      ZSTD_DStream* z = ZSTD_createDStream();
      ZSTD_inBuffer in{data.data(), data.size(), 0};
      std::size_t result = 0;
      do {
        ZSTD_outBuffer o{buffer, sizeof buffer, 0};
        result = ZSTD_decompressStream(z, &o, &in);
        out.append(buffer, o.pos);
        if (!ZSTD_isError(result) && o.pos < sizeof buffer && in.pos == in.size)
          break;
      } while (!ZSTD_isError(result));
      *damaged = ZSTD_isError(result) || result != 0;
      ZSTD_freeDStream(z);
      return out;
    }
#endif
#ifdef VANTREL_HAVE_LZ4
    case packer::lz4: {  // frame after frame, then what the last holds
      LZ4F_dctx* z = nullptr;
      LZ4F_createDecompressionContext(&z, LZ4F_VERSION);
      std::size_t hint = 0, in = 0, room = 0;
      while (!LZ4F_isError(hint) &&
             (!data.empty() || (hint != 0 && room != 0))) {
        in = data.size(), room = sizeof buffer;
        hint = LZ4F_decompress(z, buffer, &room, data.data(), &in, nullptr);
        if (!LZ4F_isError(hint)) out.append(buffer, room);
        data.remove_prefix(in);
      }
      *damaged = LZ4F_isError(hint) || hint != 0;
      LZ4F_freeDecompressionContext(z);
      return out;
    }
#endif
#ifdef VANTREL_HAVE_BROTLI
    case packer::brotli: {
      BrotliDecoderState* z = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
      std::size_t in = data.size(), room = 0;
      const auto* next = reinterpret_cast<const std::uint8_t*>(data.data());
      auto result = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
      while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) {
        auto* to = reinterpret_cast<std::uint8_t*>(buffer);
        room = sizeof buffer;
        result = BrotliDecoderDecompressStream(z, &in, &next, &room, &to, nullptr);
        out.append(buffer, sizeof buffer - room);
      }
      *damaged = result != BROTLI_DECODER_RESULT_SUCCESS || in != 0;
      BrotliDecoderDestroyInstance(z);
      return out;
    }
#endif
    default:
      return gunzipped(data, damaged);
  }
}

#ifdef VANTREL_HAVE_LZ4
/// text in lz4's legacy format (`lz4 -l`): its magic, then `block` bytes of
/// text a block, each after its compressed size.
inline std::string lz4_legacy(std::string_view text, std::size_t block) {
  std::string out("\x02\x21\x4c\x18", 4);
  for (std::size_t at = 0; at < text.size(); at += block) {
    const std::string_view part = text.substr(at, block);
    const int size = static_cast<int>(part.size());
    std::string packed(static_cast<std::size_t>(LZ4_compressBound(size)), '\0');
    const int n = LZ4_compress_default(part.data(), packed.data(), size,
                                       static_cast<int>(packed.size()));
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xff);
    out.append(packed.data(), static_cast<std::size_t>(n));
  }
  return out;
}
#endif
