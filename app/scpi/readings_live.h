// The /readings page's set of readings: the counter thread hands each
// reading the instrument showed, stamped as it arrives; the network thread
// keeps the set (record::ReadingWindow) and, while a page is open, pushes
// it to the pages at most every 100 ms, so that 384 readings a second make
// ten messages, not 384.
#pragma once

#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/scpi/http_server.h"
#include "app/scpi/net.h"
#include "measure/reading_sink.h"
#include "record/reading_window.h"

namespace kolvane::server {

class ReadingsLive {
 public:
  static constexpr const char* kPath = "/readings/live";

  ReadingsLive(asio::io_context& io, HttpServer& http, bool viewOnly);
  ReadingsLive(const ReadingsLive&) = delete;
  ReadingsLive& operator=(const ReadingsLive&) = delete;

  // On the counter thread.
  void Took(const ShownReading& shown);

  // The rest on the network thread.
  LiveHooks Hooks(std::function<std::optional<web::Response>(const web::Request&)> admit);
  void Start();
  void Stop();
  // The set now, as the logger's CSV.
  std::string Csv();

 private:
  void Flush();
  void Push();
  void Arm();

  asio::io_context& io_;
  HttpServer& http_;
  const bool viewOnly_;
  std::mutex mutex_;
  std::deque<record::WindowRow> arrived_;  // guarded by mutex_
  record::ReadingWindow window_;
  std::optional<std::uint64_t> pushed_;  // the set's revision the pages have
  std::size_t pages_ = 0;
  bool running_ = false;
  asio::steady_timer timer_;
};

}  // namespace kolvane::server
