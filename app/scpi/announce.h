// The mDNS/DNS-SD announcement of the server (_scpi-raw._tcp) through
// avahi-daemon, kept up on a thread of Avahi's own: it follows the daemon
// when it starts late or restarts, and takes another name on a collision.
#pragma once

#include <memory>
#include <string>

#include "app/scpi/event_log.h"
#include "scpi/engine.h"

namespace kolvane::server {

struct Announcement {
  std::string name;
  unsigned short port = 0;      // the first raw socket's
  unsigned short httpPort = 0;  // the first --http's; 0: none
  bool vxi11 = false;           // VXI-11 serves: _vxi-11._tcp on port 111
  bool ipv4Only = false;        // every address served on is IPv4
  scpi::Identity identity;
};

class Announcer {
 public:
  virtual ~Announcer() = default;
};

// Starts announcing; what happens goes to the log. Never fails: without a
// daemon the server goes on unannounced, and says so.
std::unique_ptr<Announcer> Announce(const Announcement& announcement, EventLog& log);

}  // namespace kolvane::server
