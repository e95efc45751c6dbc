#include "app/scpi/http_server.h"

#include <array>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <chrono>
#include <deque>

#include "app/scpi/listen.h"
#include "version.h"

namespace kolvane::server {

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace websocket = boost::beast::websocket;

namespace {

// After a refusal the client's remaining bytes are read away for this
// long, so that it sees the answer rather than a reset.
constexpr auto kLinger = std::chrono::seconds(1);
constexpr std::size_t kLingerBytes = 1 << 20;

// A request the parser refused, rather than a line that failed or ended.
bool Malformed(const error_code& ec) {
  return ec.category() == http::make_error_code(http::error::bad_target).category() &&
         ec != http::error::end_of_stream && ec != http::error::partial_message;
}

}  // namespace

struct HttpServer::Connection {
  explicit Connection(asio::ip::tcp::socket s) : stream(std::move(s)) {}

  beast::tcp_stream stream;
  std::uint64_t id = 0;
  std::string peer;
  std::string local;
  beast::flat_buffer buffer;
  std::optional<http::request_parser<http::string_body>> parser;
  std::shared_ptr<http::response<http::string_body>> response;
  std::array<char, 4096> drain{};
  std::size_t drained = 0;
  bool requested = false;  // a request has begun to arrive
  bool closed = false;
};

struct HttpServer::Page {
  explicit Page(beast::tcp_stream s) : ws(std::move(s)) {}

  websocket::stream<beast::tcp_stream> ws;
  std::uint64_t id = 0;
  std::size_t live = 0;  // its hooks in lives_
  std::string peer;
  http::request<http::string_body> handshake;
  beast::flat_buffer buffer;
  std::deque<std::shared_ptr<const std::string>> queue;
  std::size_t queued = 0;  // bytes waiting, the one being written included
  bool writing = false;
  bool opened = false;  // the handshake was answered
  bool closed = false;
};

HttpServer::HttpServer(asio::io_context& io, EventLog& log, HttpSettings settings,
                       HttpHandler handler)
    : io_(io), log_(log), settings_(std::move(settings)), handler_(std::move(handler)) {}

HttpServer::~HttpServer() = default;

std::optional<std::string> HttpServer::Listen(
    const std::vector<asio::ip::tcp::endpoint>& endpoints) {
  return OpenAcceptors(io_, endpoints, &acceptors_);
}

std::vector<asio::ip::tcp::endpoint> HttpServer::Bound() const {
  return BoundEndpoints(acceptors_);
}

void HttpServer::Start() {
  for (auto& a : acceptors_) Accept(*a);
}

void HttpServer::Accept(asio::ip::tcp::acceptor& acceptor) {
  acceptor.async_accept([this, &acceptor](error_code ec, asio::ip::tcp::socket socket) {
    if (stopping_ || ec == asio::error::operation_aborted) return;
    if (!ec) {
      Admit(std::move(socket));
      Accept(acceptor);
      return;
    }
    log_.Warning("cannot accept an HTTP connection: " + ec.message());
    auto timer = std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(200));
    timer->async_wait([this, &acceptor, timer](error_code) {
      if (!stopping_) Accept(acceptor);
    });
  });
}

void HttpServer::Admit(asio::ip::tcp::socket socket) {
  error_code ec;
  const auto remote = socket.remote_endpoint(ec);
  if (ec) return;
  const auto local = socket.local_endpoint(ec);
  const std::string peer = EndpointText(remote);
  if (!Allowed(settings_.allow, remote.address())) {
    log_.Warning("refused HTTP client " + peer + ": not in any --allow network", peer);
    socket.close(ec);
    return;
  }
  if (connections_.size() >= static_cast<std::size_t>(settings_.maxClients)) {
    // A browser opens connections ahead of need and leaves them unused: one
    // that never sent a byte gives way, so that it cannot keep a page out.
    for (auto& [id, waiting] : connections_) {
      error_code e;
      if (!waiting->requested && waiting->buffer.size() == 0 &&
          waiting->stream.socket().available(e) == 0) {
        Close(ConnectionPtr(waiting));
        break;
      }
    }
  }
  if (connections_.size() >= static_cast<std::size_t>(settings_.maxClients)) {
    log_.Warning("refused HTTP client " + peer + ": " + std::to_string(settings_.maxClients) +
                     " HTTP connections are open already (--max-clients)",
                 peer);
    socket.close(ec);
    return;
  }
  socket.set_option(asio::ip::tcp::no_delay(true), ec);
  auto c = std::make_shared<Connection>(std::move(socket));
  c->id = nextId_++;
  c->peer = peer;
  c->local = EndpointText(local);
  connections_[c->id] = c;
  Read(c);
}

void HttpServer::Read(const ConnectionPtr& c) {
  c->parser.emplace();
  // Beast bounds the start line and the fields each on its own; the hard
  // bound is its, the exact one (kHttpHeaderLimit, the request line and
  // fields together) is counted below.
  c->parser->header_limit(static_cast<std::uint32_t>(kHttpHeaderHardLimit));
  c->parser->body_limit(kHttpBodyLimit);
  c->stream.expires_after(std::chrono::seconds(settings_.idleSeconds));
  http::async_read_header(
      c->stream, c->buffer, *c->parser, [this, c](error_code ec, std::size_t headerBytes) {
        if (stopping_ || c->closed) return;
        c->requested = true;
        if (ec == http::error::header_limit || (!ec && headerBytes > kHttpHeaderLimit)) {
          return Refuse(c, 431);
        }
        // A Content-Length past the bound is refused before its body comes.
        if (ec == http::error::body_limit) return Refuse(c, 413);
        if (Malformed(ec)) return Refuse(c, 400);
        // The client left, went quiet, or the line failed.
        if (ec) return Close(c);
        if (c->parser->is_done()) return Serve(c);
        http::async_read(c->stream, c->buffer, *c->parser, [this, c](error_code e, std::size_t) {
          if (stopping_ || c->closed) return;
          if (e == http::error::body_limit) return Refuse(c, 413);
          if (Malformed(e)) return Refuse(c, 400);
          if (e) return Close(c);
          Serve(c);
        });
      });
}

void HttpServer::Serve(const ConnectionPtr& c) {
  const auto& req = c->parser->get();
  web::Request r;
  r.method = std::string(req.method_string());
  r.target = std::string(req.target());
  r.host = std::string(req[http::field::host]);
  r.local = c->local;
  if (const auto origin = req.find(http::field::origin); origin != req.end()) {
    r.origin = std::string(origin->value());
  }
  r.upgrade = beast::websocket::is_upgrade(req);
  for (std::size_t i = 0; r.upgrade && i < lives_.size(); ++i) {
    const LiveHooks& live = lives_[i];
    if (!live.admit || r.target.substr(0, r.target.find('?')) != live.path) continue;
    auto refused = live.admit(r);
    // A client waits for the handshake's answer before it sends a frame
    // (RFC 6455, 4.1): bytes already here would be lost to the page.
    if (!refused && c->buffer.size() > 0) return Refuse(c, 400);
    if (!refused) return Upgrade(c, i);
    return Send(c, *refused, req.version(), false);
  }
  web::Response response;
  try {
    response = handler_(r);
  } catch (const std::exception& e) {
    log_.Warning(std::string("an HTTP request failed inside the server: ") + e.what(), c->peer);
    response.status = 500;
    response.contentType = "text/plain; charset=utf-8";
    response.body = "500 the server failed to answer\n";
  }
  Send(c, response, req.version(), req.keep_alive() && !response.close);
}

void HttpServer::Upgrade(const ConnectionPtr& c, std::size_t live) {
  // The connection becomes a page: no longer an HTTP connection.
  auto p = std::make_shared<Page>(std::move(c->stream));
  p->id = c->id;
  p->live = live;
  p->peer = c->peer;
  p->handshake = c->parser->release();
  c->closed = true;
  connections_.erase(c->id);
  beast::get_lowest_layer(p->ws).expires_never();
  // Pings a page that goes quiet, and drops it when it does not answer.
  p->ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
  p->ws.read_message_max(kHttpBodyLimit);
  pages_[p->id] = p;
  p->ws.async_accept(p->handshake, [this, p](error_code ec) {
    if (stopping_ || p->closed) return;
    if (ec) return ClosePage(p);
    p->opened = true;
    if (lives_[p->live].opened) lives_[p->live].opened(p->id);
    ReadPage(p);
    // What was broadcast while the handshake was under way.
    if (!p->writing && !p->queue.empty()) WritePage(p);
  });
}

void HttpServer::ReadPage(const PagePtr& p) {
  p->ws.async_read(p->buffer, [this, p](error_code ec, std::size_t) {
    if (stopping_ || p->closed) return;
    // Beast closes a message over the bound with 1009 itself.
    if (ec) return ClosePage(p);
    std::string message = beast::buffers_to_string(p->buffer.data());
    p->buffer.consume(p->buffer.size());
    if (lives_[p->live].received) lives_[p->live].received(p->id, std::move(message));
    ReadPage(p);
  });
}

void HttpServer::SendPage(std::uint64_t page, std::shared_ptr<const std::string> message) {
  const auto it = pages_.find(page);
  if (it == pages_.end() || it->second->closed || !message) return;
  const PagePtr p = it->second;
  p->queued += message->size();
  if (p->queued > kPageBacklogLimit) {
    log_.Warning("dropped a page that stopped reading: " +
                     std::to_string(kPageBacklogLimit / 1024) + " KiB waited for it",
                 p->peer);
    return ClosePage(p);
  }
  p->queue.push_back(std::move(message));
  // No write may overlap the handshake's reply.
  if (p->opened && !p->writing) WritePage(p);
}

void HttpServer::Broadcast(const std::string& path,
                           const std::shared_ptr<const std::string>& message) {
  std::vector<std::uint64_t> ids;
  for (const auto& [id, p] : pages_) {
    if (lives_[p->live].path == path) ids.push_back(id);
  }
  for (std::uint64_t id : ids) SendPage(id, message);
}

void HttpServer::WritePage(const PagePtr& p) {
  if (p->queue.empty()) {
    p->writing = false;
    return;
  }
  p->writing = true;
  p->ws.text(true);
  const auto message = p->queue.front();
  p->ws.async_write(asio::buffer(*message), [this, p, message](error_code ec, std::size_t) {
    if (stopping_ || p->closed) return;
    if (ec) return ClosePage(p);
    p->queued -= message->size();
    p->queue.pop_front();
    WritePage(p);
  });
}

void HttpServer::ClosePage(const PagePtr& p) {
  if (p->closed) return;
  p->closed = true;
  error_code ec;
  beast::get_lowest_layer(p->ws).socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
  beast::get_lowest_layer(p->ws).socket().close(ec);
  pages_.erase(p->id);
  if (p->opened && lives_[p->live].closed) lives_[p->live].closed(p->id);
}

void HttpServer::Refuse(const ConnectionPtr& c, int status) {
  web::Response response;
  response.status = status;
  response.contentType = "text/plain; charset=utf-8";
  response.body = std::to_string(status) + " " + web::StatusText(status) + "\n";
  Send(c, response, 11, false);
}

void HttpServer::Send(const ConnectionPtr& c, const web::Response& response, unsigned version,
                      bool keepAlive) {
  auto res = std::make_shared<http::response<http::string_body>>(
      static_cast<http::status>(response.status), version);
  res->set(http::field::server, "kolvane-scpi/" KOLVANE_VERSION);
  if (!response.contentType.empty()) res->set(http::field::content_type, response.contentType);
  for (const auto& [name, value] : response.headers) res->set(name, value);
  res->body() = response.body;
  res->prepare_payload();
  // HEAD: the length a GET would have, and no body.
  if (response.head) res->body().clear();
  res->keep_alive(keepAlive);
  c->response = res;
  c->stream.expires_after(std::chrono::seconds(settings_.idleSeconds));
  http::async_write(c->stream, *res, [this, c, keepAlive](error_code ec, std::size_t) {
    c->response.reset();
    if (stopping_ || c->closed) return;
    if (ec) return Close(c);
    if (keepAlive) return Read(c);
    Linger(c);
  });
}

void HttpServer::Linger(const ConnectionPtr& c) {
  // Ours is said: reading on until the client closes, briefly, lets it read
  // the answer before the connection goes.
  error_code ec;
  c->stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ec);
  c->stream.expires_after(kLinger);
  c->stream.async_read_some(asio::buffer(c->drain), [this, c](error_code e, std::size_t n) {
    if (stopping_ || c->closed) return;
    c->drained += n;
    if (e || c->drained > kLingerBytes) return Close(c);
    Linger(c);
  });
}

void HttpServer::Close(const ConnectionPtr& c) {
  if (c->closed) return;
  c->closed = true;
  error_code ec;
  c->stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
  c->stream.socket().close(ec);
  connections_.erase(c->id);
}

void HttpServer::Shutdown() {
  stopping_ = true;
  error_code ec;
  for (auto& a : acceptors_) a->close(ec);
  for (auto& [id, c] : connections_) {
    c->closed = true;
    c->stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    c->stream.socket().close(ec);
  }
  connections_.clear();
  for (auto& [id, p] : pages_) {
    p->closed = true;
    beast::get_lowest_layer(p->ws).socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    beast::get_lowest_layer(p->ws).socket().close(ec);
  }
  pages_.clear();
}

}  // namespace kolvane::server
