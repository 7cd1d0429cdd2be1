// Settings the switches leave open, asked for at the console: what is shown,
// what each answer sets (seen in the report), and runs whose input is odd,
// short or ends early, which must all finish.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

// One hit per pass; trimming shows in the written lines.
const std::string kLog =
    "JDOE url 203.0.113.80:/index.html\n"
    "jdoe url 203.0.113.80:/a.html\n";

const std::string kFilePrompt =
    "\tLogfile Name (including extension, ex: friday.log)> ";
const std::string kTermPrompt =
    "\tWhat are we looking for? (ex: 192.168.100.1, userid1)> ";
const std::string kTrimPrompt =
    "\n\tRead more about Trim in the ReadMe!.txt file.\n"
    "\tTrim URL's? (1=yes, 2=no)> ";

// The check of a trim choice that is neither 1 nor 2, and the one retry.
std::string retry(int trim, int trim_from_switch) {
  return std::to_string(trim) + "\n" + std::to_string(trim_from_switch) +
         "\n\tERROR: Choose a 1 or a 2 ===>\n\tTrim URL's? (1=yes, 2=no)> ";
}

// Everything after the prompts when the log holds kLog and the term finds
// one line per pass.
std::string after_prompts() {
  return progress() + pass_start(true) + found(1) + pass_start(false) +
         found(1) + finish();
}

std::string report(bool trimmed, const std::string& fname = "fw.log") {
  return head("jdoe", fname) +
         result(trimmed ? "JDOE url www.example.com"
                        : "JDOE url www.example.com:/index.html") +
         lower_heading() +
         result(trimmed ? "jdoe url www.example.com"
                        : "jdoe url www.example.com:/a.html") +
         foot();
}

e2e_run prompted(const std::string& input) {
  e2e_run run;
  run.files = {{"fw.log", kLog}};
  run.input = input;
  return run;
}

TEST(Prompts, AllThreeAnswered) {
  const e2e_result r = run_vantrel(prompted("fw.log\njdoe\n1\n\n"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, banner() + kFilePrompt + kTermPrompt + kTrimPrompt +
                       after_prompts());
  EXPECT_EQ(r.report, report(true));
  EXPECT_EQ(r.opened, viewer_call(r));
  EXPECT_EQ(r.err, "");
}

TEST(Prompts, SwitchesSkipTheirPrompts) {
  for (int given = 0; given < 8; ++given) {
    const bool f = given & 1, s = given & 2, t = given & 4;
    e2e_run run = prompted("");
    std::string prompts;
    if (f) {
      run.args.insert(run.args.end(), {"-f", "fw.log"});
    } else {
      prompts += kFilePrompt;
      run.input += "fw.log\n";
    }
    if (s) {
      run.args.insert(run.args.end(), {"-s", "jdoe"});
    } else {
      prompts += kTermPrompt;
      run.input += "jdoe\n";
    }
    if (t) {
      run.args.insert(run.args.end(), {"-t", "1"});
    } else {
      prompts += kTrimPrompt;
      run.input += "1\n";
    }
    run.input += "\n";
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.out, banner() + prompts + after_prompts()) << given;
    EXPECT_EQ(r.report, report(true)) << given;
  }
}

struct trim_case {
  std::vector<std::string> args;  // besides -s jdoe -f fw.log
  std::string input;
  std::string shown;  // between the banner and the progress lines
  bool trimmed;
};

TEST(Prompts, TrimChoiceIsCheckedAndAskedOnce) {
  const trim_case cases[] = {
      {{}, "2\n\n", kTrimPrompt, false},
      {{}, "+2\n\n", kTrimPrompt, false},
      {{}, "1abc\n\n", kTrimPrompt, true},
      {{}, "  \t+1  \t\n\n", kTrimPrompt, true},
      {{}, "3\n2\n\n", kTrimPrompt + retry(3, 0), false},
      {{}, "3\n1\n\n", kTrimPrompt + retry(3, 0), true},
      // The retry is not checked again.
      {{}, "3\n7\n\n", kTrimPrompt + retry(3, 0), false},
      {{}, "-1\n1\n\n", kTrimPrompt + retry(-1, 0), true},
      {{"-t", "9"}, "1\n\n", retry(9, 9), true},
      {{"-t", "-5"}, "3\n\n", retry(-5, -5), false},
      {{"-t", "2"}, "1\n\n", "", false},
      // A non-number or an out-of-range number keeps the choice and stops
      // all reading: the retry's '1' is never taken.
      {{}, "x\n1\n\n", kTrimPrompt + retry(0, 0), false},
      {{}, "99999999999\n1\n\n", kTrimPrompt + retry(0, 0), false},
      {{}, "-99999999999\n1\n\n", kTrimPrompt + retry(0, 0), false},
      {{"-t", "9"}, "x\n", retry(9, 9), false},
      {{"-t", "9"}, "4294967297\n", retry(9, 9), false},
  };
  for (const trim_case& c : cases) {
    e2e_run run = prompted(c.input);
    run.args = c.args;
    run.args.insert(run.args.end(), {"-s", "jdoe", "-f", "fw.log"});
    const e2e_result r = run_vantrel(run);
    EXPECT_EQ(r.status, 0) << c.input;
    EXPECT_EQ(r.out, banner() + c.shown + after_prompts()) << c.input;
    EXPECT_EQ(r.report, report(c.trimmed)) << c.input;
    EXPECT_EQ(r.opened, viewer_call(r)) << c.input;
  }
}

TEST(Prompts, AnswerIsCutAtTheFirstBlank) {
  e2e_run run = prompted("my log.txt\njdoe\n1\n\n");
  run.files = {{"my", kLog}};
  const e2e_result r = run_vantrel(run);
  EXPECT_EQ(r.out, banner() + kFilePrompt + kTermPrompt + kTrimPrompt +
                       after_prompts());
  EXPECT_EQ(r.report, report(true, "my"));
}

TEST(Prompts, BlankLinesAreWaitedThroughWithoutAskingAgain) {
  const e2e_result r = run_vantrel(
      prompted("\n  \n\t\r\n   fw.log   \n\n\n jdoe\n \n\n1\n\n"));
  EXPECT_EQ(r.out, banner() + kFilePrompt + kTermPrompt + kTrimPrompt +
                       after_prompts());
  EXPECT_EQ(r.report, report(true));
}

TEST(Prompts, CrLfAnswers) {
  const e2e_result r = run_vantrel(prompted("fw.log\r\njdoe\r\n1\r\n\r\n"));
  EXPECT_EQ(r.out, banner() + kFilePrompt + kTermPrompt + kTrimPrompt +
                       after_prompts());
  EXPECT_EQ(r.report, report(true));
}

// At most 100 bytes after an answer are skipped; the rest of that line is
// the next answer.
TEST(Prompts, LongLineSurplusGoesToTheNextPrompt) {
  const std::string skipped = " " + std::string(99, 'z');
  e2e_result r = run_vantrel(prompted("fw.log\njdoe" + skipped + "1\n2\n\n"));
  EXPECT_EQ(r.out, banner() + kFilePrompt + kTermPrompt + kTrimPrompt +
                       after_prompts());
  EXPECT_EQ(r.report, report(true));

  // Surplus that is not a number fails the trim read; the next lines are
  // not taken.
  r = run_vantrel(prompted("fw.log\njdoe" + skipped + "zz\n1\n1\n"));
  EXPECT_EQ(r.out, banner() + kFilePrompt + kTermPrompt + kTrimPrompt +
                       retry(0, 0) + after_prompts());
  EXPECT_EQ(r.report, report(false));
}

// Input that ends where an answer is due gives none (blank lines are none
// either): the run ends there, before the report is touched.
TEST(Prompts, EndOfInputAfterEachPrompt) {
  const std::string all = banner() + kFilePrompt + kTermPrompt + kTrimPrompt;
  const std::string file = banner() + kFilePrompt;
  e2e_result r;
  const std::pair<std::string, std::string> cases[] = {  // input, shown
      {"", file}, {"\n  \n", file}, {" fw.log \n \n", file + kTermPrompt},
      {"fw.log\njdoe ", all}, {"fw.log\njdoe\n3\n", all + retry(3, 0)}};
  for (const auto& [input, shown] : cases) {
    e2e_run run = prompted(input);
    run.files.push_back({"report.html", "an earlier report"});
    run.wait_for_viewer = false;
    r = run_vantrel(run);
    EXPECT_EQ(r.status, 1) << input;
    EXPECT_EQ(r.out, shown + kNoAnswer) << input;
    EXPECT_EQ(r.report, "an earlier report") << input;
    EXPECT_EQ(r.opened, "") << input;
  }
  e2e_run run = prompted("");
  run.on_terminal = true;  // Ctrl-D, and the message in light red
  run.wait_for_viewer = false;
  EXPECT_NE(screen_of(run_vantrel(run).out).at_end.find("{91}The input ended"),
            std::string::npos);

  // An answer the input ends on still counts; the Enter wait returns.
  for (const char* input : {"fw.log\njdoe\n1", "fw.log\njdoe\n1\n"}) {
    r = run_vantrel(prompted(input));
    EXPECT_EQ(r.out, all + after_prompts()) << input;
    EXPECT_EQ(r.report, report(true)) << input;
  }
}

// On a terminal the prompts and the check come in their colours: the file
// prompt in the banner's yellow, answers in white, the check's numbers in
// the colour in force.
TEST(Prompts, ColoursOnATerminal) {
  // Answers from a file are not echoed into the text; 'x' fails the trim
  // answer, so the retry shows and takes nothing.
  e2e_run run = prompted("fw.log\njdoe\nx\n");
  run.on_terminal = run.input_piped = true;
  run.wait_for_viewer = false;
  const e2e_result r = run_vantrel(run);
  // What shows, on any terminal; a colour with no text in it shows only in
  // the sequences a terminal of the host's is sent (below).
  const std::string shown = screen_of(r.out).before_clear;
  EXPECT_NE(shown.find("        {93}Logfile Name (including extension, ex: "
                       "friday.log)>     What are we look"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("{37}Read more about Trim in the ReadMe!.txt file.\n"
                       "        {93}Trim URL's? (1=yes, 2=no)> {97}0\n0\n"
                       "        {91}ERROR: Choose a 1 or a 2 ===>\n"
                       "        {93}Trim URL's? (1=yes, 2=no)>"),
            std::string::npos)
      << shown;
  run.args = {"-t", "9", "-s", "jdoe", "-f", "fw.log"};
  const e2e_result checked = run_vantrel(run);
  EXPECT_NE(screen_of(checked.out).before_clear.find("*\n\n{93}9\n9\n"),
            std::string::npos)
      << checked.out;
  if (windows_program()) return;
  const std::string yellow = "\x1b[0;93m", white = "\x1b[0;97m",
                    grey = "\x1b[0;37m", light_red = "\x1b[0;91m";
  EXPECT_NE(r.out.find(yellow + kFilePrompt + white + yellow + kTermPrompt +
                       white + grey +
                       "\r\n\tRead more about Trim in the ReadMe!.txt "
                       "file.\r\n" +
                       yellow + "\tTrim URL's? (1=yes, 2=no)> " + white +
                       "0\r\n0\r\n" + light_red +
                       "\tERROR: Choose a 1 or a 2 ===>" + yellow +
                       "\r\n\tTrim URL's? (1=yes, 2=no)> " + white),
            std::string::npos)
      << r.out;

  // With every prompt skipped, the check's numbers are in the banner's
  // yellow.
  EXPECT_NE(checked.out.find("*\r\n\r\n" + yellow + "9\r\n9\r\n" + light_red),
            std::string::npos)
      << checked.out;
}

}  // anonymous namespace
