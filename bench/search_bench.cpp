// Micro-benchmarks: the term search over a block in memory (bytes/s) and
// whole passes over a log in the page cache (bytes/s, and hits/s for the
// per-hit path), the lookup stubbed out so that only our own work is timed.
// The passes announce every hit on stdout, so stdout goes to the null device
// and the results to stderr.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "pix_log.h"
#include "report/report.h"
#include "search/find.h"
#include "search/fold.h"
#include "log/line_reader.h"
#include "output/hit_writer.h"
#include "output/name_pipeline.h"
#include "search/search_pass.h"

namespace {

#ifdef _WIN32
constexpr const char* null_device = "NUL";
#else
constexpr const char* null_device = "/dev/null";
#endif

// 64 MiB of generated log, made once.
const std::string& pix_text() {
  static const std::string text = [] {
    std::string t;
    t.reserve(std::size_t{64} << 20);
    generate_pix_log(std::uint64_t{64} << 20,
                     [&](std::string_view line) { t += line; });
    return t;
  }();
  return text;
}

std::string folded(const char* term, bool upper) {
  std::string t = term;
  if (upper)
    lower_upper(t);
  else
    upper_lower(t);
  return t;
}

// Every hit of the term in a block, as the pass looks for them (0x1A ends
// the search too); arg 0 is the block size, arg 1 picks the upper- (1) or
// lower-case (0) term, arg 2 lets the search use 32-byte vectors (1) or
// keeps it to 16 (0).
template <std::size_t (*find)(std::string_view, std::string_view, std::size_t)>
void search_block(benchmark::State& state, const char* term_text) {
  const std::string& all = pix_text();
  const std::string_view block(all.data(),
                               static_cast<std::size_t>(state.range(0)));
  const std::string term = folded(term_text, state.range(1) != 0);
  if (use_wide_vectors(state.range(2) != 0) != (state.range(2) != 0)) {
    state.SkipWithError("no 32-byte vectors on this processor");
    return;
  }
  std::size_t hits = 0;
  for (auto _ : state) {
    for (std::size_t at = find(block, term, 0); at != std::string_view::npos;
         at = find(block, term, at + 1))
      ++hits;
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  use_wide_vectors(true);
}

std::size_t pass_find(std::string_view text, std::string_view term,
                      std::size_t from) {
  return find_term_or_mark(text, term, from, kEndOfFile);
}

std::size_t std_find(std::string_view text, std::string_view term,
                     std::size_t from) {
  return text.find(term, from);
}

// All 64 MiB searched 1 MiB at a time, each block first copied into a
// buffer as a read leaves it: just written, so in cache, and starting at
// any address (here 33 bytes past a line). Searching one block over and
// over, as search_block does, lets the branch predictor learn where its
// candidates are, which hides the cost of rounds that pass the filter; a
// pass never sees a block twice. Only the searching is timed. Arg 0 picks
// the upper- (1) or lower-case (0) term, arg 1 the vector width as above.
void streamed(benchmark::State& state, const char* term_text) {
  constexpr std::size_t block = std::size_t{1} << 20;
  const std::string& all = pix_text();
  const std::string term = folded(term_text, state.range(0) != 0);
  if (use_wide_vectors(state.range(1) != 0) != (state.range(1) != 0)) {
    state.SkipWithError("no 32-byte vectors on this processor");
    return;
  }
  std::vector<char> buffer(block + 64);
  char* const data = buffer.data() + 33;
  const std::size_t blocks = all.size() / block;
  std::size_t hits = 0;
  for (auto _ : state) {
    std::chrono::steady_clock::duration searching{};
    for (std::size_t i = 0; i < blocks; ++i) {
      std::memcpy(data, all.data() + i * block, block);
      const auto start = std::chrono::steady_clock::now();
      const std::string_view text(data, block);
      for (std::size_t at = pass_find(text, term, 0);
           at != std::string_view::npos; at = pass_find(text, term, at + 1))
        ++hits;
      searching += std::chrono::steady_clock::now() - start;
    }
    benchmark::DoNotOptimize(hits);
    state.SetIterationTime(
        std::chrono::duration<double>(searching).count());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(blocks * block));
  use_wide_vectors(true);
}

void BM_FindTerm_Streamed_Rare(benchmark::State& state) {
  streamed(state, pix_rare_user);
}
void BM_FindTerm_Streamed_RareAddress(benchmark::State& state) {
  streamed(state, pix_rare_address);
}
void BM_FindTerm_Rare(benchmark::State& state) {
  search_block<pass_find>(state, pix_rare_user);
}
void BM_FindTerm_RareAddress(benchmark::State& state) {
  search_block<pass_find>(state, pix_rare_address);
}
// A frequent destination: a hit every few lines, and digits everywhere.
void BM_FindTerm_FrequentAddress(benchmark::State& state) {
  search_block<pass_find>(state, "203.0.113.45");
}
void BM_StdFind_Rare(benchmark::State& state) {
  search_block<std_find>(state, pix_rare_user);
}
void BM_StdFind_RareAddress(benchmark::State& state) {
  search_block<std_find>(state, pix_rare_address);
}

// One pass over a log held in a temporary file (in the page cache after the
// first round). Each hit is announced, copied, rewritten and written to the
// report with its flush, through the run's name pipeline; the lookup
// answers at once.
void whole_pass(benchmark::State& state, bool upper,
                const char* term_text) {
  const std::string& text = pix_text();
  std::FILE* log = std::tmpfile();
  std::FILE* report = std::tmpfile();
  if (log == nullptr || report == nullptr) {
    state.SkipWithError("no temporary file");
    return;
  }
  std::fwrite(text.data(), 1, text.size(), log);
  const auto lookup = [](const ip_address&, std::string* name) {
    *name = "www.example.com";
    return name_answer::named;
  };
  // Lines the pass will find, for hits per second.
  const std::string term = folded(term_text, upper);
  std::int64_t hits = 0;
  for (std::size_t at = text.find(term); at != std::string::npos;
       at = text.find(term, text.find('\n', at)))
    ++hits;
  for (auto _ : state) {
    std::rewind(log);
    std::rewind(report);
    line_reader reader(log);
    name_pipeline names(report, 2, lookup);
    hit_writer writer;
    writer.names = &names;
    search_pass(
        term, reader,
        [&writer](std::string_view line, std::int64_t number) {
          return write_hit(writer, line, number);
        },
        [] { return false; });
    drain_hits(names);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(text.size()));
  state.SetItemsProcessed(state.iterations() * hits);
  std::fclose(report);
  std::fclose(log);
}

void BM_Pass_Rare(benchmark::State& state) {
  whole_pass(state, false, pix_rare_user);
}
void BM_Pass_Common(benchmark::State& state) {
  whole_pass(state, false, pix_common_user);
}
// Every line holds "%PIX-": the per-hit path with nothing else around it.
void BM_Pass_EveryLine(benchmark::State& state) {
  whole_pass(state, true, "%PIX-");
}

}  // anonymous namespace

BENCHMARK(BM_FindTerm_Rare)
    ->ArgsProduct({{16 << 10, 1 << 20, 64 << 20}, {0, 1}, {0, 1}});
BENCHMARK(BM_FindTerm_RareAddress)
    ->ArgsProduct({{1 << 20, 64 << 20}, {0}, {0, 1}});
BENCHMARK(BM_FindTerm_FrequentAddress)->ArgsProduct({{1 << 20}, {0}, {0, 1}});
BENCHMARK(BM_FindTerm_Streamed_Rare)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime();
BENCHMARK(BM_FindTerm_Streamed_RareAddress)
    ->ArgsProduct({{0}, {0, 1}})
    ->UseManualTime();
BENCHMARK(BM_StdFind_Rare)->Args({1 << 20, 0, 1})->Args({1 << 20, 1, 1});
BENCHMARK(BM_StdFind_RareAddress)->Args({1 << 20, 0, 1});
BENCHMARK(BM_Pass_Rare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pass_Common)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pass_EveryLine)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (std::freopen(null_device, "w", stdout) == nullptr) return 1;
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
