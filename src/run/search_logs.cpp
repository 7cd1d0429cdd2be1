#include "run/search_logs.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "console/progress.h"
#include "console/run_messages.h"
#include "output/hit_writer.h"
#include "output/name_pipeline.h"
#include "platform/platform.h"
#include "store/hit_store.h"
#include "run/job_board.h"
#include "run/log_job.h"
#include "run/log_set.h"
#include "run/sections.h"

namespace {

struct log_run {
  std::FILE* report = nullptr;
  name_pipeline* names = nullptr;
  std::vector<report_section> sections;
  std::vector<std::unique_ptr<log_job>> jobs;
  hit_store store;  // every log's held hits
  std::vector<std::int64_t> numbered;  // hits announced, per section
  std::unique_ptr<job_board> board;
  bool first_taken = false;  // the main thread took the first log
  bool named = false;        // messages name the log: there are several
  std::size_t skipped = 0;   // logs the time window left unopened
  std::vector<std::string> incomplete;  // as last said, a log a line
};

bool ends_early(const log_run& run) {
  return run.board->stopped() || platform_stop_requested();
}

// Said once, by the main thread, as soon as it sees it.
void tell_spill_failure(log_run& run) {
  if (take_spill_failure(run.store))
    print_spill_failed(run.store.folder, run.store.spill_error);
}

hit_writer writer_for(const log_run& run) {
  hit_writer writer;
  writer.names = run.names;
  return writer;
}

// Every hit of a section is in the report once this returns, or the first
// write that failed is in writer.write_error.
void finish_section(hit_writer& writer, name_pipeline& names) {
  if (writer.write_error == 0) writer.write_error = drain_hits(names);
  if (writer.unannounced > 0) print_held_hits_written(writer.unannounced);
}

read_progress progress_of(const log_run& run, std::size_t index) {
  const log_job& job = *run.jobs[index];
  const std::uint64_t limit = job.limit;
  read_progress progress = start_progress(limit == kNoLimit ? 0 : limit,
                                          index + 1, run.jobs.size());
  progress.skipped = run.skipped;
  return progress;
}

// Searches a log on the main thread: between blocks it shows how far the
// read has got and writes the hits whose names have come.
void search_here(log_run& run, std::size_t index, const hit_sink* live) {
  log_job& job = *run.jobs[index];
  read_progress progress = progress_of(run, index);
  const stop_check stop = [&] {
    update_progress(progress, job.reading.file_bytes);
    write_ready_hits(*run.names);
    tell_spill_failure(run);
    return ends_early(run);
  };
  search_job(job, run.sections, run.store, live, stop);
  end_progress();
}

// A log a worker searches: the main thread, rather than idle, searches
// the next logs itself meanwhile.
void wait_for(log_run& run, std::size_t index) {
  const log_job& job = *run.jobs[index];
  read_progress progress = progress_of(run, index);
  run.board->help_until_done(
      index,
      [&](std::size_t other) {
        search_here(run, other, nullptr);
        progress = progress_of(run, index);
      },
      [&] {
        update_progress(progress, job.reading.file_bytes);
        write_ready_hits(*run.names);
        tell_spill_failure(run);
      });
  end_progress();
}

// A stop request does not end a replay: what was read before it belongs
// in the report, though a line each on the console would keep the user
// waiting long after the stop. A later request ends the process at once.
bool replay(log_run& run, std::size_t s, log_job& job, hit_writer& writer) {
  if (writer.write_error != 0) return false;
  tell_spill_failure(run);
  const int lost = replay_tape(run.store, *job.held[s],
                               [&](std::string_view line, std::int64_t) {
                                 writer.announce = !platform_stop_requested();
                                 return write_hit(writer, line,
                                                  ++run.numbered[s]);
                               },
                               [] { return false; });
  // A tape replayed already is empty: its first loss stays the one said.
  if (job.lost[s] == 0) job.lost[s] = lost;
  return true;
}

// Said after each section, the same each time: the last one's words are
// kept for the report.
void print_all_incomplete(log_run& run) {
  run.incomplete.clear();
  for (const auto& job : run.jobs) {
    std::string said = print_incomplete(job->read, job->log.name, run.named);
    if (!said.empty()) run.incomplete.push_back(std::move(said));
  }
}

// The first section: each log's hits as it is searched here, or as held
// by the worker that searched it.
int write_first_section(log_run& run) {
  print_section_start(run.sections[0]);
  hit_writer writer = writer_for(run);
  const hit_sink live = [&](std::string_view line, std::int64_t) {
    return write_hit(writer, line, ++run.numbered[0]);
  };
  for (std::size_t i = 0; i < run.jobs.size(); ++i) {
    if (writer.write_error != 0 || ends_early(run)) break;
    if (i == 0 ? run.first_taken : run.board->take(i)) {
      search_here(run, i, &live);
      run.board->finish(i);
    } else {
      wait_for(run, i);
      replay(run, 0, *run.jobs[i], writer);
    }
  }
  run.board->stop();
  // Stopped: the first-section hits the other threads found come next, in
  // log order (a tape already written is empty by now).
  if (platform_stop_requested())
    for (const auto& job : run.jobs) replay(run, 0, *job, writer);
  finish_section(writer, *run.names);
  print_all_incomplete(run);
  return writer.write_error;
}

int write_held_section(log_run& run, std::size_t s) {
  if (const int error = write_section_heading(run.report, run.sections[s]))
    return error;
  print_section_start(run.sections[s]);
  hit_writer writer = writer_for(run);
  for (const auto& job : run.jobs) {
    if (!replay(run, s, *job, writer)) break;
  }
  finish_section(writer, *run.names);
  print_all_incomplete(run);
  return writer.write_error;
}

// The sections of logs whose held hits were lost: the store's fault, not
// the log's.
bool print_lost_hits(const log_run& run, std::vector<std::string>& said) {
  bool any = false;
  for (const auto& job : run.jobs) {
    for (std::size_t s = 0; s < job->lost.size(); ++s) {
      if (job->lost[s] == 0) continue;
      said.push_back(print_held_hits_lost(case_name(run.sections[s]),
                                          job->log.name, job->lost[s]));
      any = true;
    }
  }
  return any;
}

// Workers may take the logs up to the last regular file; the main thread
// alone reads a pipe, so a stop request reaches its read.
std::size_t shared_logs(const log_set& set) {
  std::size_t shared = 0;
  for (std::size_t i = 0; i < set.logs.size(); ++i)
    if (set.logs[i].regular) shared = i + 1;
  return shared;
}

void make_jobs(log_run& run, log_set& set, const search_options& options) {
  const std::size_t count = set.logs.size();
  const std::size_t shared = shared_logs(set);
  for (std::size_t i = 0; i < count; ++i) {
    auto job = std::make_unique<log_job>();
    job->log = std::move(set.logs[i]);
    job->limit = job->log.limit;
    job->last = i + 1 == count;
    for (std::size_t s = 0; s < run.sections.size(); ++s)
      job->held.push_back(&new_tape(run.store));
    job->lost.assign(run.sections.size(), 0);
    job->window = &options.window;
    job->run_started = options.started;
    run.jobs.push_back(std::move(job));
  }
  run.board = std::make_unique<job_board>(count, shared);
  run.numbered.assign(run.sections.size(), 0);
}

// The main thread searches too: one worker fewer than searches.
std::size_t worker_count(const job_board& board, std::size_t searches) {
  return std::min(searches - 1, board.shared() > 1 ? board.shared() - 1 : 0);
}

}  // anonymous namespace

search_result search_logs(const search_options& options, std::FILE* report,
                          name_pipeline& names) {
  search_result result;
  // What the parent left open counts against the limit too.
  const std::size_t limit = platform_open_file_limit();
  const std::size_t in_use = std::min(limit, platform_open_file_count());
  const open_file_plan plan = plan_open_files(
      limit - in_use,
      std::max(1u, std::thread::hardware_concurrency()));
  log_set set = open_logs(options.logs, plan.held_open, options.report_name,
                          &options.window);
  // Logs the window skipped were there: their sections are empty.
  if (set.logs.empty() && set.skipped == 0) {
    result.log_opened = false;
    return result;
  }
  // An open a stop request interrupted is no log that cannot be opened.
  if (!platform_stop_requested())
    for (const std::string& name : set.not_opened)
      result.lacking.push_back(print_not_opened(name));
  log_run run;
  run.report = report;
  run.names = &names;
  run.sections =
      report_sections(options.term, options.mixed_case, options.whole_words);
  run.named = set.logs.size() > 1 || options.logs.size() > 1;
  run.store.folder = platform_temporary_folder();
  run.skipped = set.skipped;
  make_jobs(run, set, options);
  run.first_taken = run.board->take(0);
  run.board->start_workers(worker_count(*run.board, plan.searches),
                           [&run](std::size_t i) {
    search_job(*run.jobs[i], run.sections, run.store, nullptr,
               [&run] { return ends_early(run); });
  });
  result.write_error = write_first_section(run);
  if (run.board->out_of_memory()) throw std::bad_alloc();
  for (std::size_t s = 1; s < run.sections.size(); ++s) {
    if (result.write_error != 0) break;
    result.write_error = write_held_section(run, s);
  }
  bool whole = set.not_opened.empty();
  for (const auto& job : run.jobs) whole = whole && !cut_short(job->read);
  result.lacking.insert(result.lacking.end(), run.incomplete.begin(),
                        run.incomplete.end());
  if (result.write_error == 0 && print_lost_hits(run, result.lacking))
    whole = false;
  result.whole = whole;
  for (const auto& job : run.jobs) {
    if (job->no_times) result.without_times.push_back(job->log.name);
    release_job(*job, run.store);
  }
  return result;
}
