// A log read from where a probe lets it start: bisection in a plain file,
// block seek in xz and bzip2, and every other way in read from the start.

#include "log/part/log_start.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "compress_support.h"
#include "log/log_source.h"
#include "test_support.h"

namespace {

// Numbered lines, in order, each naming an earlier one (so a line cut at
// its start reads as dated, and early), with as many bytes of hex as bzip2
// cannot squeeze much, and an undated line now and then.
std::string numbered_log(int count) {
  std::string text;
  unsigned seed = 12345;
  for (int i = 0; i < count; ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "t=%06d via t=%06d ", i, i / 2);
    text += number;
    for (int c = 0; c < 32; ++c) {
      seed = seed * 1103515245u + 12345u;
      text += "0123456789abcdef"[seed >> 28];
    }
    text += i % 7 == 3 ? "\n  continued\n" : "\n";
  }
  return text;
}

// Yes, at the sample's first line with a number, while it is below k.
start_probe below(int k) {
  return [k](std::string_view sample) -> std::size_t {
    for (std::size_t at = 0; at < sample.size();) {
      const std::size_t end = std::min(sample.find('\n', at), sample.size());
      const std::size_t t = sample.substr(at, end - at).find("t=");
      if (t != sample.npos)
        return std::atoi(std::string(sample.substr(at + t + 2, 6)).c_str()) < k
                   ? at
                   : sample.npos;
      at = end + 1;
    }
    return sample.npos;
  };
}

struct read_back {
  std::string text;
  log_reading reading;
  int error = 0;
};

void read_with(const std::string& bytes, std::uint64_t limit,
               const start_probe& probe, read_back* r) {
  const byte_source source =
      open_log_source(file_with(bytes), limit, &r->reading, &probe);
  char buffer[4096];
  for (std::ptrdiff_t n; (n = source(buffer, sizeof buffer, &r->error)) > 0;)
    r->text.append(buffer, static_cast<std::size_t>(n));
}

TEST(LogStart, ReadingStartsAtALineTheProbeTookNearTheLastOne) {
  const int count = 12000;
  const std::string text = numbered_log(count);
  struct way {
    const char* what;
    std::string bytes;
    std::size_t slack;  // text the start may be before line k's, at most
    std::uint64_t limit = 0;
  };
  std::vector<way> ways = {{"plain", text, (64 << 10) + 200},
                           {"gzip: from its start", gzipped(text), 0},
                           {"a pipe: from its start", text, 0, kNoLimit}};
#ifdef VANTREL_HAVE_XZ
  ways.push_back({"xz, blocks of 1 KiB", packed(packer::xz, text), 2200});
  // The stream started in is remade; the next follows as it is.
  ways.push_back({"xz, two streams and padding",
                  packed(packer::xz, text.substr(0, 500000)) +
                      std::string(8, '\0') +
                      packed(packer::xz, text.substr(500000)),
                  2200});
#endif
#ifdef VANTREL_HAVE_BZIP2
  // Blocks of 100 kB, places 64 KiB of compressed bytes apart.
  ways.push_back({"bzip2 -1", packed(packer::bzip2, text, 1), 300 << 10});
  ways.push_back({"bzip2 -1, two streams",
                  packed(packer::bzip2, text.substr(0, 300000), 1) +
                      packed(packer::bzip2, text.substr(300000), 1),
                  300 << 10});
#endif
  for (const way& w : ways) {
    const bool seeks = w.slack > 0;
    for (const int k : {0, 1, 2, count / 2, count * 3 / 4, count - 1, count,
                        count + 10}) {
      SCOPED_TRACE(std::string(w.what) + ", k " + std::to_string(k));
      read_back r;
      read_with(w.bytes, w.limit != 0 ? w.limit : w.bytes.size(), below(k),
                &r);
      ASSERT_EQ(r.error, 0);
      ASSERT_LE(r.text.size(), text.size());
      const std::size_t start = text.size() - r.text.size();
      ASSERT_EQ(text.substr(start), r.text);
      EXPECT_TRUE(start == 0 || (text[start - 1] == '\n' &&
                                 text.compare(start, 2, "t=") == 0));
      char line_k[16];
      std::snprintf(line_k, sizeof line_k, "t=%06d ", std::max(k - 1, 0));
      const std::size_t last_early =
          k > count ? text.rfind("t=") : text.find(line_k);
      EXPECT_LE(start, k == 0 ? 0 : last_early);
      if (seeks && k > 1) {
        EXPECT_GE(start + w.slack, last_early);
      } else {
        EXPECT_EQ(start, 0u);
      }
      EXPECT_EQ(r.reading.started_late, start > 0);
      EXPECT_EQ(r.reading.file_bytes, w.bytes.size());
      EXPECT_FALSE(r.reading.damaged || r.reading.shrunk);
      if (r.reading.compressed) {
        EXPECT_EQ(r.reading.lines, count_lf(r.text.data(), r.text.size()));
      }
    }
  }
}

// Damage past the start ends the text after what came before it, as it
// does reading from the start; the lines are counted from the start.
TEST(LogStart, DamageAfterTheStartIsSaid) {
  const std::string whole = numbered_log(12000);
  struct row {
    const char* what;
    packer p;
    std::string bytes;
  };
  std::vector<row> cases;
#ifdef VANTREL_HAVE_XZ
  std::string xz = packed(packer::xz, whole);
  xz[xz.size() * 9 / 10] ^= 0x40;  // in a block: its check fails
  cases.push_back({"xz", packer::xz, xz});
#endif
#ifdef VANTREL_HAVE_BZIP2
  const std::string bz = packed(packer::bzip2, whole, 1);
  cases.push_back({"bzip2, cut", packer::bzip2, bz.substr(0, bz.size() * 9 / 10)});
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Text before the damage is found may be the damage's: as the
    // format's library gives it.
    bool damaged = false;
    const std::string text = unpacked(c.p, c.bytes, &damaged);
    read_back r;
    read_with(c.bytes, c.bytes.size(), below(6000), &r);
    EXPECT_TRUE(r.reading.started_late && r.reading.damaged);
    EXPECT_NE(r.error, 0);
    const std::size_t start = text.find(r.text.substr(0, 30));
    ASSERT_NE(start, text.npos);
    EXPECT_TRUE(start > 0 && text[start - 1] == '\n');
    EXPECT_EQ(text.compare(start, r.text.size(), r.text), 0);
    EXPECT_EQ(r.reading.lines, count_lf(r.text.data(), r.text.size()));
  }
}

// A log whose first lines the probe says nothing from on matters is not
// read at all, whatever its format; one it cannot tell of from its first
// KiB is read whole. (-1: not packed.)
TEST(LogStart, ALogThatStartsTooLateIsNotRead) {
  const std::string text = numbered_log(3000);
  const std::string undated = std::string(5000, 'x') + "\n" + text;
  std::vector<int> formats = {-1, static_cast<int>(packer::compress)};
  for (const packer p : packers()) formats.push_back(static_cast<int>(p));
  for (const int format : formats)
    for (const auto& [log, k] : {std::pair(text, 0), std::pair(text, 1),
                                 std::pair(undated, 0)}) {
      SCOPED_TRACE(std::to_string(format) + ", k " + std::to_string(k));
      const bool read = k == 1 || log == undated;
      const auto how = static_cast<packer>(format);
      const std::string bytes = format < 0 ? log : packed(how, log, 1);
      read_back r;
      // brotli has no magic: its name tells it.
      if (how == packer::brotli) r.reading.named = log_format::brotli;
      // Nothing matters from a first numbered line of k or more on.
      const start_probe from_k = [first_below = below(k)](std::string_view t) {
        return t.find("t=") != t.npos && first_below(t) == t.npos
                   ? kNothingMatters
                   : t.npos;
      };
      read_with(bytes, bytes.size(), from_k, &r);
      EXPECT_EQ(r.error, 0);
      EXPECT_EQ(r.text, read ? log : "");
      EXPECT_EQ(r.reading.passed_over, !read);
    }
}

}  // anonymous namespace
