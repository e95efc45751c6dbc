#include "app/scpi/web.h"

#include <charconv>
#include <cmath>
#include <set>
#include <string_view>

#include "panel/web/live.h"
#include "panel/web/page.h"
#include "panel/web/readings_page.h"
#include "record/csv.h"

namespace kolvane::server::web {

namespace {

constexpr std::string_view kLxiNamespace =
    "http://www.lxistandard.org/InstrumentIdentification/1.0";
constexpr std::string_view kIdentificationPath = "/lxi/identification";
constexpr std::string_view kPanelPath = "/panel";
constexpr std::string_view kReadingsPath = "/readings";
constexpr std::string_view kReadingsCsvPath = "/readings.csv";
// What the server answers with a Host it cannot use.
constexpr std::size_t kMaxHostBytes = 255;

std::string EscapeXml(std::string_view text) {
  return EscapeHtml(text);
}

bool IsHostByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_' || c == ':' || c == '[' || c == ']' || c == '%';
}

std::string Number(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

std::string LabelValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

// One metric's HELP and TYPE lines.
void Describe(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

const char* ProtocolTitle(int index) {
  static constexpr const char* kTitles[] = {"SCPI raw socket", "VXI-11", "HTTP"};
  return kTitles[index];
}

bool IsWildcard(const std::string& address) {
  return address == "0.0.0.0" || address == "::";
}

// The addresses served, each once; a wildcard stands for the machine's
// addresses of its family ([::] for both, as it takes IPv4 clients too).
std::vector<NetInterface> ServedInterfaces(const Site& site) {
  std::vector<std::string> served;
  for (const auto* list : {&site.listeners.raw, &site.listeners.vxi11, &site.listeners.http}) {
    for (const Endpoint& e : *list) served.push_back(e.address);
  }
  std::vector<NetInterface> machine;
  if (site.interfaces) machine = site.interfaces();
  std::vector<NetInterface> out;
  std::set<std::string> seen;
  const auto add = [&](const NetInterface& i) {
    if (seen.insert(i.address).second) out.push_back(i);
  };
  for (const std::string& address : served) {
    if (IsWildcard(address)) {
      for (const NetInterface& i : machine) {
        if (address == "::" || !i.v6) add(i);
      }
      continue;
    }
    NetInterface found;
    found.address = address;
    found.v6 = address.find(':') != std::string::npos;
    found.netmask = found.v6 ? "" : "255.255.255.255";
    found.mac = "00:00:00:00:00:00";
    found.gateway = found.v6 ? "::" : "0.0.0.0";
    for (const NetInterface& i : machine) {
      if (i.address == address) found = i;
    }
    add(found);
  }
  return out;
}

Response Page(int status, std::string contentType, std::string body) {
  Response r;
  r.status = status;
  r.contentType = std::move(contentType);
  r.body = std::move(body);
  return r;
}

Response Problem(int status, const std::string& detail) {
  const std::string title = std::to_string(status) + " " + StatusText(status);
  return Page(status, "text/html; charset=utf-8",
              "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + title +
                  "</title></head><body><h1>" + title + "</h1><p>" + EscapeHtml(detail) +
                  "</p><p><a href=\"/\">The instrument's page</a></p></body></html>\n");
}

}  // namespace

const char* StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Content Too Large";
    case 421:
      return "Misdirected Request";
    case 431:
      return "Request Header Fields Too Large";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

std::string EscapeHtml(std::string_view text) {
  return web_panel::Escape(text);
}

std::string EffectiveHost(const Request& request) {
  const std::string& host = request.host;
  bool plain = !host.empty() && host.size() <= kMaxHostBytes;
  for (char c : host) plain = plain && IsHostByte(c);
  return plain ? host : request.local;
}

std::string HostOnly(const std::string& host) {
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    return close == std::string::npos ? host : host.substr(0, close + 1);
  }
  const std::size_t colon = host.find(':');
  // A bare IPv6 address has several colons and no port.
  if (colon == std::string::npos || host.find(':', colon + 1) != std::string::npos) return host;
  return host.substr(0, colon);
}

std::vector<std::string> VisaResources(const Listeners& listeners, const std::string& host) {
  const std::string h = HostOnly(host);
  std::vector<std::string> out;
  if (!listeners.vxi11.empty()) {
    out.push_back("TCPIP::" + h + "::INSTR");
    out.push_back("TCPIP::" + h + "::inst0::INSTR");
  }
  std::set<unsigned short> ports;
  for (const Endpoint& e : listeners.raw) {
    if (ports.insert(e.port).second) {
      out.push_back("TCPIP::" + h + "::" + std::to_string(e.port) + "::SOCKET");
    }
  }
  return out;
}

std::string WelcomePage(const Site& site, const Live& live, const std::string& host) {
  const scpi::Identity& id = site.identity;
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      EscapeHtml(id.manufacturer + " " + id.model + " " + id.serial + " - " + site.description) +
      "</title>\n<style>\n"
      "body{font-family:sans-serif;margin:2em;max-width:50em;color:#222}\n"
      "table{border-collapse:collapse;margin-bottom:1em}\n"
      "th,td{text-align:left;padding:.25em 1em .25em 0;border-bottom:1px solid #ddd}\n"
      "code{font-size:1.05em}\n.up{color:#060}.down{color:#b00}\n"
      "</style>\n</head>\n<body>\n<h1>" +
      EscapeHtml(id.manufacturer + " " + id.model) + "</h1>\n<p>" + EscapeHtml(site.description) +
      "</p>\n<h2>Instrument</h2>\n<table>\n";
  const auto row = [&out](const std::string& name, const std::string& valueHtml) {
    out += "<tr><th>" + EscapeHtml(name) + "</th><td>" + valueHtml + "</td></tr>\n";
  };
  row("Manufacturer", EscapeHtml(id.manufacturer));
  row("Model", EscapeHtml(id.model));
  row("Serial number", EscapeHtml(id.serial));
  row("Firmware revision", EscapeHtml(id.version));
  row("Description", EscapeHtml(site.description));
  row("Host name", EscapeHtml(site.hostName));
  row("Instrument port", EscapeHtml(site.instrumentPort));
  const bool up = live.telemetry.linkUp;
  row("Link", std::string("<span class=\"") + (up ? "up\">up" : "down\">down") + "</span>");
  if (const auto& r = live.telemetry.reading) {
    row("Last reading", EscapeHtml(r->function + " (@" + std::to_string(r->channel) + ") " +
                                   Number(r->value) + (r->unit.empty() ? "" : " " + r->unit)));
  }
  out +=
      "</table>\n<h2>Addresses</h2>\n<table>\n<tr><th>Protocol</th><th>Address</th>"
      "<th>Port</th></tr>\n";
  const std::vector<Endpoint>* lists[] = {&site.listeners.raw, &site.listeners.vxi11,
                                          &site.listeners.http};
  for (int p = 0; p < 3; ++p) {
    for (const Endpoint& e : *lists[p]) {
      out += "<tr><td>" + std::string(ProtocolTitle(p)) + "</td><td>" + EscapeHtml(e.address) +
             "</td><td>" + std::to_string(e.port) + "</td></tr>\n";
    }
  }
  out += "</table>\n<h2>VISA resource strings</h2>\n<ul>\n";
  for (const std::string& visa : VisaResources(site.listeners, host)) {
    out += "<li><code>" + EscapeHtml(visa) + "</code></li>\n";
  }
  out +=
      "</ul>\n<h2>More</h2>\n<ul>\n"
      "<li><a href=\"/panel\">Front panel</a> and <a href=\"/readings\">readings</a> "
      "(trend, histogram, statistics, limits)</li>\n"
      "<li><a href=\"/lxi/identification\">LXI identification document</a></li>\n"
      "<li><a href=\"/metrics\">Metrics</a> (Prometheus text format)</li>\n</ul>\n"
      "</body>\n</html>\n";
  return out;
}

std::string IdentificationDocument(const Site& site, const std::string& host) {
  const scpi::Identity& id = site.identity;
  const std::string base = "http://" + host;
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LXIDevice xmlns=\"";
  out += kLxiNamespace;
  out += "\" xmlns:lxi=\"";
  out += kLxiNamespace;
  out +=
      "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
      "  <Manufacturer>" +
      EscapeXml(id.manufacturer) + "</Manufacturer>\n  <Model>" + EscapeXml(id.model) +
      "</Model>\n  <SerialNumber>" + EscapeXml(id.serial) + "</SerialNumber>\n" +
      "  <FirmwareRevision>" + EscapeXml(id.version) + "</FirmwareRevision>\n" +
      "  <ManufacturerDescription>" +
      EscapeXml(id.manufacturer + " " + id.model + ", three channels, over a USB-UART bridge") +
      "</ManufacturerDescription>\n  <HomepageURL>" + EscapeXml(base + "/") +
      "</HomepageURL>\n  <DriverURL>" + EscapeXml(base + "/") + "</DriverURL>\n" +
      "  <UserDescription>" + EscapeXml(site.description) + "</UserDescription>\n" +
      "  <IdentificationURL>" + EscapeXml(base + std::string(kIdentificationPath)) +
      "</IdentificationURL>\n";
  const std::vector<std::string> visa = VisaResources(site.listeners, host);
  for (const NetInterface& i : ServedInterfaces(site)) {
    out += "  <Interface xsi:type=\"lxi:NetworkInformation\" InterfaceType=\"LXI\" IPType=\"";
    out += i.v6 ? "IPv6" : "IPv4";
    out += "\"";
    if (!i.name.empty()) out += " InterfaceName=\"" + EscapeXml(i.name) + "\"";
    out += ">\n";
    for (const std::string& v : visa) {
      out += "    <InstrumentAddressString>" + EscapeXml(v) + "</InstrumentAddressString>\n";
    }
    out += "    <Hostname>" + EscapeXml(site.hostName) + "</Hostname>\n    <IPAddress>" +
           EscapeXml(i.address) + "</IPAddress>\n    <SubnetMask>" + EscapeXml(i.netmask) +
           "</SubnetMask>\n    <MACAddress>" + EscapeXml(i.mac) + "</MACAddress>\n    <Gateway>" +
           EscapeXml(i.gateway) + "</Gateway>\n    <DHCPEnabled>" + (i.dhcp ? "true" : "false") +
           "</DHCPEnabled>\n    <AutoIPEnabled>false</AutoIPEnabled>\n  </Interface>\n";
  }
  out += "  <Domain>0</Domain>\n  <LXIVersion>1.6</LXIVersion>\n</LXIDevice>\n";
  return out;
}

std::string MetricsText(const Live& live) {
  const scpi::TelemetrySnapshot& t = live.telemetry;
  std::string out;
  Describe(out, "kolvane_reading", "gauge",
           "The last reading taken from the instrument, in SI units (unit Hz or s; none for "
           "counts, ratios and duty cycles).");
  if (t.reading) {
    out += "kolvane_reading{function=\"" + LabelValue(t.reading->function) + "\",channel=\"" +
           std::to_string(t.reading->channel) + "\",unit=\"" + LabelValue(t.reading->unit) +
           "\"} " + Number(t.reading->value) + "\n";
  }
  Describe(out, "kolvane_readings_total", "counter",
           "Results the server took from the instrument.");
  out += "kolvane_readings_total " + std::to_string(t.readings) + "\n";
  Describe(out, "kolvane_errors_total", "counter", "Errors queued for clients, by SCPI code.");
  for (const auto& [code, n] : t.errors) {
    out +=
        "kolvane_errors_total{code=\"" + std::to_string(code) + "\"} " + std::to_string(n) + "\n";
  }
  Describe(out, "kolvane_link_up", "gauge",
           "1 while the line to the instrument works, 0 once a command or a poll found it gone.");
  out += std::string("kolvane_link_up ") + (t.linkUp ? "1" : "0") + "\n";
  Describe(out, "kolvane_clients", "gauge", "Open client connections, by protocol.");
  for (scpi::Protocol p : scpi::kProtocols) {
    out += std::string("kolvane_clients{protocol=\"") + scpi::ProtocolName(p) + "\"} " +
           std::to_string(live.clients[static_cast<std::size_t>(p)]) + "\n";
  }
  Describe(out, "kolvane_commands_total", "counter", "SCPI command lines run, by protocol.");
  for (scpi::Protocol p : scpi::kProtocols) {
    out += std::string("kolvane_commands_total{protocol=\"") + scpi::ProtocolName(p) + "\"} " +
           std::to_string(t.commands[static_cast<std::size_t>(p)]) + "\n";
  }
  return out;
}

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string WithPort(const std::string& name, unsigned short port) {
  return name + ":" + std::to_string(port);
}

std::string Bracketed(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

}  // namespace

bool HostAccepted(const Site& site, const Request& request, std::string_view host) {
  const std::string wanted = Lower(host);
  if (wanted.empty()) return false;
  std::vector<std::string> accepted;
  const auto add = [&](const std::string& name, unsigned short port) {
    accepted.push_back(Lower(WithPort(name, port)));
    // Browsers leave the default port out.
    if (port == 80) accepted.push_back(Lower(name));
  };
  std::vector<NetInterface> machine;
  bool wildcard = false;
  for (const Endpoint& e : site.listeners.http) wildcard = wildcard || IsWildcard(e.address);
  if (wildcard && site.interfaces) machine = site.interfaces();
  for (const Endpoint& e : site.listeners.http) {
    if (IsWildcard(e.address)) {
      for (const NetInterface& i : machine) {
        if (e.address == "::" || !i.v6) add(Bracketed(i.address), e.port);
      }
    } else {
      add(Bracketed(e.address), e.port);
    }
    for (const std::string& name :
         {std::string("localhost"), site.hostName, site.hostName + ".local"}) {
      if (!site.hostName.empty() || name == "localhost") add(name, e.port);
    }
    for (const std::string& name : site.extraHosts) {
      if (HostOnly(name) == name) add(name, e.port);
    }
  }
  // A proxy's name as given: with its port, or on the default one.
  for (const std::string& name : site.extraHosts) accepted.push_back(Lower(name));
  // The address the connection came in on names this server whatever it is.
  if (!request.local.empty()) {
    accepted.push_back(Lower(request.local));
    if (request.local.ends_with(":80")) {
      accepted.push_back(Lower(request.local.substr(0, request.local.size() - 3)));
    }
  }
  for (const std::string& a : accepted) {
    if (a == wanted) return true;
  }
  return false;
}

std::optional<Response> Guard(const Request& request, const Site& site) {
  if (!request.host.empty() && !HostAccepted(site, request, request.host)) {
    return Problem(421, "This server does not answer to the host name \"" + request.host +
                            "\"; give --http-host NAME to serve under another name.");
  }
  const bool change = request.method == "POST" || request.upgrade;
  if (change && request.origin) {
    constexpr std::string_view kScheme = "http://";
    const std::string& origin = *request.origin;
    const bool ours = Lower(origin).starts_with(kScheme) &&
                      HostAccepted(site, request, std::string_view(origin).substr(kScheme.size()));
    if (!ours) {
      return Problem(403,
                     "A page of another site (" + origin + ") may not change this instrument.");
    }
  }
  return std::nullopt;
}

Response Handle(const Request& request, const Site& site, const std::function<Live()>& live) {
  if (auto refused = Guard(request, site)) return *refused;
  const std::string path = request.target.substr(0, request.target.find('?'));
  const bool known = path == "/" || path == kPanelPath || path == kReadingsPath ||
                     path == kReadingsCsvPath || path == kIdentificationPath ||
                     path == std::string(kIdentificationPath) + "/" || path == "/metrics";
  if (!known) return Problem(404, "Nothing is served at this path.");
  const bool head = request.method == "HEAD";
  if (site.viewOnly && request.method == "POST") {
    return Problem(403, std::string(web_panel::kViewOnlyText) + " (--web-view-only)");
  }
  if (!head && request.method != "GET") {
    Response r = Problem(405, "This path answers GET and HEAD.");
    r.headers.emplace_back("Allow", "GET, HEAD");
    return r;
  }
  const std::string host = EffectiveHost(request);
  Response r;
  if (path == "/") {
    r = Page(200, "text/html; charset=utf-8", WelcomePage(site, live(), host));
  } else if (path == kPanelPath || path == kReadingsPath) {
    if (live().pages >= site.maxPages) {
      r = Problem(503, std::to_string(site.maxPages) +
                           " pages are open already (--max-clients); try again shortly.");
      r.headers.emplace_back("Retry-After", "5");
    } else {
      r = Page(200, "text/html; charset=utf-8",
               path == kPanelPath ? web_panel::PanelPage(site.description)
                                  : web_panel::ReadingsPage(site.description));
      // The page lives on its WebSocket: its HTTP connection would only
      // hold one of the connections --max-clients allows.
      r.close = true;
    }
  } else if (path == kReadingsCsvPath) {
    const auto& csv = live().readingsCsv;
    // With no set behind it, the CSV of an empty set: its header.
    r = Page(200, "text/csv; charset=utf-8", csv ? csv() : std::string(record::kCsvHeader) + "\n");
    r.headers.emplace_back("Content-Disposition", "attachment; filename=\"readings.csv\"");
  } else if (path == kIdentificationPath) {
    r = Page(200, "text/xml", IdentificationDocument(site, host));
  } else if (path == "/metrics") {
    r = Page(200, "text/plain; version=0.0.4; charset=utf-8", MetricsText(live()));
  } else {
    r = Problem(301, "The document is at /lxi/identification.");
    r.headers.emplace_back("Location", std::string(kIdentificationPath));
  }
  r.headers.emplace_back("Cache-Control", "no-store");
  r.head = head;
  return r;
}

}  // namespace kolvane::server::web

namespace kolvane::server {

std::string DefaultName(const scpi::Identity& identity, const std::string& host) {
  std::string name = "Kolvane " + identity.serial + " on " + host.substr(0, host.find('.'));
  // Host names and serials are ASCII: any byte is a place to cut.
  constexpr std::size_t kMaxNameBytes = 63;  // one DNS label
  if (name.size() > kMaxNameBytes) name.resize(kMaxNameBytes);
  return name;
}

}  // namespace kolvane::server
