// The command line of kolvane-scpi.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/scpi/net.h"
namespace kolvane::server {

inline constexpr unsigned short kDefaultPort = 5025;
inline constexpr unsigned short kDefaultHttpPort = 8080;
inline constexpr int kDefaultMaxClients = 8;
inline constexpr int kMaxMaxClients = 10000;
// An mDNS instance name is one DNS label.
inline constexpr std::size_t kMaxNameBytes = 63;

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoInstrument = 3;

// An --allow network: an address and the number of leading bits that count.
struct AllowedNetwork {
  asio::ip::address base;
  int prefix = 0;
  std::string text;  // as given

  // IPv4 clients of an IPv6 socket (::ffff:a.b.c.d) match IPv4 networks.
  bool Contains(const asio::ip::address& address) const;
};

struct ServerOptions {
  std::optional<int> port;                      // 1..9: COMn only; none: scan
  std::vector<asio::ip::tcp::endpoint> listen;  // never empty after parsing
  std::vector<asio::ip::tcp::endpoint> http;    // empty: no HTTP (--no-http)
  std::vector<std::string> httpHosts;           // --http-host: more names it answers to
  std::vector<AllowedNetwork> allow;            // empty: everyone
  int maxClients = kDefaultMaxClients;
  // VXI-11's addresses (IPv4; the portmapper's version 2 knows no other):
  // --vxi11 as given, else those of --listen; empty with --no-vxi11.
  std::vector<asio::ip::address_v4> vxi11;
  bool vxi11Given = false;  // --vxi11 was given
  bool noVxi11 = false;
  bool noHttp = false;
  bool webViewOnly = false;  // pages watch, change nothing
  bool announce = false;
  std::optional<std::string> name;
  std::optional<std::string> log;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses argv[1..]; on failure returns false and sets *error to a line
// (without the line feed) naming the bad value and what is accepted.
bool ParseServerOptions(const std::vector<std::string>& args, ServerOptions* out,
                        std::string* error);

// True when the client may stay: no --allow, or a network that holds it.
bool Allowed(const std::vector<AllowedNetwork>& allow, const asio::ip::address& address);

// "127.0.0.1:5025", "[::1]:5025".
std::string EndpointText(const asio::ip::tcp::endpoint& endpoint);

std::string ServerHelp();

}  // namespace kolvane::server
