// What kolvane-scpi's HTTP server answers, apart from the network: the
// welcome page, the LXI identification document and the metrics, and the
// routing of a request to them. No Asio here, so that tests and fuzz
// targets call it directly; http_server.cpp carries it over Boost.Beast.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scpi/engine.h"
#include "scpi/telemetry.h"

namespace kolvane::server::web {

// An address a listener serves on: numeric, IPv6 without brackets.
struct Endpoint {
  std::string address;
  unsigned short port = 0;
};

// Every listener of the running server, by protocol. main fills it from
// what was bound (with the ports the system chose).
struct Listeners {
  std::vector<Endpoint> raw;
  std::vector<Endpoint> vxi11;  // empty while VXI-11 is off
  std::vector<Endpoint> http;
};

// An address of one of the machine's interfaces.
struct NetInterface {
  std::string name;  // "eth0"
  std::string address;
  bool v6 = false;
  std::string netmask;
  std::string mac;      // "00:11:22:33:44:55"
  std::string gateway;  // "0.0.0.0" when none is known
  bool dhcp = false;
};

// What does not change while the server runs.
struct Site {
  scpi::Identity identity;  // *IDN?
  std::string description;  // --name, or the default name
  std::string hostName;
  std::string instrumentPort;  // as the programs name it: "COM3"
  Listeners listeners;
  // The machine's addresses, for a listener on 0.0.0.0 or [::].
  std::function<std::vector<NetInterface>()> interfaces;
  // --http-host: further names the server answers to (DNS names, proxies).
  std::vector<std::string> extraHosts;
  // Pages open at once (--max-clients): their live connections.
  std::size_t maxPages = 8;
  // --web-view-only: the pages watch, and a change is refused with 403.
  bool viewOnly = false;
};

// What changes: asked for at each request.
struct Live {
  scpi::TelemetrySnapshot telemetry;
  std::array<std::size_t, 3> clients{};  // open connections by scpi::Protocol
  std::size_t pages = 0;                 // the pages' live connections
  // The readings of /readings as the logger's CSV; empty: none kept.
  std::function<std::string()> readingsCsv;
};

struct Request {
  std::string method;                 // "GET"
  std::string target;                 // "/lxi/identification?x=1"
  std::string host;                   // the Host field, as sent (may be empty)
  std::string local;                  // the address the connection came in on, "127.0.0.1:8080"
  std::optional<std::string> origin;  // the Origin field, when sent
  bool upgrade = false;               // a WebSocket handshake
};

struct Response {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool head = false;   // HEAD: the headers of a GET, no body sent
  bool close = false;  // the connection closes after it
};

// The reason phrase of a status the server gives.
const char* StatusText(int status);

// True when `host` (a Host field) names this server: an --http address
// with its port, localhost, the host name or <host name>.local with an
// HTTP port, an --http-host, or the address the request came in on; the
// port may be left out where it is 80. Another name is how a page of some
// other site reaches a loopback server through DNS rebinding.
bool HostAccepted(const Site& site, const Request& request, std::string_view host);
// The guards every path answers first: 421 for a Host that is not the
// server's, 403 for a change (POST, a WebSocket handshake) whose Origin is
// present and not http:// plus an accepted host. A request without Host or
// Origin is not a browser's and passes.
std::optional<Response> Guard(const Request& request, const Site& site);

// Routes a request, the guards first. Paths: "/", "/panel" and "/readings"
// (503 while --max-clients pages are open), "/readings.csv",
// "/lxi/identification" (a trailing slash redirects), "/metrics"; GET and
// HEAD only.
Response Handle(const Request& request, const Site& site, const std::function<Live()>& live);

// The Host a page names: the request's Host when it is a plain host name or
// address with an optional port, else the local address.
std::string EffectiveHost(const Request& request);
// The host without its port: "bench7", "192.168.1.5", "[fe80::1]".
std::string HostOnly(const std::string& host);

// The VISA resource strings that reach the server through `host`.
std::vector<std::string> VisaResources(const Listeners& listeners, const std::string& host);

std::string WelcomePage(const Site& site, const Live& live, const std::string& host);
std::string IdentificationDocument(const Site& site, const std::string& host);
std::string MetricsText(const Live& live);

std::string EscapeHtml(std::string_view text);

}  // namespace kolvane::server::web

namespace kolvane::server {

// "Kolvane 0005 on bench7", cut to the 63 bytes of an mDNS name: the
// description when --name gives none.
std::string DefaultName(const scpi::Identity& identity, const std::string& host);

}  // namespace kolvane::server
