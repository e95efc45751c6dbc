#include "app/scpi/counter_thread.h"

namespace kolvane::server {

CounterThread::CounterThread() : thread_([this] { Run(); }) {}

CounterThread::~CounterThread() {
  Stop();
}

void CounterThread::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void CounterThread::AfterEach(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  afterEach_ = std::move(hook);
}

void CounterThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void CounterThread::Run() {
  for (;;) {
    std::function<void()> job;
    std::function<void()> after;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      after = afterEach_;
    }
    job();
    if (after) after();
  }
}

}  // namespace kolvane::server
