#include "search/search_pass.h"

#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "console/console.h"
#include "report/report.h"
#include "run/stop_signals.h"
#include "search/clean.h"
#include "search/find.h"
#include "search/fold.h"

namespace {

// What every hit of one pass needs; the scratch line is reused so that a
// pass with many hits does not allocate per hit.
constexpr std::size_t kRewriteRoom = 4096;

struct pass_context {
  std::int64_t count = 0;
  std::int32_t trim = 0;
  std::FILE* report = nullptr;
  const host_lookup* lookup = nullptr;
  std::string scratch;
};

// One write into stdout's buffer and no flush: the C library keeps stdout
// fully buffered unless it is an interactive device, so a redirected run
// does not pay a system call per hit while a console still sees each one.
void announce(std::int64_t count) {
  static constexpr std::string_view prefix = "\tFound Result on Line #";
  char text[prefix.size() + 24];
  std::memcpy(text, prefix.data(), prefix.size());
  char* end =
      std::to_chars(text + prefix.size(), text + sizeof text - 1, count).ptr;
  *end++ = '\n';
  print(std::string_view(text, static_cast<std::size_t>(end - text)));
}

void handle_hit(pass_context& ctx, std::string_view line) {
  announce(++ctx.count);
  if (ctx.report == nullptr) {
    color(RED);
    print("\tReport.html could not be opened or created, make sure the "
          "directory is not read-only.\n");
    return;
  }
  if (is_excluded(line)) return;
  // Room for host names longer than their address, so that rewriting a
  // huge line does not need a second copy of it.
  if (ctx.scratch.capacity() < line.size() + kRewriteRoom)
    ctx.scratch.reserve(line.size() + kRewriteRoom);
  ctx.scratch.assign(line);
  remove_tags(ctx.scratch);
  substitute_host(ctx.scratch, ctx.trim, *ctx.lookup);
  write_result(ctx.report, ctx.scratch);
}

// The fast path only holds when a hit can never straddle a line end or the
// cut at 0x1A; every other term goes line by line.
bool fits_fast_path(std::string_view term) {
  return !term.empty() && term.find_first_of("\n\r\x1a") == std::string::npos;
}

// Searches a run of complete lines as one text and widens each hit to its
// line, so lines without a hit are never looked at one by one. The same scan
// looks for 0x1A, which ends the log: the offset of the first one in the
// block, or npos.
std::size_t scan_block(pass_context& ctx, std::string_view block,
                       std::string_view term) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t hit = find_term_or_mark(block, term, from, kEndOfFile);
    if (hit == std::string_view::npos || block[hit] == kEndOfFile) return hit;
    const std::size_t before = block.rfind('\n', hit);
    const std::size_t start =
        (before == std::string_view::npos || before < from) ? from : before + 1;
    const std::size_t after = hit + term.size();
    const std::size_t stop = block.find('\n', after) + 1;
    // A 0x1A later on the hit's line makes it the log's last line.
    const std::size_t quit = block.substr(0, stop).find(kEndOfFile, after);
    if (quit != std::string_view::npos) {
      handle_hit(ctx, block.substr(start, quit - start));
      return quit;
    }
    const std::string_view line = strip_cr(block.substr(start, stop - start));
    assert(find_term(line, term, 0) != std::string_view::npos);
    handle_hit(ctx, line);
    if (stop_requested()) return std::string_view::npos;
    from = stop;
  }
}

void search_fast(pass_context& ctx, line_reader& log, std::string_view term) {
  log.caller_finds_end_in_lines = true;
  while (fill(log)) {
    const std::size_t quit = scan_block(ctx, complete_lines(log), term);
    if (quit != std::string_view::npos) {
      end_reader_at(log, quit);
      return;
    }
    consume_complete_lines(log);
    if (stop_requested()) return;
  }
  if (log.finished) return;
  const std::string_view last = take_last_line(log);
  if (find_term(last, term, 0) != std::string_view::npos)
    handle_hit(ctx, last);
}

void search_by_line(pass_context& ctx, line_reader& log,
                    std::string_view term) {
  std::string_view line;
  while (!stop_requested() && next_line(log, &line)) {
    if (find_term(line, term, 0) != std::string_view::npos)
      handle_hit(ctx, line);
  }
}

void run_pass(pass_kind kind, line_reader& log, run_settings& settings,
              std::FILE* report, const host_lookup& lookup, bool by_line) {
  color(WHITE);
  print(kind == pass_kind::upper ? "\tSearching UpperCase...\n"
                                 : "\tSearching LowerCase...\n");
  color(BRIGHTGREEN);
  // Folding is idempotent, so once per pass is as good as once per line.
  if (kind == pass_kind::upper)
    lower_upper(settings.search);
  else
    upper_lower(settings.search);

  pass_context ctx;
  ctx.trim = settings.trim;
  ctx.report = report;
  ctx.lookup = &lookup;
  if (!by_line && fits_fast_path(settings.search))
    search_fast(ctx, log, settings.search);
  else
    search_by_line(ctx, log, settings.search);
}

}  // anonymous namespace

void search_pass(pass_kind kind, line_reader& log, run_settings& settings,
                 std::FILE* report, const host_lookup& lookup) {
  run_pass(kind, log, settings, report, lookup, false);
}

void search_pass_by_line(pass_kind kind, line_reader& log,
                         run_settings& settings, std::FILE* report,
                         const host_lookup& lookup) {
  run_pass(kind, log, settings, report, lookup, true);
}
