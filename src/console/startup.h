#pragma once
// The first step of a run after the switches: the socket library, which
// must be up before the banner.

/// Exit status of a run whose socket library could not be started.
constexpr int kSocketStartFailure = 1;

/// Starts the socket library with `start` (the platform's, in the program).
/// When that fails, prints "Winsock init error" and a line break in the
/// colour the console already has, and returns false: the run then ends
/// with kSocketStartFailure.
bool start_socket_library(bool (*start)());
