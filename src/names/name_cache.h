#pragma once
// names/: host names for addresses, looked up beside the search.
// Host names for the addresses a run writes. Each address is asked once a
// run, by a small pool of worker threads, so that the search goes on while
// a slow name server answers, and a server that does not answer at all is
// given up on instead of being waited for over and over.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

/// One reverse lookup, as platform_name_of makes it. Called from worker
/// threads, several at once.
using name_source =
    std::function<name_answer(const ip_address&, std::string*)>;

/// What a run knows of an address, of either family; an address written
/// in two ways is one address.
enum class name_state {
  unasked,  // never asked for
  pending,  // waiting for a worker, or being looked up
  named,
  unnamed,  // no name, a failure, or given up on: it stays as it stands
};

struct name_rules {
  std::size_t workers = 8;
  // A temporary failure that took this long was a server that did not
  // answer; one that comes back sooner (no network) is just no name.
  std::chrono::milliseconds silent_after{1000};
  // How a lookup is timed; the tests give a clock their lookups move.
  std::chrono::steady_clock::time_point (*now)() =
      std::chrono::steady_clock::now;
  // This many unanswered lookups in a row, with no answer of any kind in
  // between, and no more are asked for the rest of the run.
  int silent_streak = 4;
};

struct name_cache_state;

class name_cache {
 public:
  explicit name_cache(name_source source, name_rules rules = {});
  name_cache(const name_cache&) = delete;
  name_cache& operator=(const name_cache&) = delete;
  /// Lookups still running are not waited for: their answers are no longer
  /// wanted, and a silent server could hold them for many seconds.
  ~name_cache();

  /// Starts looking the address up, unless it already is or has been.
  void ask(const ip_address& address);

  /// What is known of the address now; the name when it is named.
  name_state peek(const ip_address& address, std::string* name) const;

  /// Waits until the address is named or unnamed, or until `stop` (asked
  /// a few times a second) says the run is stopping; what is known then.
  name_state await(const ip_address& address,
                   const std::function<bool()>& stop);

  /// True once the name server has been given up on.
  bool given_up() const;

  /// Worker threads started so far.
  std::size_t workers() const { return threads_.size(); }

 private:
  std::shared_ptr<name_cache_state> state_;
  std::vector<std::thread> threads_;
};
