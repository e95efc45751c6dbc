#include "app/scpi/server.h"

#include <array>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <deque>
#include <exception>
#include <system_error>

#include "app/scpi/line_splitter.h"
#include "app/scpi/listen.h"

namespace kolvane::server {

namespace {

// Complete lines a connection may have waiting before it is read no more,
// until the counter has caught up; TCP then holds the client back.
constexpr std::size_t kMaxWaitingInput = 64 * 1024;
// The kernel's part of the pending output, kept small so that the limit on
// a client's unread replies is ours.
constexpr int kSendBuffer = 64 * 1024;

}  // namespace

struct Server::Connection {
  explicit Connection(asio::ip::tcp::socket s) : socket(std::move(s)) {}

  asio::ip::tcp::socket socket;
  std::uint64_t id = 0;
  std::string peer;
  LineSplitter splitter;
  std::array<char, 4096> buffer{};
  // Complete lines not yet run, and their bytes.
  std::deque<LineSplitter::Item> waiting;
  std::size_t waitingBytes = 0;
  bool reading = false;
  bool readEnded = false;  // end of stream or an error
  bool broken = false;     // replies can no longer be delivered
  bool running = false;    // a line is on the counter thread
  // Replies not yet taken by the socket, and their bytes.
  std::deque<std::string> output;
  std::size_t pendingOutput = 0;
  bool writing = false;
  bool closed = false;
};

Server::Server(asio::io_context& io, SessionFactory open, EventLog& log, ServerSettings settings)
    : io_(io), open_(std::move(open)), log_(log), settings_(std::move(settings)), ticks_(io) {}

Server::~Server() {
  StopCounter();
}

std::optional<std::string> Server::Listen(const std::vector<asio::ip::tcp::endpoint>& endpoints) {
  return OpenAcceptors(io_, endpoints, &acceptors_);
}

std::vector<asio::ip::tcp::endpoint> Server::Bound() const {
  return BoundEndpoints(acceptors_);
}

void Server::StartTicks(std::function<void()> tick, unsigned periodMs) {
  tick_ = std::move(tick);
  tickMs_ = periodMs;
  NextTick();
}

void Server::NextTick() {
  ticks_.expires_after(std::chrono::milliseconds(tickMs_));
  ticks_.async_wait([this](error_code ec) {
    if (ec || stopping_) return;
    if (!tickWaiting_.exchange(true)) {
      counter_.Post([this] {
        tickWaiting_ = false;
        try {
          tick_();
        } catch (const std::exception& e) {
          log_.Warning(std::string("the poll failed inside the server: ") + e.what());
        }
      });
    }
    NextTick();
  });
}

void Server::Start() {
  for (auto& a : acceptors_) Accept(*a);
}

void Server::Accept(asio::ip::tcp::acceptor& acceptor) {
  acceptor.async_accept([this, &acceptor](error_code ec, asio::ip::tcp::socket socket) {
    if (stopping_) return;
    if (ec == asio::error::operation_aborted) return;
    if (!ec) {
      Admit(std::move(socket));
      Accept(acceptor);
      return;
    }
    // Out of descriptors and the like: try again in a moment rather than spin.
    log_.Warning("cannot accept a connection: " + ec.message());
    auto timer = std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(200));
    timer->async_wait([this, &acceptor, timer](error_code) {
      if (!stopping_) Accept(acceptor);
    });
  });
}

void Server::Admit(asio::ip::tcp::socket socket) {
  error_code ec;
  const auto remote = socket.remote_endpoint(ec);
  if (ec) return;  // gone already
  const std::string peer = EndpointText(remote);
  if (!Allowed(settings_.allow, remote.address())) {
    log_.Warning("refused " + peer + ": not in any --allow network", peer);
    socket.close(ec);
    return;
  }
  if (Full()) {
    log_.Warning("refused " + peer + ": " + std::to_string(settings_.maxClients) +
                     " clients are connected already (--max-clients)",
                 peer);
    socket.close(ec);
    return;
  }
  socket.set_option(asio::ip::tcp::no_delay(true), ec);
  socket.set_option(asio::socket_base::send_buffer_size(kSendBuffer), ec);

  auto c = std::make_shared<Connection>(std::move(socket));
  c->id = nextId_++;
  c->peer = peer;
  connections_[c->id] = c;
  log_.Notice("client " + peer + " connected (" + std::to_string(connections_.size()) + " of " +
              std::to_string(settings_.maxClients) + ")");
  counter_.Post([this, id = c->id] { sessions_[id] = open_(); });
  Read(c);
}

bool Server::CanRead(const Connection& c) const {
  return !c.reading && !c.readEnded && !c.closed && c.waitingBytes < kMaxWaitingInput;
}

void Server::Read(const ConnectionPtr& c) {
  if (!CanRead(*c)) return;
  c->reading = true;
  c->socket.async_read_some(asio::buffer(c->buffer), [this, c](error_code ec, std::size_t n) {
    c->reading = false;
    if (stopping_ || c->closed) return;
    std::vector<LineSplitter::Item> items;
    c->splitter.Feed(std::string_view(c->buffer.data(), n), &items);
    for (auto& item : items) {
      c->waitingBytes += item.text.size() + 1;
      c->waiting.push_back(std::move(item));
    }
    if (ec) {
      // A client that only shut its sending side still gets its replies;
      // lines that came whole run either way.
      c->readEnded = true;
      if (ec != asio::error::eof) c->broken = true;
    }
    Pump(c);
    Read(c);
  });
}

void Server::Pump(const ConnectionPtr& c) {
  if (c->closed) return;
  if (c->running || c->waiting.empty()) {
    FinishIfIdle(c);
    return;
  }
  LineSplitter::Item item = std::move(c->waiting.front());
  c->waiting.pop_front();
  c->waitingBytes -= item.text.size() + 1;
  c->running = true;
  counter_.Post([this, id = c->id, peer = c->peer,
                 overrun = item.kind == LineSplitter::Item::kOverrun,
                 line = std::move(item.text)] { RunLine(id, peer, overrun, line); });
}

void Server::RunLine(std::uint64_t id, const std::string& client, bool overrun,
                     const std::string& line) {
  std::optional<std::string> reply;
  std::vector<std::string> errors;
  const auto it = sessions_.find(id);
  if (it != sessions_.end() && it->second) {
    try {
      if (overrun) {
        // Its -363 joins the errors of the line before: only it is this one's.
        it->second->InputOverrun();
        errors = it->second->LastErrors();
        if (!errors.empty()) errors.erase(errors.begin(), errors.end() - 1);
      } else {
        reply = it->second->Execute(line);
        errors = it->second->LastErrors();
      }
    } catch (const std::exception& e) {
      log_.Warning(std::string("the command failed inside the server: ") + e.what(), client);
    }
  }
  if (settings_.live != nullptr && !overrun) settings_.live->CommandRun(scpi::Protocol::kRaw);
  log_.Command(client, overrun ? "(a line over 64 KiB, dropped)" : line, reply, errors);
  asio::post(io_, [this, id, reply = std::move(reply)]() mutable { Done(id, std::move(reply)); });
}

void Server::Done(std::uint64_t id, std::optional<std::string> reply) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  const ConnectionPtr c = it->second;
  c->running = false;
  if (reply && !c->broken) {
    reply->push_back('\n');
    Send(c, std::move(*reply));
  }
  Pump(c);
  Read(c);
}

void Server::Send(const ConnectionPtr& c, std::string text) {
  if (c->closed) return;
  // The reply in hand may be long (READ? of many samples); what a client
  // has left unread before it is what counts.
  if (c->pendingOutput > settings_.maxPendingOutput) {
    Drop(c, "more than 1 MiB of replies left unread");
    return;
  }
  c->pendingOutput += text.size();
  c->output.push_back(std::move(text));
  Write(c);
}

void Server::Write(const ConnectionPtr& c) {
  if (c->writing || c->output.empty() || c->closed) return;
  c->writing = true;
  asio::async_write(c->socket, asio::buffer(c->output.front()),
                    [this, c](error_code ec, std::size_t) {
                      c->writing = false;
                      if (stopping_ || c->closed) return;
                      c->pendingOutput -= c->output.front().size();
                      c->output.pop_front();
                      if (ec) {
                        c->broken = true;
                        c->output.clear();
                        c->pendingOutput = 0;
                      }
                      Write(c);
                      FinishIfIdle(c);
                    });
}

void Server::Drop(const ConnectionPtr& c, const std::string& why) {
  log_.Warning("closed the connection of " + c->peer + ": " + why, c->peer);
  c->waiting.clear();
  c->waitingBytes = 0;
  // A write under way still uses the first reply; its handler clears the rest.
  if (!c->writing) {
    c->output.clear();
    c->pendingOutput = 0;
  }
  c->readEnded = true;
  c->broken = true;
  error_code ec;
  c->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
  c->socket.close(ec);
  FinishIfIdle(c);
}

void Server::FinishIfIdle(const ConnectionPtr& c) {
  if (c->closed || !c->readEnded || c->running || !c->waiting.empty() || c->writing) return;
  if (!c->output.empty() && !c->broken) return;
  c->closed = true;
  error_code ec;
  c->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
  c->socket.close(ec);
  connections_.erase(c->id);
  log_.Notice("client " + c->peer + " disconnected");
  counter_.Post([this, id = c->id] { sessions_.erase(id); });
}

void Server::Shutdown() {
  stopping_ = true;
  error_code ec;
  ticks_.cancel();
  for (auto& a : acceptors_) a->close(ec);
  for (auto& [id, c] : connections_) {
    c->closed = true;
    c->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    c->socket.close(ec);
  }
  connections_.clear();
}

void Server::StopCounter() {
  counter_.Stop();
  sessions_.clear();
}

}  // namespace kolvane::server
