#include "settings/prompts.h"

#include <cstdio>
#include <string>

#include "console/console.h"
#include "settings/answer_reader.h"

namespace {

// One reader over standard input for the whole run, so the Enter wait at
// the end sees what the prompts left: pending bytes, or an input that has
// ended or failed.
answer_reader& console_input() {
  static answer_reader reader = [] {
    answer_reader r;
    open_answers(r, stdin, stdout);
    return r;
  }();
  return reader;
}

// Whether the read took an answer. A reader stopped by an answer that was
// not a number has had one; only the input's end leaves none.
bool answered(const answer_reader& in, bool read) {
  return read || in.failed;
}

bool ask_word(answer_reader& in, std::string* word) {
  const bool read = read_word(in, word);
  skip_line(in);
  return answered(in, read);
}

// before: what goes ahead of the question in its colour.
bool ask_trim(answer_reader& in, run_settings& settings, const char* before) {
  color(YELLOW);
  print(before);
  print("\tTrim URL's? (1=yes, 2=no)> ");
  color(WHITE);
  const bool read = read_number(in, &settings.trim);
  skip_line(in);
  return answered(in, read);
}

}  // anonymous namespace

bool complete_settings(run_settings& settings) {
  answer_reader& in = console_input();
  if (settings.log_name.empty()) {
    // Shown in the colour the banner left.
    print("\tLogfile Name (including extension, ex: friday.log)> ");
    color(WHITE);
    if (!ask_word(in, &settings.log_name)) return false;
  }
  if (!settings.term_from_switch) {
    color(YELLOW);
    print("\tWhat are we looking for? (ex: 192.168.100.1, userid1)> ");
    color(WHITE);
    if (!ask_word(in, &settings.term)) return false;
  }
  if (settings.trim == 0) {
    color(GREY);
    print("\n\tRead more about Trim in the ReadMe!.txt file.\n");
    if (!ask_trim(in, settings, "")) return false;
  }
  // One retry only: whatever comes back is taken, and anything but 1 means
  // lines are kept whole.
  if (settings.trim != 1 && settings.trim != 2) {
    print_number(settings.trim);
    print("\n");
    print_number(settings.trim_from_switch);
    print("\n");
    color(LIGHTRED);
    print("\tERROR: Choose a 1 or a 2 ===>");
    if (!ask_trim(in, settings, "\n")) return false;
  }
  if (settings.term_from_switch) settings.term = *settings.term_from_switch;
  return true;
}

void wait_for_enter() { read_key(console_input()); }
