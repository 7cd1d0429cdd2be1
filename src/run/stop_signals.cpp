#include "run/stop_signals.h"

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace {

volatile std::sig_atomic_t caught = 0;

// Only a flag is set: nothing else may safely be done in a handler. A
// second request while the first waits (on a pipe that gives nothing, say)
// ends the run at once.
extern "C" void on_stop_signal(int sig) {
  if (caught != 0) std::_Exit(128 + sig);
  caught = sig;
  std::signal(sig, on_stop_signal);  // where the handler is reset on entry
}

using handler = void (*)(int);

constexpr int kSignals[] = {
    SIGINT, SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};
constexpr std::size_t kCount = sizeof kSignals / sizeof kSignals[0];

handler previous[kCount] = {};

}  // anonymous namespace

void catch_stop_signals() {
  for (std::size_t i = 0; i < kCount; ++i) {
    previous[i] = std::signal(kSignals[i], on_stop_signal);
    // A signal ignored when we started (nohup, a background job) stays
    // ignored, as the user asked.
    if (previous[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
    if (previous[i] == SIG_ERR) previous[i] = SIG_DFL;
  }
}

bool stop_requested() { return caught != 0; }

void release_stop_signals() {
  for (std::size_t i = 0; i < kCount; ++i)
    std::signal(kSignals[i], previous[i] == nullptr ? SIG_DFL : previous[i]);
  const int sig = caught;
  if (sig == 0) return;
  std::fflush(stdout);
  // Ending by the signal itself tells the shell the run was interrupted.
  std::signal(sig, SIG_DFL);
  std::raise(sig);
  std::_Exit(128 + sig);
}
