#include "app/scpi/readings_live.h"

#include <chrono>

#include "panel/web/readings_page.h"

namespace kolvane::server {

namespace {

constexpr auto kPushEvery = std::chrono::milliseconds(100);
constexpr std::size_t kTakeInAt = 1024;

template <typename Clock>
std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

}  // namespace

ReadingsLive::ReadingsLive(asio::io_context& io, HttpServer& http, bool viewOnly)
    : io_(io), http_(http), viewOnly_(viewOnly), timer_(io) {}

void ReadingsLive::Took(const ShownReading& shown) {
  record::WindowRow row{shown, NowMs<std::chrono::system_clock>(),
                        NowMs<std::chrono::steady_clock>()};
  bool flush = false;
  {
    std::lock_guard lock(mutex_);
    // A network thread that stopped taking them must not grow this forever.
    if (arrived_.size() >= record::ReadingWindow::kMaxSize) arrived_.pop_front();
    arrived_.push_back(row);
    flush = arrived_.size() == kTakeInAt;
  }
  // With no page open the set is kept all the same, taken in now and then.
  if (flush) asio::post(io_, [this] { Flush(); });
}

LiveHooks ReadingsLive::Hooks(
    std::function<std::optional<web::Response>(const web::Request&)> admit) {
  LiveHooks hooks;
  hooks.path = kPath;
  hooks.admit = std::move(admit);
  hooks.opened = [this](std::uint64_t page) {
    // The pushes run while a page is open.
    if (pages_++ == 0 && running_) Arm();
    Flush();
    http_.SendPage(
        page, std::make_shared<const std::string>(web_panel::ReadingsMessage(window_, viewOnly_)));
  };
  hooks.closed = [this](std::uint64_t) { --pages_; };
  hooks.received = [this](std::uint64_t page, std::string message) {
    const auto command = web_panel::ParseReadingsCommand(message);
    if (!command) return;
    Flush();
    for (std::string& reply : web_panel::RunReadings(window_, *command, viewOnly_)) {
      http_.SendPage(page, std::make_shared<const std::string>(std::move(reply)));
    }
    // Every page sees the change at once.
    Push();
  };
  return hooks;
}

void ReadingsLive::Start() {
  running_ = true;
  if (pages_ > 0) Arm();
}

void ReadingsLive::Stop() {
  running_ = false;
  timer_.cancel();
}

void ReadingsLive::Arm() {
  timer_.expires_after(kPushEvery);
  timer_.async_wait([this](error_code ec) {
    if (ec) return;
    Flush();
    Push();
    if (pages_ > 0 && running_) Arm();
  });
}

std::string ReadingsLive::Csv() {
  Flush();
  return window_.Csv();
}

void ReadingsLive::Flush() {
  std::deque<record::WindowRow> rows;
  {
    std::lock_guard lock(mutex_);
    rows.swap(arrived_);
  }
  for (const record::WindowRow& row : rows) window_.Add(row);
}

void ReadingsLive::Push() {
  if (pages_ == 0 || pushed_ == window_.Revision()) return;
  pushed_ = window_.Revision();
  http_.Broadcast(
      kPath, std::make_shared<const std::string>(web_panel::ReadingsMessage(window_, viewOnly_)));
}

}  // namespace kolvane::server
