#include "report/report.h"

#include <cerrno>
#include <chrono>
#include <mutex>

namespace {

// Held while a line is written, and for good once the run is to end at
// once (end_report_lines).
std::timed_mutex line_lock;

// 0 when everything written so far reached the file, else the errno value
// of the write or flush that failed (a full disk shows only at the flush).
int flushed(std::FILE* report) {
  errno = 0;
  if (std::fflush(report) == 0 && std::ferror(report) == 0) return 0;
  return errno != 0 ? errno : EIO;
}

// Text from the log, the term and the file name is escaped: log lines carry
// URLs chosen by any client behind the firewall, and the report is opened in
// a browser.
int write_line(std::FILE* report, std::string_view markup) {
  if (report == nullptr) return 0;
  const std::lock_guard<std::timed_mutex> whole(line_lock);
  std::fwrite(markup.data(), 1, markup.size(), report);
  std::fwrite("\r\n", 1, 2, report);
  return flushed(report);
}

// The HTML reference of each byte that needs one, indexed by byte value.
struct reference_table {
  const char* ref[256] = {};
  constexpr reference_table() {
    set('&', "&amp;");
    set('<', "&lt;");
    set('>', "&gt;");
    set('"', "&quot;");
    set('\'', "&#39;");
  }
  constexpr void set(unsigned char c, const char* r) { ref[c] = r; }
  constexpr const char* operator[](unsigned char c) const { return ref[c]; }
};
constexpr reference_table kReference;

// Hands text to out in pieces, each byte that needs it replaced by its
// reference; runs of safe bytes go whole, as result lines are long and
// marks few.
template <typename Out>
void escape_into(std::string_view text, Out out) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* ref = kReference[static_cast<unsigned char>(text[i])];
    if (ref == nullptr) continue;
    out(text.substr(run, i - run));
    out(std::string_view(ref));
    run = i + 1;
  }
  out(text.substr(run));
}

std::string escaped(std::string_view text) {
  std::string out;
  append_escaped(out, text);
  return out;
}

}  // anonymous namespace

void append_escaped(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  escape_into(text, [&](std::string_view piece) { out.append(piece); });
}

int write_head(std::FILE* report, std::string_view term,
               std::string_view fname, window_ends window) {
  const std::string t = escaped(term);
  const std::string f = escaped(fname);
  const bool windowed = !window.from.empty() || !window.to.empty();
  const std::string from = escaped(window.from), to = escaped(window.to);
  const std::string title_window =
      windowed ? " between " + from + " and " + to : "";
  const std::string line_window =
      windowed ? " between <b>" + from + "</b> and <b>" + to + "</b>" : "";
  write_line(report, "<html>");
  write_line(report, "<head>");
  write_line(report, "<title>Vantrel Report - Search: " + t + " in file " + f +
                         title_window + "</title>");
  write_line(report, "</head>");
  write_line(report, "<body bgcolor=beige>");
  write_line(report,
             "<p><center><font face=arial size=+2>Vantrel</font></center>");
  write_line(report, "<p><center>Searching <b><i>" + t +
                         "</i></b> in log file named <b><i><font color=red>" +
                         f + "</font></i></b>" + line_window + "</center>");
  write_line(report, "<hr noshade width=350>");
  write_line(report,
             "<p><table width=90% bgcolor='#99CCFF' align=center><tr><td>"
             "<font face=arial size=-1>");
  return write_line(report, "<p><u><b>Showing UpperCase Results</b></u>");
}

int write_lower_heading(std::FILE* report) {
  return write_line(report, "<p><u><b>Showing LowerCase Results</b></u>");
}

int write_mixed_heading(std::FILE* report) {
  return write_line(report, "<p><u><b>Showing MixedCase Results</b></u>");
}

int write_result(std::FILE* report, std::string_view line) {
  if (report == nullptr) return 0;
  const std::lock_guard<std::timed_mutex> whole(line_lock);
  // Escaped straight into the stream's buffer, so that no copy of the line
  // is made: lines can be long, and the stream joins a short line's pieces
  // into one write at the flush. A long line takes several writes; a stop
  // signal is held until the line is whole.
  const auto put = [report](std::string_view piece) {
    std::fwrite(piece.data(), 1, piece.size(), report);
  };
  put("<br>");
  escape_into(line, put);
  put("\r\n");
  return flushed(report);
}

int write_lack(std::FILE* report, std::string_view text) {
  return write_line(report,
                    "<p><font color=red><b>" + escaped(text) + "</b></font>");
}

int write_foot(std::FILE* report) {
  write_line(report, "<br>&nbsp;</td></tr></table><hr noshade width=350>");
  write_line(report,
             "<p><b><center>Vantrel v1.0: firewall log search with host names"
             " for every destination.</b>");
  write_line(report, "");
  write_line(report, "</body>");
  return write_line(report, "</html>");
}

void end_report_lines() {
  // Not given back: the process ends with it held.
  const bool held = line_lock.try_lock_for(std::chrono::seconds(1));
  (void)held;
}
