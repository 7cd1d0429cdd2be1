// The report as a browser sees it: a log whose URLs and user names carry
// markup and script is rendered in headless Chromium, from a local file
// and with no network, and the resulting DOM must show every line as text,
// hold no element the log brought in, and show that no script ran.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace fs = std::filesystem;

namespace {

std::string chromium_path() {
  const char* set = std::getenv("VANTREL_CHROMIUM");
  if (set != nullptr && *set != '\0') return set;
  for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (fs::exists(p)) return p;
  return "";
}

// The DOM Chromium builds from a local page, serialised. Run in its own
// network namespace so that nothing it tries can leave the machine.
std::string dump_dom(const std::string& page, std::string* log) {
  const fs::path dir = fs::path(page).parent_path().parent_path() / "chromium";
  fs::create_directories(dir / "profile");
  const fs::path out = dir / "dom.html";
  const fs::path err = dir / "stderr";
  const std::vector<std::string> argv = {
      "timeout", "120", "unshare", "-rn", "--", chromium_path(),
      "--headless", "--no-sandbox", "--disable-gpu",
      "--disable-background-networking", "--no-first-run",
      "--disable-component-update", "--disable-sync", "--disable-extensions",
      "--lang=en-US", "--user-data-dir=" + (dir / "profile").string(),
      "--dump-dom", "file://" + page};
  const int status = run_command(argv, out.string(), err.string(),
                                 {"HOME", dir.string()});  // caches kept apart
  *log = "chromium exit " + std::to_string(status) + "\n" +
         read_file(err.string());
  return read_file(out.string());
}

// Text as the DOM serialiser writes it.
std::string dom_text(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

// Where a written line is shown as text in the DOM, or npos: "<br>", then
// its ASCII exactly; bytes from 0x80 up and NUL may be decoded as the
// browser likes, but only into text (nothing holding '<' or '>'). The line
// is cut into the pieces between such bytes, each found after the last.
std::size_t shown_at(const std::string& dom, const std::string& line) {
  std::vector<std::string> pieces = {"<br>"};
  bool gap = false;
  for (char c : dom_text(line)) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || u == 0) {
      gap = true;
      continue;
    }
    if (gap) pieces.emplace_back();
    gap = false;
    pieces.back() += c;
  }
  for (std::size_t at = dom.find(pieces[0]); at != std::string::npos;
       at = dom.find(pieces[0], at + 1)) {
    std::size_t pos = at + pieces[0].size();
    bool whole = true;
    for (std::size_t i = 1; i < pieces.size() && whole; ++i) {
      const std::size_t next = dom.find(pieces[i], pos);
      whole = next != std::string::npos &&
              dom.find_first_of("<>", pos) >= next;
      pos = next + pieces[i].size();
    }
    if (whole) return at;
  }
  return std::string::npos;
}

// The names of the elements in serialised markup, in order. Text never
// holds a raw '<' once serialised, so every '<' opens a tag.
std::vector<std::string> tags(const std::string& dom) {
  std::vector<std::string> names;
  for (std::size_t at = dom.find('<'); at != std::string::npos;
       at = dom.find('<', at + 1)) {
    std::size_t end = at + 1;
    if (end < dom.size() && dom[end] == '/') ++end;
    while (end < dom.size() && std::isalnum(static_cast<unsigned char>(dom[end])))
      ++end;
    names.push_back(dom.substr(at + 1, end - at - 1));
  }
  return names;
}

const std::string kTerm = "<b>eve\"&'";
const std::string kFile = "fw<i>&amp;'\".log";

const std::vector<std::string> kHostile = {
    "<165>Mar 02 2006 09:00:01: %PIX-5-304001: 10.20.1.15 user <b>eve\"&' "
    "Accessed URL 203.0.113.80:/<script>document.title='owned'</script>",
    "10.20.1.16 user <b>eve\"&'<script>document.title=\"owned\"</script> "
    "Accessed URL 192.0.2.200:/q?a=1&amp;b=<img src=x "
    "onerror=\"document.title='owned'\">",
    "user <b>eve\"&'\"><img src=x onerror=document.title='owned'> "
    "Accessed URL 198.51.100.23:/caf\xe9/\x80\x9f\xff/"
    "<svg onload=document.title='owned'>",
    "user <b>eve\"&' </td></tr></table><iframe "
    "src=\"javascript:parent.document.title='owned'\"></iframe>",
    "user <b>eve\"&' <meta http-equiv=refresh "
    "content=\"0;url=javascript:document.title='owned'\"><!-- unclosed",
    "user <b>eve\"&' <style>body{display:none}</style> &lt;b&gt; &#60;i&#62; "
    "&nbsp; `tick` <![CDATA[ x ]]>",
    std::string("user <b>eve\"&' nul") + '\0' + "byte \xc3\xa9 <plaintext>",
    "<B>EVE\"&' upper case <body onload=document.title='owned'>",
};

// What the program writes of each line: local4 priority and the URL
// identifier go, destinations are named from the test hosts file.
const std::vector<std::string> kWrittenLower = {
    "Mar 02 2006 09:00:01: 10.20.1.15 user <b>eve\"&' Accessed URL "
    "www.example.com:/<script>document.title='owned'</script>",
    kHostile[1], kHostile[2], kHostile[3], kHostile[4], kHostile[5],
    kHostile[6]};
const std::vector<std::string> kWrittenUpper = {kHostile[7]};

struct rendered {
  std::string dom;
  std::string log;
};

rendered render(const std::vector<std::string>& lines) {
  std::string log;
  for (const std::string& line : lines) log += line + "\n";
  e2e_run run;
  run.args = {"-t", "2", "-s", kTerm, "-f", kFile};
  run.files = {{kFile, log}};
  run.input = "\n";
  rendered out;
  run.inspect = [&out](const std::string& work) {
    out.dom = dump_dom(work + "/report.html", &out.log);
  };
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.status, 0);
  return out;
}

TEST(Browser, HostileLogShowsAsTextAndRunsNoScript) {
  if (chromium_path().empty()) {
    if (std::getenv("CI") != nullptr) FAIL() << "chromium is not installed";
    GTEST_SKIP() << "chromium is not installed";
  }
  const rendered hostile = render(kHostile);
  ASSERT_NE(hostile.dom, "") << hostile.log;

  // No script ran: every payload would have renamed the page.
  EXPECT_NE(hostile.dom.find("<title>" +
                             dom_text("Vantrel Report - Search: " + kTerm +
                                      " in file " + kFile) +
                             "</title>"),
            std::string::npos)
      << hostile.dom;
  EXPECT_EQ(hostile.dom.rfind("<html><head>", 0), 0u) << hostile.dom;

  // Every written line is there as text, in its section.
  const std::size_t lower_at = hostile.dom.find("Showing LowerCase Results");
  ASSERT_NE(lower_at, std::string::npos);
  for (const std::string& line : kWrittenUpper)
    EXPECT_LT(shown_at(hostile.dom, line), lower_at)
        << "not shown as text: " << line;
  for (const std::string& line : kWrittenLower) {
    const std::size_t at = shown_at(hostile.dom, line);
    EXPECT_TRUE(at != std::string::npos && at > lower_at)
        << "not shown as text: " << line;
  }

  // No element came from the log: the page has exactly the elements of a
  // report with as many plain lines.
  std::vector<std::string> plain;
  for (std::size_t i = 0; i < kHostile.size() - 1; ++i)
    plain.push_back("plain <b>eve\"&' line " + std::to_string(i));
  plain.push_back("plain <B>EVE\"&' line");
  const rendered reference = render(plain);
  ASSERT_NE(reference.dom, "") << reference.log;
  EXPECT_EQ(tags(hostile.dom), tags(reference.dom)) << hostile.dom;
}

}  // namespace
