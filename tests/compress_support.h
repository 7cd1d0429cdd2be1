#pragma once
// bzip2, xz and zstd data for the tests, made and read by each format's own
// library, so the program's text is held to the library's, not to a second
// copy of its own logic. Each format is here only where the build reads it.

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

#include "gzip_support.h"

enum class packer { gzip, bzip2, xz, zstd };

/// The formats this build reads, gzip first.
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
    case packer::xz: {  // its dictionary no larger than the text needs, as
                        // both sides take memory by it
      lzma_options_lzma options;
      lzma_lzma_preset(&options, static_cast<std::uint32_t>(level));
      while (options.dict_size / 2 >= text.size() &&
             options.dict_size / 2 >= LZMA_DICT_SIZE_MIN)
        options.dict_size /= 2;
      const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options},
                                     {LZMA_VLI_UNKNOWN, nullptr}};
      std::size_t size = 0;
      const lzma_ret done = lzma_stream_buffer_encode(
          const_cast<lzma_filter*>(filters), LZMA_CHECK_CRC64, nullptr,
          reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
          reinterpret_cast<std::uint8_t*>(out.data()), &size, out.size());
      out.resize(done == LZMA_OK ? size : 0);
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
    case packer::xz: {
      lzma_stream z = LZMA_STREAM_INIT;
      lzma_ret result = lzma_stream_decoder(&z, UINT64_MAX, LZMA_CONCATENATED);
      z.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
      z.avail_in = data.size();
      while (result == LZMA_OK) {
        z.next_out = reinterpret_cast<std::uint8_t*>(buffer);
        z.avail_out = sizeof buffer;
        result = lzma_code(&z, LZMA_FINISH);
        out.append(buffer, sizeof buffer - z.avail_out);
      }
      *damaged = result != LZMA_STREAM_END;
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
    default:
      return gunzipped(data, damaged);
  }
}
