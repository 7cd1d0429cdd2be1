#pragma once
// Ctrl-C and termination requests during the search. The report must stay
// whole up to its last line however the run is stopped, and a long report
// line takes several writes; so the signal only marks the request, the
// passes stop at the next line boundary, and the run then ends by the same
// signal.

/// Catches SIGINT and SIGTERM (and SIGHUP where it exists) from now on; a
/// second one before the run has stopped ends it at once.
void catch_stop_signals();

/// True once a caught signal has asked the run to stop.
bool stop_requested();

/// Puts the signals back to their default action. When one was caught,
/// flushes standard output and ends the process by that signal.
void release_stop_signals();
