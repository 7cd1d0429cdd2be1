#pragma once
// Runs the built program as a user would: in a fresh working directory,
// inside new user, mount and network namespaces (no traffic leaves, DNS
// fails at once) with the test hosts file over /etc/hosts, standard input
// from a file, and a fake xdg-open that records what it was asked to open.

#include <string>
#include <utility>
#include <vector>

struct e2e_run {
  std::vector<std::string> args;  // after the program name
  std::string input;              // standard input
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes
  bool report_is_directory = false;  // makes report.html uncreatable
  bool on_terminal = false;          // run under a pseudo-terminal
  std::string hosts;                 // hosts file; empty: tests/e2e/hosts
  std::pair<std::string, std::string> link;  // hard link: target, name
  bool wait_for_viewer = true;       // give a background viewer time
};

struct e2e_result {
  int status = -1;
  std::string out;        // standard output, exactly
  std::string err;        // standard error
  bool has_report = false;
  std::string report;     // report.html, exactly
  std::string opened;     // one line per call of xdg-open
  std::string workdir;
};

/// Runs the program; waits a moment for a viewer started in the background.
e2e_result run_vantrel(const e2e_run& run);

/// Contents of a file, or empty when missing.
std::string read_file(const std::string& path);

/// Where the bytes after a run's working directory was made.
std::string e2e_data(const std::string& name);

// The program's fixed texts, written out from what a user must see.
std::string banner();
std::string progress();
std::string pass_start(bool upper);
std::string found(int number);
std::string finish();
std::string head(const std::string& term, const std::string& fname);
std::string lower_heading();
std::string result(const std::string& line);
std::string foot();
extern const std::string kNotOpen;
