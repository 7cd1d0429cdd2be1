#include "names/name_cache.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/platform.h"

// MinGW-w64's win32 thread model has no std::thread worth the name (none
// before GCC 13, and no winpthreads behind it): the posix one is needed.
#if defined(__MINGW32__) && \
    !(defined(_GLIBCXX_HAS_GTHREADS) && defined(WINPTHREAD_API))
#error "Build with the POSIX thread model of MinGW-w64 (x86_64-w64-mingw32-g++-posix)"
#endif

namespace {

using clock_type = std::chrono::steady_clock;

// How often a wait for a name looks whether the run is stopping.
constexpr std::chrono::milliseconds kStopPoll{100};

struct entry {
  name_state state = name_state::pending;
  std::string name;
};

// FNV-1a over the family and the bytes.
struct address_hash {
  std::size_t operator()(const ip_address& a) const {
    std::uint64_t h = a.v6 ? 0xcbf29ce484222325u : 0x84222325cbf29ce4u;
    for (std::uint8_t b : a.bytes) h = (h ^ b) * 0x100000001b3u;
    return static_cast<std::size_t>(h);
  }
};

}  // anonymous namespace

struct name_cache_state {
  name_source source;
  name_rules rules;
  std::mutex lock;
  std::condition_variable work;     // an address to look up, or closing
  std::condition_variable settled;  // an entry settled, or a worker left
  std::unordered_map<ip_address, entry, address_hash> entries;
  std::deque<ip_address> queue;     // asked, not yet taken by a worker
  std::size_t idle = 0;             // workers waiting for work
  std::size_t busy = 0;             // workers inside a lookup
  std::size_t running = 0;          // workers not yet gone
  int unanswered = 0;               // in a row
  bool given_up = false;
  bool closing = false;
};

namespace {

// Every address not yet known stays as it stands, and none is asked again.
void give_up(name_cache_state& s) {
  s.given_up = true;
  s.queue.clear();
  for (auto& [address, e] : s.entries)
    if (e.state == name_state::pending) e.state = name_state::unnamed;
}

void settle(name_cache_state& s, const ip_address& address,
            name_answer answer, std::string name, clock_type::duration took) {
  entry& e = s.entries[address];
  // An entry given up on meanwhile keeps what was already written for it.
  if (e.state == name_state::pending) {
    e.state = answer == name_answer::named ? name_state::named
                                           : name_state::unnamed;
    e.name = std::move(name);
  }
  if (answer == name_answer::named || answer == name_answer::no_such_name)
    s.unanswered = 0;
  else if (answer == name_answer::try_again && took >= s.rules.silent_after &&
           ++s.unanswered >= s.rules.silent_streak && !s.given_up)
    give_up(s);
  s.settled.notify_all();
}

// Takes the next address off the queue and looks it up with the lock let
// go meanwhile.
void look_up_next(name_cache_state& s, std::unique_lock<std::mutex>& hold) {
  const ip_address address = s.queue.front();
  s.queue.pop_front();
  ++s.busy;
  hold.unlock();
  std::string name;
  const clock_type::time_point start = s.rules.now();
  name_answer answer = name_answer::failed;
  try {
    answer = s.source(address, &name);
  } catch (const std::bad_alloc&) {
    // No memory for the name: the address stays as it stands.
  }
  const clock_type::duration took = s.rules.now() - start;
  hold.lock();
  --s.busy;
  settle(s, address, answer, std::move(name), took);
}

void serve(std::shared_ptr<name_cache_state> shared) {
  platform_keep_stop_signals_off_this_thread();
  name_cache_state& s = *shared;
  std::unique_lock<std::mutex> hold(s.lock);
  for (;;) {
    ++s.idle;
    s.work.wait(hold, [&s] { return s.closing || !s.queue.empty(); });
    --s.idle;
    if (s.closing) break;
    look_up_next(s, hold);
  }
  --s.running;
  s.settled.notify_all();
}

}  // anonymous namespace

name_cache::name_cache(name_source source, name_rules rules)
    : state_(std::make_shared<name_cache_state>()) {
  state_->source = std::move(source);
  state_->rules = rules;
}

name_cache::~name_cache() {
  name_cache_state& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  s.closing = true;
  s.queue.clear();
  s.work.notify_all();
  // The idle workers leave at once; the busy ones hold the shared state
  // and leave when their lookup returns.
  s.settled.wait(hold, [&s] { return s.running == s.busy; });
  const bool none_busy = s.busy == 0;
  hold.unlock();
  // Joined when none is in a lookup, so each has let go of its resolver
  // state before the program goes on to exit.
  for (std::thread& t : threads_) {
    if (none_busy)
      t.join();
    else
      t.detach();
  }
}

void name_cache::ask(const ip_address& address) {
  name_cache_state& s = *state_;
  std::lock_guard<std::mutex> hold(s.lock);
  const auto [at, fresh] = s.entries.try_emplace(address);
  if (!fresh) return;
  if (s.given_up) {
    at->second.state = name_state::unnamed;
    return;
  }
  s.queue.push_back(address);
  // A worker more only when every one is busy; a run that asks nothing
  // starts none.
  if (s.queue.size() > s.idle && threads_.size() < s.rules.workers) {
    try {
      threads_.emplace_back(serve, state_);
      ++s.running;
    } catch (const std::system_error&) {
      // Fewer workers, or none: await then looks up on the caller's thread.
    }
  }
  s.work.notify_one();
}

name_state name_cache::peek(const ip_address& address,
                            std::string* name) const {
  name_cache_state& s = *state_;
  std::lock_guard<std::mutex> hold(s.lock);
  const auto at = s.entries.find(address);
  if (at == s.entries.end()) return name_state::unasked;
  if (at->second.state == name_state::named && name != nullptr)
    *name = at->second.name;
  return at->second.state;
}

name_state name_cache::await(const ip_address& address,
                             const std::function<bool()>& stop) {
  name_cache_state& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  for (;;) {
    const auto at = s.entries.find(address);
    if (at == s.entries.end()) return name_state::unasked;
    if (at->second.state != name_state::pending) return at->second.state;
    if (stop && stop()) return name_state::pending;
    if (s.running == 0 && !s.queue.empty())
      look_up_next(s, hold);
    else
      s.settled.wait_for(hold, kStopPoll);
  }
}

bool name_cache::given_up() const {
  std::lock_guard<std::mutex> hold(state_->lock);
  return state_->given_up;
}
