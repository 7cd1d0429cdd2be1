#pragma once
// Who searches which log: the logs are taken in their order, the first
// ones (regular files) by any thread, the rest only by the main thread,
// which writes them as it goes. Workers keep stop requests off themselves,
// so a request reaches the main thread's read of a pipe.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct job_board {
  std::size_t shared = 0;  // jobs [0, shared) may be searched by workers
  std::mutex lock;
  std::condition_variable changed;
  std::size_t next = 0;     // the first job nobody has taken
  std::vector<char> done;   // per job
  std::atomic<bool> quit{false};  // the run ends: take no more
  std::vector<std::thread> workers;
};

/// Takes job `index` when nobody has taken it yet.
bool take_job(job_board& board, std::size_t index);

/// Takes the next job workers may search, if any.
bool take_shared_job(job_board& board, std::size_t* index);

/// Marks a job taken by the caller as searched.
void finish_job(job_board& board, std::size_t index);

/// Waits up to `wait` for job index to be searched; true once it is.
bool job_done(job_board& board, std::size_t index,
              std::chrono::milliseconds wait);

/// Starts `count` workers, each searching shared jobs with `search` until
/// none is left or quit is set.
void start_workers(job_board& board, std::size_t count,
                   const std::function<void(std::size_t)>& search);

/// Sets quit and waits for the workers to end.
void stop_workers(job_board& board);
