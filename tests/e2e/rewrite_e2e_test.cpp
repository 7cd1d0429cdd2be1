// Hits written cleaned: session lines left out, local4 priorities and three
// identifiers deleted, destinations named from the test hosts file, URLs
// trimmed on request.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_support.h"

namespace {

const std::string kLog =
    "<166>Mar 02 2006 09:00:01: %PIX-6-302013: Built outbound TCP connection "
    "5210001 for outside:203.0.113.80/80 (203.0.113.80/80) to "
    "inside:10.20.1.15/3301 (198.51.100.2/3301)\r\n"
    "<165>Mar 02 2006 09:00:01: %PIX-5-304001: 10.20.1.15 Accessed URL "
    "203.0.113.80:/index.html\r\n"
    "<166>Mar 02 2006 09:00:09: %PIX-6-109001: Auth start for user "
    "'dkowalski' from 10.20.1.15/3302 to 192.0.2.15/80\r\n"
    "<162>Mar 02 2006 09:00:11: %PIX-2-109011: Authen Session Start: user "
    "'dkowalski', sid 31\r\n"
    "<165>Mar 02 2006 09:00:12: %PIX-5-304001: dkowalski@10.20.1.15 Accessed "
    "URL 192.0.2.15:/intranet/timesheet.asp\r\n"
    "<165>Mar 02 2006 09:01:03: %PIX-5-304001: 10.20.1.40 Accessed URL "
    "198.51.100.23:/news/today.html\r\n"
    "<165>Mar 02 2006 09:01:15: %PIX-5-304001: DKOWALSKI@10.20.1.15 Accessed "
    "URL 192.0.2.200:/downloads/setup.exe\r\n"
    "<165>Mar 02 2006 09:04:02: %PIX-5-109012: Authen Session End: user "
    "'dkowalski', sid 31, elapsed 231 seconds\r\n"
    "<164>Mar 02 2006 09:05:00: %PIX-4-106023: Deny udp src "
    "outside:192.0.2.77/1025 dst dmz:10.20.1.15/1434 by access-group "
    "\"outside_access_in\"\r\n";

e2e_result search(const std::string& term, const std::string& trim) {
  e2e_run run;
  run.args = {"-t", trim, "-s", term, "-f", "pix.log"};
  run.files = {{"pix.log", kLog}};
  run.input = "\n";
  return run_vantrel(run);
}

std::string whole_run(const std::string& upper, const std::string& lower) {
  return banner() + progress() + pass_start(true) + upper + pass_start(false) +
         lower + finish();
}

const std::string kAuthStart =
    "&lt;166&gt;Mar 02 2006 09:00:09: %PIX-6-109001: Auth start for user "
    "&#39;dkowalski&#39; from 10.20.1.15/3302 to 192.0.2.15/80";

TEST(Rewrite, UserIdTrimmed) {
  const e2e_result r = search("dkowalski", "1");
  // Session lines are announced but not written.
  EXPECT_EQ(r.out, whole_run(found(1),
                             found(1) + found(2) + found(3) + found(4)));
  EXPECT_EQ(r.report,
            head("dkowalski", "pix.log") +
                result("Mar 02 2006 09:01:15: DKOWALSKI@10.20.1.15 Accessed "
                       "URL 192.0.2.200") +
                lower_heading() + result(kAuthStart) +
                result("Mar 02 2006 09:00:12: dkowalski@10.20.1.15 Accessed "
                       "URL intranet.corp.example.net") +
                foot());
}

TEST(Rewrite, UserIdWhole) {
  const e2e_result r = search("dkowalski", "2");
  EXPECT_EQ(r.report,
            head("dkowalski", "pix.log") +
                result("Mar 02 2006 09:01:15: DKOWALSKI@10.20.1.15 Accessed "
                       "URL 192.0.2.200:/downloads/setup.exe") +
                lower_heading() + result(kAuthStart) +
                result("Mar 02 2006 09:00:12: dkowalski@10.20.1.15 Accessed "
                       "URL intranet.corp.example.net:/intranet/timesheet.asp") +
                foot());
}

const std::string kBuilt =
    "&lt;166&gt;Mar 02 2006 09:00:01: %PIX-6-302013: Built outbound TCP "
    "connection 5210001 for outside:203.0.113.80/80 (203.0.113.80/80) to "
    "inside:10.20.1.15/3301 (198.51.100.2/3301)";

TEST(Rewrite, AddressTrimmedAndWhole) {
  const std::string trimmed =
      result(kBuilt) +
      result("Mar 02 2006 09:00:01: 10.20.1.15 Accessed URL www.example.com");
  e2e_result r = search("203.0.113.80", "1");
  EXPECT_EQ(r.out, whole_run(found(1) + found(2), found(1) + found(2)));
  EXPECT_EQ(r.report, head("203.0.113.80", "pix.log") + trimmed +
                          lower_heading() + trimmed + foot());
  const std::string whole =
      result(kBuilt) + result("Mar 02 2006 09:00:01: 10.20.1.15 Accessed URL "
                              "www.example.com:/index.html");
  r = search("203.0.113.80", "2");
  EXPECT_EQ(r.report, head("203.0.113.80", "pix.log") + whole +
                          lower_heading() + whole + foot());
}

TEST(Rewrite, ShorterNameAndTermInsideARemovedTag) {
  e2e_result r = search("198.51.100.23", "1");
  const std::string line =
      result("Mar 02 2006 09:01:03: 10.20.1.40 Accessed URL news.tst");
  EXPECT_EQ(r.report, head("198.51.100.23", "pix.log") + line +
                          lower_heading() + line + foot());
  // '304001' selects the URL lines although it is deleted from them.
  r = search("304001", "2");
  const std::string four = found(1) + found(2) + found(3) + found(4);
  EXPECT_EQ(r.out, whole_run(four, four));
  const std::string results = r.report.substr(head("304001", "pix.log").size());
  EXPECT_EQ(results.find("304001"), std::string::npos);
  EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 8 + 1 + 5);
}

// The successors' log: their tags go, every URL form is named and trimmed,
// and the mixed-case JDoe is found by neither pass, only with -i.
TEST(Rewrite, SuccessorsLog) {
  e2e_run run;
  run.args = {"-t", "1", "-s", "jdoe", "-f", "asa.log"};
  run.files = {{"asa.log", read_file(e2e_data("../../examples/asa.log"))}};
  const std::string t = "Dec 07 2026 09:1", url = " Accessed URL ";
  const std::string report =
            head("jdoe", "asa.log") +
                result(t + "7:12: JDOE@192.0.2.12" + url + "192.0.2.200") +
                result(t + "8:05: 192.0.2.12(CORP\\JDOE)" + url + "news.tst") +
                lower_heading() +
                result("&lt;166&gt;" + t + "4:05: %ASA-6-113004: AAA user "
                       "authentication Successful : server = 192.0.2.5 : "
                       "user = jdoe") +
                result(t + "4:09: jdoe@192.0.2.10" + url + "news.tst") +
                result(t + "4:20: jdoe@192.0.2.10" + url +
                       "jdoe@intranet.corp.example.net") +
                result(t + "5:30: 192.0.2.10(CORP\\jdoe) Accessed JAVA URL "
                       "jdoe@shop.example.org");
  EXPECT_EQ(run_vantrel(run).report, report + foot());
  // With -i, JDoe's lines follow in a section of their own.
  run.args.insert(run.args.begin(), "-i");
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.out, whole_run(found(1) + found(2),
                             found(1) + found(2) + found(3) + found(4) +
                                 found(5) + "\tSearching MixedCase...\n" +
                                 found(1) + found(2) + found(3)));
  EXPECT_EQ(r.report,
            report + "<p><u><b>Showing MixedCase Results</b></u>\r\n" +
                result(t + "6:02: JDoe@192.0.2.11" + url + "www.example.com") +
                result(t + "6:40: 192.0.2.11(CORP\\JDoe) Accessed JAVA URL "
                       "JDoe@www.example.com") +
                result("Dec 07 2026 09:20:41: 192.0.2.11" + url + "shop.example.org") +
                foot());
}

}  // namespace
