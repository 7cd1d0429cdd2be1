#include "run/job_board.h"

#include <system_error>

#include "platform/platform.h"

bool take_job(job_board& board, std::size_t index) {
  const std::lock_guard<std::mutex> hold(board.lock);
  if (board.next != index) return false;
  ++board.next;
  return true;
}

bool take_shared_job(job_board& board, std::size_t* index) {
  const std::lock_guard<std::mutex> hold(board.lock);
  if (board.quit || board.next >= board.shared) return false;
  *index = board.next++;
  return true;
}

void finish_job(job_board& board, std::size_t index) {
  {
    const std::lock_guard<std::mutex> hold(board.lock);
    board.done[index] = 1;
  }
  board.changed.notify_all();
}

bool job_done(job_board& board, std::size_t index,
              std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> hold(board.lock);
  return board.changed.wait_for(hold, wait,
                                [&] { return board.done[index] != 0; });
}

void start_workers(job_board& board, std::size_t count,
                   const std::function<void(std::size_t)>& search) {
  const auto work = [&board, search] {
    platform_keep_stop_signals_off_this_thread();
    std::size_t index = 0;
    while (take_shared_job(board, &index)) {
      search(index);
      finish_job(board, index);
    }
  };
  // Fewer threads than asked for (the system has none to give) still
  // search every log: the main thread takes what no worker does.
  try {
    for (std::size_t w = 0; w < count; ++w) board.workers.emplace_back(work);
  } catch (const std::system_error&) {
  }
}

void stop_workers(job_board& board) {
  board.quit = true;
  for (std::thread& worker : board.workers) worker.join();
  board.workers.clear();
}
