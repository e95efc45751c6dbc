// kolvane-scpi's HTTP server over Boost.Beast, on the io_context of the
// SCPI sockets: persistent connections, GET and HEAD, answered by a
// handler that knows nothing of the network (web.h). The request's header
// (request line and fields) is bounded at 16 KiB: beyond, 431 and the
// connection closes. A body is bounded at 64 KiB (413).
//
// A WebSocket handshake on a live path (LiveHooks) is admitted or refused
// before the handler is asked; the connection then becomes a page, no
// longer counted among the HTTP connections. A page's messages are bounded
// at 64 KiB (close 1009), and what waits for it at 1 MiB (dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/scpi/event_log.h"
#include "app/scpi/net.h"
#include "app/scpi/options.h"
#include "app/scpi/web.h"

namespace kolvane::server {

// The request line and the header fields, the blank line after them included.
inline constexpr std::size_t kHttpHeaderLimit = 16 * 1024;
// Where reading a header stops at once.
inline constexpr std::size_t kHttpHeaderHardLimit = 64 * 1024;
inline constexpr std::size_t kHttpBodyLimit = 64 * 1024;

struct HttpSettings {
  std::vector<AllowedNetwork> allow;
  int maxClients = kDefaultMaxClients;
  // A connection that sends no whole request for this long is closed.
  unsigned idleSeconds = 30;
};

using HttpHandler = std::function<web::Response(const web::Request&)>;

// The pages' live connections (WebSocket), by page id; every hook runs on
// the io_context's thread.
struct LiveHooks {
  std::string path;  // "/panel/live", "/readings/live"
  // A refusal (421, 403, 503), or nothing to take the page.
  std::function<std::optional<web::Response>(const web::Request&)> admit;
  std::function<void(std::uint64_t page)> opened;
  std::function<void(std::uint64_t page, std::string message)> received;
  std::function<void(std::uint64_t page)> closed;
};

// What may wait for a page that does not read before it is dropped.
inline constexpr std::size_t kPageBacklogLimit = 1 << 20;

class HttpServer {
 public:
  HttpServer(asio::io_context& io, EventLog& log, HttpSettings settings, HttpHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // As Server::Listen: on failure, why, naming the address.
  std::optional<std::string> Listen(const std::vector<asio::ip::tcp::endpoint>& endpoints);
  std::vector<asio::ip::tcp::endpoint> Bound() const;
  void Start();
  // Stops accepting and closes every connection; on the io_context's thread.
  void Shutdown();
  std::size_t Connections() const { return connections_.size(); }

  // Before Start; one per path.
  void AddLive(LiveHooks hooks) { lives_.push_back(std::move(hooks)); }
  // To one page, or to every page of a live path; on the io_context's thread.
  void SendPage(std::uint64_t page, std::shared_ptr<const std::string> message);
  void Broadcast(const std::string& path, const std::shared_ptr<const std::string>& message);
  // The pages of every live path.
  std::size_t Pages() const { return pages_.size(); }

 private:
  struct Connection;
  using ConnectionPtr = std::shared_ptr<Connection>;
  struct Page;
  using PagePtr = std::shared_ptr<Page>;

  void Upgrade(const ConnectionPtr& c, std::size_t live);
  void ReadPage(const PagePtr& p);
  void WritePage(const PagePtr& p);
  void ClosePage(const PagePtr& p);

  void Accept(asio::ip::tcp::acceptor& acceptor);
  void Admit(asio::ip::tcp::socket socket);
  void Read(const ConnectionPtr& c);
  void Serve(const ConnectionPtr& c);
  void Refuse(const ConnectionPtr& c, int status);
  void Send(const ConnectionPtr& c, const web::Response& response, unsigned version,
            bool keepAlive);
  void Linger(const ConnectionPtr& c);
  void Close(const ConnectionPtr& c);

  asio::io_context& io_;
  EventLog& log_;
  HttpSettings settings_;
  HttpHandler handler_;
  std::vector<std::unique_ptr<asio::ip::tcp::acceptor>> acceptors_;
  std::unordered_map<std::uint64_t, ConnectionPtr> connections_;
  std::uint64_t nextId_ = 1;
  std::vector<LiveHooks> lives_;
  std::unordered_map<std::uint64_t, PagePtr> pages_;
  bool stopping_ = false;
};

}  // namespace kolvane::server
