#include "app/scpi/options.h"

#include <array>
#include <charconv>
#include <string_view>

#include "version.h"

namespace kolvane::server {

namespace {

constexpr std::string_view kProgram = "kolvane-scpi: ";

std::string Bad(std::string_view option, std::string_view value, std::string_view accepted) {
  return std::string(kProgram) + "bad " + std::string(option) + " '" + std::string(value) + "' (" +
         std::string(accepted) + ")";
}

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
  std::error_code ec;
  const auto address = asio::ip::make_address(std::string(text), ec);
  if (ec) return std::nullopt;
  return address;
}

// ADDR, ADDR:PORT, [IPV6], [IPV6]:PORT or a bare IPv6 address.
std::optional<asio::ip::tcp::endpoint> Listen(std::string_view text) {
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
  unsigned short n = kDefaultPort;
  if (port && !WholeNumber(*port, &n)) return std::nullopt;
  return asio::ip::tcp::endpoint(*address, n);
}

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

bool Apply(std::string_view opt, std::string_view value, ServerOptions* o, std::string* error) {
  if (opt == "--port") {
    int n = 0;
    if (!WholeNumber(value, &n) || n < 1 || n > 9) {
      *error = Bad(opt, value, "accepted: 1 to 9, for COM1 to COM9");
      return false;
    }
    o->port = n;
  } else if (opt == "--listen") {
    const auto endpoint = Listen(value);
    if (!endpoint) {
      *error = Bad(opt, value,
                   "a numeric address with an optional port: 127.0.0.1, 0.0.0.0:5025, [::]:5025; "
                   "port 0 takes a free one");
      return false;
    }
    o->listen.push_back(*endpoint);
  } else if (opt == "--allow") {
    const auto network = Network(value);
    if (!network) {
      *error = Bad(opt, value, "a numeric address or network: 192.168.1.0/24, 10.0.0.7, ::1/128");
      return false;
    }
    o->allow.push_back(*network);
  } else if (opt == "--max-clients") {
    int n = 0;
    if (!WholeNumber(value, &n) || n < 1 || n > kMaxMaxClients) {
      *error = Bad(opt, value, "accepted: 1 to " + std::to_string(kMaxMaxClients));
      return false;
    }
    o->maxClients = n;
  } else if (opt == "--name") {
    if (value.empty() || value.size() > kMaxNameBytes) {
      *error = Bad(opt, value, "1 to 63 bytes, the limit of an mDNS name");
      return false;
    }
    o->name = std::string(value);
  } else {  // --log
    if (value.empty()) {
      *error = Bad(opt, value, "a file name");
      return false;
    }
    o->log = std::string(value);
  }
  return true;
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
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::string_view value;
    bool inlineValue = false;
    if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != arg.npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      inlineValue = true;
    }
    if (arg == "--help" || arg == "-h" || arg == "--version" || arg == "--quiet" ||
        arg == "--announce") {
      if (inlineValue) {
        *error = std::string(kProgram) + std::string(arg) + " takes no value";
        return false;
      }
      if (arg == "--version") {
        o.version = true;
      } else if (arg == "--quiet") {
        o.quiet = true;
      } else if (arg == "--announce") {
        o.announce = true;
      } else {
        o.help = true;
      }
      continue;
    }
    if (arg == "--port" || arg == "--listen" || arg == "--allow" || arg == "--max-clients" ||
        arg == "--name" || arg == "--log") {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          *error = std::string(kProgram) + std::string(arg) + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (!Apply(arg, value, &o, error)) return false;
      continue;
    }
    *error = std::string(kProgram) + "unknown option '" + std::string(args[i]) +
             "' (see kolvane-scpi --help)";
    return false;
  }
  if (o.listen.empty()) {
    o.listen.emplace_back(asio::ip::make_address_v4("127.0.0.1"), kDefaultPort);
  }
  *out = std::move(o);
  return true;
}

std::string ServerHelp() {
  return "Usage: kolvane-scpi [--port N] [--listen ADDR[:PORT]]... [--allow CIDR]...\n"
         "                    [--max-clients N] [--announce] [--name TEXT] [--log FILE]\n"
         "                    [--quiet] [--help] [--version]\n"
         "Serves the frequency counter as a SCPI instrument over TCP (raw socket, one\n"
         "command line per LF), for PyVISA (TCPIP::host::5025::SOCKET), lxi-tools and\n"
         "other VISA clients.\n"
         "\n"
         "  --port N             use COMN only (1..9); without it COM1..COM9 are scanned\n"
         "  --listen ADDR[:PORT] serve on this numeric address (default 127.0.0.1:5025,\n"
         "                       this machine only); 0.0.0.0 or [::] for every interface;\n"
         "                       port 0 takes a free port; may be repeated\n"
         "  --allow CIDR         accept clients from this network only (192.168.1.0/24,\n"
         "                       10.0.0.7, fe80::/10); may be repeated; others are closed\n"
         "                       at once and logged\n"
         "  --max-clients N      connections served at once (default 8); more are closed\n"
         "                       at once and logged\n"
         "  --announce           announce the service over mDNS/DNS-SD (_scpi-raw._tcp)\n"
         "                       through avahi-daemon\n"
         "  --name TEXT          the announced name (default: Kolvane <serial> on <host>)\n"
         "  --log FILE           append one line per command: time, client, command and\n"
         "                       reply, and every refused or dropped connection\n"
         "  --quiet              no notices on standard error, only warnings and errors\n"
         "  --help               this text\n"
         "  --version            the program's version\n"
         "Options also take the form --option=value. SIGINT (Ctrl+C), SIGTERM and SIGHUP\n"
         "close every connection and the port, and end the program with status 0.\n"
         "\n"
         "Exit status:\n"
         "  0  stopped by a signal\n"
         "  2  bad arguments, an address that cannot be served on, or a log file that\n"
         "     cannot be written\n"
         "  3  no instrument found on any port tried\n";
}

}  // namespace kolvane::server
