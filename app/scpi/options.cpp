#include "app/scpi/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "cli/command_line.h"

namespace kolvane::server {

namespace {

// Where the options' descriptions start in the help.
constexpr std::size_t kColumn = 23;

template <typename T>
bool WholeNumber(std::string_view text, T* out) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// A numeric address; IPv6 may come in brackets.
std::optional<asio::ip::address> Address(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
    if (text.find(':') == std::string_view::npos) return std::nullopt;
  }
  error_code ec;
  const auto address = asio::ip::make_address(std::string(text), ec);
  if (ec) return std::nullopt;
  return address;
}

// ADDR, ADDR:PORT, [IPV6], [IPV6]:PORT or a bare IPv6 address.
std::optional<asio::ip::tcp::endpoint> Endpoint(std::string_view text, unsigned short n) {
  std::string_view host = text;
  std::optional<std::string_view> port;
  const std::size_t colon = text.rfind(':');
  const bool bracketed = !text.empty() && text.front() == '[';
  if (colon != std::string_view::npos &&
      (bracketed ? colon > 0 && text[colon - 1] == ']' : text.find(':') == colon)) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  const auto address = Address(host);
  if (!address || (bracketed && !address->is_v6())) return std::nullopt;
  if (port && !WholeNumber(*port, &n)) return std::nullopt;
  return asio::ip::tcp::endpoint(*address, n);
}

std::optional<asio::ip::tcp::endpoint> Listen(std::string_view text) {
  return Endpoint(text, kDefaultPort);
}

std::optional<asio::ip::tcp::endpoint> Http(std::string_view text) {
  return Endpoint(text, kDefaultHttpPort);
}

#ifndef _WIN32
std::optional<asio::ip::address_v4> Vxi11Address(std::string_view text) {
  const auto address = Address(text);
  if (!address || !address->is_v4()) return std::nullopt;
  return address->to_v4();
}
#endif

std::optional<AllowedNetwork> Network(std::string_view text) {
  AllowedNetwork net;
  net.text = std::string(text);
  const std::size_t slash = text.find('/');
  const auto base = Address(text.substr(0, slash));
  if (!base) return std::nullopt;
  net.base = *base;
  const int bits = base->is_v4() ? 32 : 128;
  net.prefix = bits;
  if (slash != std::string_view::npos &&
      (!WholeNumber(text.substr(slash + 1), &net.prefix) || net.prefix < 0 || net.prefix > bits)) {
    return std::nullopt;
  }
  return net;
}

template <std::size_t N>
bool SamePrefix(const std::array<unsigned char, N>& a, const std::array<unsigned char, N>& b,
                int bits) {
  for (std::size_t i = 0; bits > 0; ++i, bits -= 8) {
    const unsigned mask = bits >= 8 ? 0xFFu : (0xFFu << (8 - bits)) & 0xFFu;
    if ((a[i] & mask) != (b[i] & mask)) return false;
  }
  return true;
}

// Every value that `parse` takes, appended to *out.
template <typename T>
cli::Take Append(std::optional<T> (*parse)(std::string_view), const char* accepted,
                 std::vector<T>* out) {
  return [parse, accepted, out](const std::string& value, std::string* what) {
    const std::optional<T> v = parse(value);
    *what = accepted;
    if (v) out->push_back(*v);
    return v.has_value();
  };
}

// The options onto *o.
void Define(cli::CommandLine& line, ServerOptions* o) {
  CLI::App& app = line.App();
  app.description(
      "Serves the frequency counter as a SCPI instrument over TCP (raw socket, one\n"
      "command line per LF), for PyVISA (TCPIP::host::5025::SOCKET), lxi-tools and\n"
      "other VISA clients; and over HTTP a welcome page, the LXI identification\n"
      "document (/lxi/identification) and metrics for Prometheus (/metrics).");
  app.footer(
      "Options also take the form --option=value. SIGINT (Ctrl+C), SIGTERM and SIGHUP\n"
      "close every connection and the port, and end the program with status 0.\n"
      "\n"
      "Exit status:\n"
      "  0  stopped by a signal\n"
      "  2  bad arguments, an address that cannot be served on, or a log file that\n"
      "     cannot be written\n"
      "  3  no instrument found on any port tried");

  cli::AddPort(line, &o->port);
  line.Value("--listen", "ADDR[:PORT]",
             "serve on this numeric address (default 127.0.0.1:5025,\n"
             "this machine only); 0.0.0.0 or [::] for every interface;\n"
             "port 0 takes a free port; may be repeated",
             Append(Listen,
                    "a numeric address with an optional port: 127.0.0.1, 0.0.0.0:5025, "
                    "[::]:5025; port 0 takes a free one",
                    &o->listen));
  line.Value("--http", "ADDR[:PORT]",
             "serve the welcome page, the LXI identification document\n"
             "and the metrics over HTTP on this numeric address\n"
             "(default 127.0.0.1:8080; port 8080 when left out);\n"
             "may be repeated",
             Append(Http,
                    "a numeric address with an optional port: 127.0.0.1, 0.0.0.0:80, "
                    "[::]:8080; port 0 takes a free one",
                    &o->http));
  line.Value("--http-host", "NAME[:PORT]",
             "a further host name the pages answer to (a DNS name,\n"
             "a proxy's); may be repeated. Others get 421, so that\n"
             "no other site's page reaches the server by DNS rebinding",
             [o](const std::string& value, std::string* accepted) {
               *accepted = "a host name with an optional port: bench7.lab, proxy.lab:8443";
               if (value.empty() || value.size() > 253 + 6) return false;
               for (char c : value) {
                 const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                 (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' ||
                                 c == ':' || c == '[' || c == ']';
                 if (!ok) return false;
               }
               o->httpHosts.push_back(value);
               return true;
             });
  line.Flag("--web-view-only", &o->webViewOnly,
            "the pages (/panel, /readings) watch the instrument\n"
            "but change nothing; SCPI clients are not affected");
  line.Flag("--no-http", &o->noHttp, "no HTTP server");
  line.Value("--allow", "CIDR",
             "accept clients from this network only (192.168.1.0/24,\n"
             "10.0.0.7, fe80::/10); may be repeated; others are closed\n"
             "at once and logged",
             Append(Network, "a numeric address or network: 192.168.1.0/24, 10.0.0.7, ::1/128",
                    &o->allow));
  line.Value("--max-clients", "N",
             "connections served at once (default 8); more are closed\n"
             "at once and logged",
             [o](const std::string& value, std::string* accepted) {
               int n = 0;
               *accepted = "1 to " + std::to_string(kMaxMaxClients);
               if (!WholeNumber(value, &n) || n < 1 || n > kMaxMaxClients) return false;
               o->maxClients = n;
               return true;
             });
#ifdef _WIN32
  line.Value("--vxi11", "ADDR",
             "not in the Windows build, which has no VXI-11 (use the\n"
             "raw socket, TCPIP::host::5025::SOCKET)",
             [o](const std::string&, std::string*) {
               o->vxi11Given = true;
               return true;
             });
  line.Flag("--no-vxi11", &o->noVxi11, "no VXI-11 (the Windows build has none anyway)");
#else
  line.Value("--vxi11", "ADDR",
             "serve VXI-11 (TCPIP::host::INSTR) on this IPv4 address,\n"
             "found through the portmapper on port 111; may be\n"
             "repeated (default: the IPv4 addresses of --listen)",
             [o](const std::string& value, std::string* what) {
               const auto v = Vxi11Address(value);
               *what =
                   "a numeric IPv4 address without a port: 127.0.0.1, 0.0.0.0, 192.168.1.20 "
                   "(VXI-11's portmapper knows IPv4 only; the port comes from the portmapper)";
               if (v) o->vxi11.push_back(*v);
               o->vxi11Given = true;
               return v.has_value();
             });
  line.Flag("--no-vxi11", &o->noVxi11, "no VXI-11 and no portmapper");
#endif
  line.Flag("--announce", &o->announce,
            "announce the service over mDNS/DNS-SD (_scpi-raw._tcp)\n"
            "through avahi-daemon");
  line.Value("--name", "TEXT", "the announced name (default: Kolvane <serial> on <host>)",
             [o](const std::string& value, std::string* accepted) {
               *accepted = "1 to 63 bytes, the limit of an mDNS name";
               if (value.empty() || value.size() > kMaxNameBytes) return false;
               o->name = value;
               return true;
             });
  line.Value("--log", "FILE",
             "append one line per command: time, client, command and\n"
             "reply, and every refused or dropped connection",
             cli::FileName(&o->log));
  line.Flag("--quiet", &o->quiet, "no notices on standard error, only warnings and errors");
  line.Flag("-h,--help", &o->help, "this text");
  line.Flag("--version", &o->version, "the program's version");
}

}  // namespace

bool AllowedNetwork::Contains(const asio::ip::address& address) const {
  asio::ip::address a = address;
  if (a.is_v6() && a.to_v6().is_v4_mapped()) {
    a = asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
  }
  if (a.is_v4() != base.is_v4()) return false;
  if (a.is_v4()) return SamePrefix(a.to_v4().to_bytes(), base.to_v4().to_bytes(), prefix);
  return SamePrefix(a.to_v6().to_bytes(), base.to_v6().to_bytes(), prefix);
}

bool Allowed(const std::vector<AllowedNetwork>& allow, const asio::ip::address& address) {
  if (allow.empty()) return true;
  for (const AllowedNetwork& net : allow) {
    if (net.Contains(address)) return true;
  }
  return false;
}

std::string EndpointText(const asio::ip::tcp::endpoint& endpoint) {
  asio::ip::address a = endpoint.address();
  if (a.is_v6() && a.to_v6().is_v4_mapped()) {
    a = asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
  }
  const std::string host = a.is_v6() ? "[" + a.to_string() + "]" : a.to_string();
  return host + ":" + std::to_string(endpoint.port());
}

bool ParseServerOptions(const std::vector<std::string>& args, ServerOptions* out,
                        std::string* error) {
  ServerOptions o;
  cli::CommandLine line("kolvane-scpi", kColumn);
  Define(line, &o);
  *error = line.Parse(args);
  if (!error->empty()) return false;
  if (o.listen.empty()) {
    o.listen.emplace_back(asio::ip::make_address_v4("127.0.0.1"), kDefaultPort);
  }
  if (o.noHttp && !o.http.empty()) {
    *error = "kolvane-scpi: --http and --no-http contradict each other; give one of them";
    return false;
  }
  if (o.noHttp) {
    o.http.clear();
  } else if (o.http.empty()) {
    o.http.emplace_back(asio::ip::make_address_v4("127.0.0.1"), kDefaultHttpPort);
  }
  if (o.noVxi11 && o.vxi11Given) {
    *error = "kolvane-scpi: --vxi11 and --no-vxi11 contradict each other; give one of them";
    return false;
  }
  if (!o.vxi11Given) {
    for (const auto& endpoint : o.listen) {
      if (!endpoint.address().is_v4()) continue;
      const auto a = endpoint.address().to_v4();
      if (std::find(o.vxi11.begin(), o.vxi11.end(), a) == o.vxi11.end()) o.vxi11.push_back(a);
    }
  }
  if (o.noVxi11) o.vxi11.clear();
#ifdef _WIN32
  o.vxi11.clear();
#endif
  *out = std::move(o);
  return true;
}

std::string ServerHelp() {
  ServerOptions o;
  cli::CommandLine line("kolvane-scpi", kColumn);
  Define(line, &o);
  return line.Help();
}

}  // namespace kolvane::server
