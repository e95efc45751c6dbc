// How VXI-11 clients find the core channel's port (Linux): registered with
// the system's rpcbind through libtirpc when one runs, else answered by a
// portmapper of our own on port 111 (TCP and UDP, broadcasts included),
// for the core channel only. Neither: VXI-11 is off.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/scpi/event_log.h"
#include "app/scpi/net.h"
#include "app/scpi/options.h"

namespace kolvane::server {

class Portmapper {
 public:
  enum class Mode { kOff, kRpcbind, kOwn };

  Portmapper(asio::io_context& io, EventLog& log, std::vector<AllowedNetwork> allow);
  ~Portmapper();
  Portmapper(const Portmapper&) = delete;
  Portmapper& operator=(const Portmapper&) = delete;

  // Makes the core channel's port known to clients of these addresses: our
  // own portmapper answers on each of them, and on its network's broadcast
  // address for discovery (0.0.0.0: every interface). kOff with *why when
  // it cannot be.
  Mode Start(const std::vector<asio::ip::address_v4>& addresses, std::uint16_t corePort,
             std::string* why);
  // Removes the registration, or closes the own portmapper's sockets; on
  // the io_context's thread.
  void Shutdown();
  Mode Current() const { return mode_; }

 private:
  struct Own;
  EventLog& log_;
  asio::io_context& io_;
  std::vector<AllowedNetwork> allow_;
  Mode mode_ = Mode::kOff;
  std::unique_ptr<Own> own_;
};

}  // namespace kolvane::server
