#include "app/scpi/page_dialogs.h"

#include <utility>

namespace kolvane::server {

void PageDialogs::Opened(std::uint64_t page) {
  std::lock_guard lock(mutex_);
  open_.insert(page);
}

void PageDialogs::Closed(std::uint64_t page) {
  std::lock_guard lock(mutex_);
  open_.erase(page);
  wake_.notify_all();
}

bool PageDialogs::Offer(std::uint64_t page, const web_panel::Command& command) {
  std::lock_guard lock(mutex_);
  if (command.dialog == 0 || holding_ != page) return false;
  waiting_.push_back(command);
  wake_.notify_all();
  return true;
}

void PageDialogs::Shutdown() {
  std::lock_guard lock(mutex_);
  stopping_ = true;
  wake_.notify_all();
}

PageDialogs::Page::Page(PageDialogs& dialogs, std::uint64_t page,
                        std::function<void(std::string)> show)
    : dialogs_(dialogs), page_(page), show_(std::move(show)) {}

PageDialogs::Page::~Page() {
  std::lock_guard lock(dialogs_.mutex_);
  if (dialogs_.holding_ == page_) dialogs_.holding_.reset();
  dialogs_.waiting_.clear();
}

void PageDialogs::Page::Show(std::string message) {
  {
    // Held from the dialog's first showing: the page answers only after it.
    std::lock_guard lock(dialogs_.mutex_);
    dialogs_.holding_ = page_;
  }
  show_(std::move(message));
}

std::optional<web_panel::Command> PageDialogs::Page::Next() {
  std::unique_lock lock(dialogs_.mutex_);
  PageDialogs& d = dialogs_;
  d.wake_.wait(lock,
               [&] { return !d.waiting_.empty() || !d.open_.contains(page_) || d.stopping_; });
  if (d.waiting_.empty()) return std::nullopt;
  web_panel::Command c = d.waiting_.front();
  d.waiting_.pop_front();
  return c;
}

}  // namespace kolvane::server
