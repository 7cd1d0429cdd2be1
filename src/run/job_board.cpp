#include "run/job_board.h"

#include <new>
#include <system_error>

#include "platform/platform.h"

namespace {

// How often a main thread waiting for a worker's log gets on with its own
// work (progress, names that have come).
constexpr auto kIdleStep = std::chrono::milliseconds(100);

}  // anonymous namespace

job_board::job_board(std::size_t count, std::size_t shared)
    : shared_(shared), done_(count, 0) {}

bool job_board::take(std::size_t index) {
  const std::lock_guard<std::mutex> hold(lock_);
  if (next_ != index) return false;
  ++next_;
  return true;
}

bool job_board::take_shared(std::size_t* index) {
  const std::lock_guard<std::mutex> hold(lock_);
  if (quit_ || next_ >= shared_) return false;
  *index = next_++;
  return true;
}

void job_board::finish(std::size_t index) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    done_[index] = 1;
  }
  changed_.notify_all();
}

bool job_board::done(std::size_t index, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, wait, [&] { return done_[index] != 0; });
}

void job_board::start_workers(std::size_t count, const job_search& search) {
  const auto work = [this, search] {
    platform_keep_stop_signals_off_this_thread();
    std::size_t index = 0;
    while (take_shared(&index)) {
      // Thrown out of a thread it would end the process; the main thread
      // ends the run instead.
      try {
        search(index);
      } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        quit_ = true;
      }
      finish(index);
    }
  };
  try {
    for (std::size_t w = 0; w < count; ++w) workers_.emplace_back(work);
  } catch (const std::system_error&) {
  }
}

void job_board::help_until_done(std::size_t index, const job_search& search,
                                const std::function<void()>& idle) {
  std::size_t other = 0;
  while (!done(index, std::chrono::milliseconds(0))) {
    if (take_shared(&other)) {
      search(other);
      finish(other);
    } else if (!done(index, kIdleStep)) {
      idle();
    }
  }
}

void job_board::stop() {
  quit_ = true;
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}
