#include "report/report.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(Escape, MarkupCharactersBecomeReferences) {
  std::string out;
  append_escaped(out, "a<b>&\"c'\x80\xff");
  EXPECT_EQ(out, "a&lt;b&gt;&amp;&quot;c&#39;\x80\xff");
  out = "kept ";
  append_escaped(out, "<<x>>&");  // marks first, last and side by side
  EXPECT_EQ(out, "kept &lt;&lt;x&gt;&gt;&amp;");
  out.clear();
  append_escaped(out, std::string_view("n\0l", 3));
  EXPECT_EQ(out, std::string("n\0l", 3));
}

TEST(Report, WholePageWithEscapedTermAndName) {
  std::FILE* f = std::tmpfile();
  write_head(f, "a<b", "logs/x&y.log");
  write_result(f, "<165>line");
  write_lower_heading(f);
  write_result(f, "");
  write_foot(f);
  const std::string page = contents_of(f);
  std::fclose(f);
  EXPECT_EQ(page.substr(0, page.find("<br>&nbsp;")),
            "<html>\r\n<head>\r\n"
            "<title>Vantrel Report - Search: a&lt;b in file logs/x&amp;y.log"
            "</title>\r\n"
            "</head>\r\n<body bgcolor=beige>\r\n"
            "<p><center><font face=arial size=+2>Vantrel</font></center>\r\n"
            "<p><center>Searching <b><i>a&lt;b</i></b> in log file named "
            "<b><i><font color=red>logs/x&amp;y.log</font></i></b></center>"
            "\r\n"
            "<hr noshade width=350>\r\n"
            "<p><table width=90% bgcolor='#99CCFF' align=center><tr><td>"
            "<font face=arial size=-1>\r\n"
            "<p><u><b>Showing UpperCase Results</b></u>\r\n"
            "<br>&lt;165&gt;line\r\n"
            "<p><u><b>Showing LowerCase Results</b></u>\r\n"
            "<br>\r\n");
  const std::string foot = page.substr(page.find("<br>&nbsp;"));
  EXPECT_EQ(foot.substr(0, 52),
            "<br>&nbsp;</td></tr></table><hr noshade width=350>\r\n");
  EXPECT_EQ(foot.substr(52, 14), "<p><b><center>");
  EXPECT_NE(foot.find("</b>\r\n\r\n</body>\r\n</html>\r\n"), std::string::npos);
  EXPECT_EQ(std::count(foot.begin(), foot.end(), '\n'), 5);
}

TEST(Report, EmptyTermLeavesTwoBlanksInTitle) {
  std::FILE* f = std::tmpfile();
  write_head(f, "", "a.log");
  const std::string page = contents_of(f);
  std::fclose(f);
  EXPECT_NE(page.find("<title>Vantrel Report - Search:  in file a.log</title>"),
            std::string::npos);
}

TEST(Report, WritersSayWhetherTheTextReachedTheFile) {
  // A report that could not be created (null) takes nothing and fails
  // nothing; one that takes no writes fails each writer, every later too.
  std::fclose(std::fopen("read_only.html", "wb"));
  std::FILE* read_only = std::fopen("read_only.html", "rb");
  for (std::FILE* f : {static_cast<std::FILE*>(nullptr), read_only}) {
    EXPECT_EQ(write_head(f, "t", "f") != 0, f != nullptr);
    EXPECT_EQ(write_result(f, "line") != 0, f != nullptr);
    EXPECT_EQ(write_lower_heading(f) != 0, f != nullptr);
    EXPECT_EQ(write_mixed_heading(f) != 0, f != nullptr);
    EXPECT_EQ(write_foot(f) != 0, f != nullptr);
  }
  std::fclose(read_only);
  std::remove("read_only.html");
}

TEST(Report, LineLongerThanAPieceIsWrittenWholeAndEscaped) {
  std::string line, escaped;
  for (int i = 0; line.size() < 300000; ++i) {
    line += "<a href='x'>&" + std::to_string(i);
    escaped += "&lt;a href=&#39;x&#39;&gt;&amp;" + std::to_string(i);
  }
  std::FILE* f = std::tmpfile();
  write_result(f, line);
  write_result(f, "short");
  const std::string page = contents_of(f);
  std::fclose(f);
  EXPECT_TRUE(page == "<br>" + escaped + "\r\n<br>short\r\n");
}

}  // namespace
