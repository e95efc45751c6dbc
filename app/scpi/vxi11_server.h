// VXI-11 (Linux): the core channel (TCPIP::host::INSTR) and the abort
// channel over TCP, on the io_context's thread like the raw sockets. Each
// link is a SCPI session of its own whose lines take their turn on the
// raw server's counter thread with every other client's.
//
// A core connection carries one call at a time, as its client waits for
// each reply; a call that must wait (a read before its reply is there, a
// lock held by another link, the status byte behind the command in hand)
// is kept with its deadlines and tried again whenever something changes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/scpi/event_log.h"
#include "app/scpi/net.h"
#include "app/scpi/options.h"
#include "app/scpi/server.h"

namespace kolvane::server {

// A create_link's maxRecvSize: a device_write's record, its headers
// included, stays within rpc::kMaxRecord.
inline constexpr std::uint32_t kVxi11MaxRecvSize = 64 * 1024 - 1024;

class Vxi11Server {
 public:
  Vxi11Server(asio::io_context& io, Server& server, SessionFactory open, EventLog& log,
              std::vector<AllowedNetwork> allow);
  ~Vxi11Server();
  Vxi11Server(const Vxi11Server&) = delete;
  Vxi11Server& operator=(const Vxi11Server&) = delete;

  // Binds the core and the abort channel on each address, every address on
  // the same two ports; on failure returns why, naming the address.
  std::optional<std::string> Listen(const std::vector<asio::ip::address_v4>& addresses);
  // Gives the listeners up: VXI-11 is off (no portmapper could announce it).
  void Close();
  void Start();
  // Stops accepting and closes every connection; on the io_context's thread.
  void Shutdown();
  // After the counter thread has stopped: the links' sessions go.
  void DropSessions();

  // For the welcome page, the metrics and the announcement (the portmapper
  // is on port 111, rpc::kPortmapPort); on the io_context's thread but
  // Commands(), which any thread may read.
  bool On() const { return !acceptors_.empty(); }
  std::uint16_t CorePort() const { return corePort_; }
  std::uint16_t AbortPort() const { return abortPort_; }
  const std::vector<asio::ip::address_v4>& Addresses() const { return addresses_; }
  // Open core connections (those --max-clients counts) and links.
  std::size_t Connections() const { return connections_.size(); }
  std::size_t Links() const { return links_.size(); }
  // Lines received over VXI-11 and handed to the counter thread.
  std::uint64_t Commands() const { return commands_.load(); }

 private:
  struct Connection;
  struct Link;
  struct Parked;
  using ConnectionPtr = std::shared_ptr<Connection>;
  enum class Outcome { kReplied, kWaiting };

  void Accept(asio::ip::tcp::acceptor& acceptor, bool abort);
  void Admit(asio::ip::tcp::socket socket, bool abort);
  void Read(const ConnectionPtr& c);
  void Process(const ConnectionPtr& c);
  void HandleRecord(const ConnectionPtr& c, const std::string& record);
  void HandleAbort(const ConnectionPtr& c, const std::string& record);
  Outcome Try(const ConnectionPtr& c);
  void Retry(const ConnectionPtr& c);
  void RetryAll();
  void Finish(const ConnectionPtr& c, const std::string& results);
  void Reply(const ConnectionPtr& c, std::string message, bool thenClose);
  void Write(const ConnectionPtr& c);
  void CloseConnection(const ConnectionPtr& c, const std::string& why);
  void Arm(const ConnectionPtr& c);

  Link* FindLink(const ConnectionPtr& c, std::int32_t lid);
  void DestroyLink(std::int32_t lid);
  void ClearLink(Link& link);
  void Pump(Link& link);
  void LineDone(std::int32_t lid, std::uint64_t generation, std::optional<std::string> reply);

  asio::io_context& io_;
  Server& server_;
  SessionFactory open_;
  EventLog& log_;
  std::vector<AllowedNetwork> allow_;
  std::vector<asio::ip::address_v4> addresses_;
  std::vector<std::unique_ptr<asio::ip::tcp::acceptor>> acceptors_;
  std::uint16_t corePort_ = 0;
  std::uint16_t abortPort_ = 0;
  std::unordered_map<std::uint64_t, ConnectionPtr> connections_;       // core
  std::unordered_map<std::uint64_t, ConnectionPtr> abortConnections_;  // abort
  std::map<std::int32_t, std::unique_ptr<Link>> links_;
  std::optional<std::int32_t> lockHolder_;
  std::uint64_t nextId_ = 1;
  std::int32_t nextLink_ = 1;
  bool stopping_ = false;
  std::atomic<std::uint64_t> commands_{0};

  // The counter thread's: each link's session and the flag that cancels
  // its line in hand.
  struct LinkSession {
    std::unique_ptr<scpi::Session> session;
    std::shared_ptr<std::atomic<bool>> cancel;
  };
  std::unordered_map<std::int32_t, LinkSession> sessions_;
};

}  // namespace kolvane::server
