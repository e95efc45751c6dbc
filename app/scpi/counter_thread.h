// The thread that owns the instrument: jobs from every connection run on it
// one at a time, in the order they were posted.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kolvane::server {

class CounterThread {
 public:
  CounterThread();
  ~CounterThread();
  CounterThread(const CounterThread&) = delete;
  CounterThread& operator=(const CounterThread&) = delete;

  // From any thread.
  void Post(std::function<void()> job);
  // Runs after every job, on this thread: a view that watches the
  // instrument sees each change as it is made.
  void AfterEach(std::function<void()> hook);
  // Lets the job in hand finish, drops the ones still waiting and joins.
  void Stop();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::function<void()> afterEach_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kolvane::server
