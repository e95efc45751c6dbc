// The mode dialog a page holds open on the counter thread: its page's
// commands for it are handed over from the network thread, while every
// other job waits behind it as it would behind a modal dialog.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "panel/web/live.h"

namespace kolvane::server {

class PageDialogs {
 public:
  // ---- The network thread ----
  void Opened(std::uint64_t page);
  // Ends the page's dialog, if one is open, as Escape does.
  void Closed(std::uint64_t page);
  // True when the command was for the dialog `page` holds open; taken.
  bool Offer(std::uint64_t page, const web_panel::Command& command);
  // The server stops: an open dialog ends as Escape.
  void Shutdown();

  // ---- The counter thread ----
  // The page's side of a dialog its click opens; `show` sends to that page.
  class Page : public web_panel::DialogPage {
   public:
    Page(PageDialogs& dialogs, std::uint64_t page, std::function<void(std::string)> show);
    ~Page() override;
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;
    void Show(std::string message) override;
    std::optional<web_panel::Command> Next() override;

   private:
    PageDialogs& dialogs_;
    std::uint64_t page_;
    std::function<void(std::string)> show_;
  };

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::set<std::uint64_t> open_;
  std::optional<std::uint64_t> holding_;  // the page whose dialog is open
  std::deque<web_panel::Command> waiting_;
  bool stopping_ = false;
};

}  // namespace kolvane::server
