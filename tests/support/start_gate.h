// Releases a group of test threads at one moment, so that their calls race.
#pragma once

#include <condition_variable>
#include <mutex>

namespace sivo::test {

// Each of `threads` threads calls arrive_and_wait() once; none returns
// before the last has arrived. The count is read and changed under one
// mutex, and the last thread wakes the others while holding it, so no
// wake-up can fall between a waiter's check and its sleep.
// std::latch must not stand in for it: MinGW's libstdc++ 12 waits on a
// condition variable that the last arrival signals without that mutex, and a
// wake-up lost in the gap leaves the waiters blocked for good (seen under
// Wine within a few thousand gates).
class start_gate {
 public:
  explicit start_gate(int threads) : waiting_(threads) {}
  start_gate(const start_gate&) = delete;
  start_gate& operator=(const start_gate&) = delete;

  void arrive_and_wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (--waiting_ == 0) {
      released_.notify_all();
      return;
    }
    released_.wait(lock, [this] { return waiting_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  int waiting_;
};

}  // namespace sivo::test
