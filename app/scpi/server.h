// The network side of kolvane-scpi: the listening sockets and the client
// connections, all on the thread that runs the io_context. Each complete
// line goes to the counter thread; a connection has at most one line there
// at a time, so the lines of all clients take turns in the order they came,
// and no client holds the others up beyond the command that is running.
#pragma once

#include <atomic>
#include <boost/asio/steady_timer.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/scpi/counter_thread.h"
#include "app/scpi/event_log.h"
#include "app/scpi/listen.h"
#include "app/scpi/net.h"
#include "app/scpi/options.h"
#include "scpi/engine.h"
#include "scpi/telemetry.h"

namespace kolvane::server {

struct ServerSettings {
  std::vector<AllowedNetwork> allow;
  int maxClients = kDefaultMaxClients;
  // A client whose unsent replies pass this loses its connection.
  std::size_t maxPendingOutput = std::size_t{1} << 20;
  // Where the commands run are counted, if anywhere.
  scpi::Telemetry* live = nullptr;
};

// Opens a session for a new connection; runs on the counter thread.
using SessionFactory = std::function<std::unique_ptr<scpi::Session>()>;

class Server {
 public:
  Server(asio::io_context& io, SessionFactory open, EventLog& log, ServerSettings settings);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens on every endpoint; on failure returns why, naming the
  // address ("127.0.0.1:5025: address in use").
  std::optional<std::string> Listen(const std::vector<asio::ip::tcp::endpoint>& endpoints);
  // The addresses bound, with the ports the system chose for port 0.
  std::vector<asio::ip::tcp::endpoint> Bound() const;
  // Starts accepting.
  void Start();
  // Stops accepting and closes every connection; on the io_context's thread.
  void Shutdown();
  // Lets the command in hand finish and ends the counter thread; the
  // sessions close with it. After the io_context has stopped.
  void StopCounter();

  // Runs `tick` on the counter thread every `periodMs`, in turn with the
  // clients' lines, while no tick is waiting already (the panel's timer).
  void StartTicks(std::function<void()> tick, unsigned periodMs);

  // Posts a job to the counter thread, in turn with the clients' lines.
  void OnCounterThread(std::function<void()> job) { counter_.Post(std::move(job)); }
  // Runs `hook` on the counter thread after each job, ticks included.
  void AfterEachCounterJob(std::function<void()> hook) { counter_.AfterEach(std::move(hook)); }
  std::size_t Connections() const { return connections_.size(); }
  // Connections of the other listeners (VXI-11) count against --max-clients
  // too; they say when one opens (+1) and closes (-1).
  void OtherClients(int delta) { others_ += delta; }
  bool Full() const {
    return connections_.size() + others_ >= static_cast<std::size_t>(settings_.maxClients);
  }
  int MaxClients() const { return settings_.maxClients; }

 private:
  struct Connection;
  using ConnectionPtr = std::shared_ptr<Connection>;

  void Accept(asio::ip::tcp::acceptor& acceptor);
  void NextTick();
  void Admit(asio::ip::tcp::socket socket);
  void Read(const ConnectionPtr& c);
  void Pump(const ConnectionPtr& c);
  void Done(std::uint64_t id, std::optional<std::string> reply);
  void Send(const ConnectionPtr& c, std::string text);
  void Write(const ConnectionPtr& c);
  void Drop(const ConnectionPtr& c, const std::string& why);
  void FinishIfIdle(const ConnectionPtr& c);
  bool CanRead(const Connection& c) const;

  // On the counter thread only.
  void RunLine(std::uint64_t id, const std::string& client, bool overrun, const std::string& line);

  asio::io_context& io_;
  SessionFactory open_;
  EventLog& log_;
  ServerSettings settings_;
  std::vector<std::unique_ptr<asio::ip::tcp::acceptor>> acceptors_;
  std::unordered_map<std::uint64_t, ConnectionPtr> connections_;
  std::uint64_t nextId_ = 1;
  std::size_t others_ = 0;
  bool stopping_ = false;
  asio::steady_timer ticks_;
  std::function<void()> tick_;
  unsigned tickMs_ = 0;
  std::atomic<bool> tickWaiting_{false};
  // The counter thread's: each connection's session.
  std::unordered_map<std::uint64_t, std::unique_ptr<scpi::Session>> sessions_;
  // Last, so that it stops before the rest goes.
  CounterThread counter_;
};

}  // namespace kolvane::server
