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

/// Searches job `index`.
using job_search = std::function<void(std::size_t index)>;

class job_board {
 public:
  /// `count` jobs, of which [0, shared) may be searched by workers.
  job_board(std::size_t count, std::size_t shared);
  job_board(const job_board&) = delete;
  job_board& operator=(const job_board&) = delete;
  ~job_board() { stop(); }

  /// Takes job `index` for the caller when nobody has taken it yet; the
  /// caller then searches it and calls finish.
  bool take(std::size_t index);

  /// Marks a job the caller took as searched.
  void finish(std::size_t index);

  /// Starts up to `count` workers, each searching the jobs they may take
  /// with `search` until none is left or the board stops. Fewer start when
  /// the system has no more threads to give; the main thread then takes
  /// what no worker does.
  void start_workers(std::size_t count, const job_search& search);

  /// Returns once job `index`, which a worker took, is searched. Rather
  /// than idle meanwhile, the caller searches the next jobs workers may
  /// take with `search`, and calls `idle` a few times a second while there
  /// is none.
  void help_until_done(std::size_t index, const job_search& search,
                       const std::function<void()>& idle);

  /// Takes no more jobs and waits for the workers to end.
  void stop();

  /// True once stop was called, or a worker ran out of memory: searches
  /// under way should end.
  bool stopped() const { return quit_; }

  /// True when a worker's search ran out of memory: the run cannot be
  /// whole, and ends.
  bool out_of_memory() const { return out_of_memory_; }

  /// The number of jobs workers may take.
  std::size_t shared() const { return shared_; }

 private:
  bool take_shared(std::size_t* index);
  bool done(std::size_t index, std::chrono::milliseconds wait);

  const std::size_t shared_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::size_t next_ = 0;     // the first job nobody has taken
  std::vector<char> done_;   // per job
  std::atomic<bool> quit_{false};
  std::atomic<bool> out_of_memory_{false};
  std::vector<std::thread> workers_;
};
