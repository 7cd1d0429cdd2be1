#include "settings/usage.h"

// The version comes from the build, so it always matches the packages'.
#ifndef VANTREL_VERSION
#error "VANTREL_VERSION must be defined by the build"
#endif

std::string info_text(info_request request, const std::string& formats) {
  switch (request) {
    case info_request::help:
      return "Usage: vantrel [-f logfile] [-s term] [-t 1|2] [-i] [-w] "
             "[-o report] [-x]\n"
             "               [--since WHEN] [--until WHEN] [logfile...]\n"
             "       vantrel --help | --version\n"
             "\n"
             "Searches a firewall log for the term, in upper case and then in\n"
             "lower case, and writes the lines found to report.html in the\n"
             "current directory, then opens it in the default viewer.\n"
             "A log compressed with gzip, bzip2, xz, lzma, zstd, lz4,\n"
             "compress or brotli (named *.br) is searched as the log it\n"
             "holds (--version lists those this build reads).\n"
             "Whatever the switches leave open is asked for.\n"
             "\n"
             "  -f logfile  the log to search, a name or a path\n"
             "  logfile...  with -f, more logs after the switches; a name\n"
             "              with * or ? that names no file is a pattern over\n"
             "              its folder; the logs are searched oldest first\n"
             "              as one log\n"
             "  -s term     the term to look for; may be empty\n"
             "  -t 1|2      1 trims each URL after the host name, 2 keeps "
             "lines whole\n"
             "  -i          also the lines that hold the term in mixed case\n"
             "              only (JDoe for jdoe), in a third section\n"
             "  -w          only where the term stands as a whole word: no\n"
             "              letter, digit or _ right before or after it\n"
             "              (10.1.2.3 but not 10.1.2.30, jdoe but not ajdoe)\n"
             "  -o report   the report's name or path, instead of\n"
             "              report.html in the current directory\n"
             "  --since WHEN  only the lines written at WHEN or later\n"
             "  --until WHEN  only the lines written at WHEN or earlier;\n"
             "              WHEN is YYYY-MM-DD [HH:MM[:SS]], HH:MM, now,\n"
             "              today, yesterday, tomorrow or -2h, -30min, -7d\n"
             "  -x          accepted, no effect\n"
             "\n"
             "More in the manual page: man vantrel\n";
    case info_request::version:
      return "vantrel " VANTREL_VERSION "\ncompressed logs read: " + formats +
             "\n";
    case info_request::none:
      break;
  }
  return "";
}
