// kolvane-scpi: serves the counter as a SCPI instrument over TCP, for
// PyVISA, lxi-tools and other VISA clients. The network runs on this
// thread, the instrument on a thread of its own.
#include <atomic>
#include <boost/asio/ip/host_name.hpp>
#include <boost/asio/post.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/scpi/event_log.h"
#include "app/scpi/http_server.h"
#include "app/scpi/interfaces.h"
#include "app/scpi/options.h"
#include "app/scpi/page_dialogs.h"
#include "app/scpi/readings_live.h"
#include "app/scpi/server.h"
#include "app/scpi/web.h"
#include "counter/scan_report.h"
#include "panel/web/live.h"
#include "protocol/protocol.h"
#include "scpi/engine.h"
#include "version.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/port_diagnostics.h"
#include "platform/win32/system_clock.h"
#include "platform/win32/system_deps.h"
#else
#include <unistd.h>

#include <boost/asio/signal_set.hpp>
#include <csignal>

#include "app/scpi/announce.h"
#include "app/scpi/portmapper.h"
#include "app/scpi/vxi11_server.h"
#include "platform/posix/port_diagnostics.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/system_deps.h"
#endif

namespace {

using namespace kolvane;
using namespace kolvane::server;

int Fail(const std::string& message) {
  std::fprintf(stderr, "kolvane-scpi: %s\n", message.c_str());
  return kExitUsage;
}

// The scan's report, and the port the instrument answered on.
class FoundReport : public ScanReport {
 public:
  using ScanReport::ScanReport;
  void OnFound(int n, std::optional<std::uint8_t>) override { port = n; }
  int port = 0;
};

#ifdef _WIN32
// Ctrl+C, Ctrl+Break, the console closed, the user logged off. The handler
// runs on a thread of the system's; gStop is set while the loop can take it.
std::mutex gStopMutex;
std::function<void()> gStop;
HANDLE gFinished = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD type) {
  {
    std::lock_guard lock(gStopMutex);
    if (gStop) gStop();
  }
  // For these the system ends the process as soon as the handler returns:
  // wait for the port's closing sequence first.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(gFinished, 4500);
  }
  return TRUE;
}
#endif

std::string HostName() {
  error_code ec;
  const std::string host = asio::ip::host_name(ec);
  return ec || host.empty() ? "localhost" : host;
}

std::vector<web::Endpoint> Endpoints(const std::vector<asio::ip::tcp::endpoint>& bound) {
  std::vector<web::Endpoint> out;
  for (const auto& e : bound) out.push_back({e.address().to_string(), e.port()});
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  ServerOptions options;
  std::string error;
  if (!ParseServerOptions(args, &options, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(ServerHelp().c_str(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::puts("kolvane-scpi " KOLVANE_VERSION);
    return kExitOk;
  }
#ifdef _WIN32
  if (options.announce) {
    return Fail(
        "--announce: the Windows build cannot announce over mDNS (it needs avahi-daemon, "
        "which Linux has); leave out --announce and give clients the address and port");
  }
  if (options.vxi11Given) {
    return Fail(
        "--vxi11: the Windows build has no VXI-11 (it needs the portmapper, which Linux has); "
        "leave out --vxi11 and reach the server as TCPIP::<host>::5025::SOCKET");
  }
#endif

  EventLog log(options.quiet);
  if (options.log && !log.Open(*options.log)) {
    return Fail("cannot write --log '" + *options.log + "': " + std::strerror(errno));
  }

  asio::io_context io;
  const auto ports = MakeSerialPorts();
  SystemClock clock;
  scpi::Engine engine({*ports, clock});
  ServerSettings settings;
  settings.allow = options.allow;
  settings.maxClients = options.maxClients;
  settings.live = &engine.Live();
  Server server(
      io, [&engine] { return engine.OpenSession(); }, log, settings);
  // Addresses first: a bad one is found before anything is sent to the port.
  if (const auto why = server.Listen(options.listen)) return Fail(*why);
#ifndef _WIN32
  Vxi11Server vxi11(
      io, server, [&engine] { return engine.OpenSession(); }, log, options.allow);
  if (!options.vxi11.empty()) {
    if (const auto why = vxi11.Listen(options.vxi11)) return Fail(*why);
  }
  Portmapper portmapper(io, log, options.allow);
#endif

  // The pages' facts, filled once the instrument has answered.
  web::Site site;
  HttpSettings httpSettings;
  httpSettings.allow = options.allow;
  httpSettings.maxClients = options.maxClients;
  std::unique_ptr<HttpServer> http;
  std::unique_ptr<ReadingsLive> readings;
  const auto live = [&] {
    web::Live l;
    l.telemetry = engine.Live().Take();
    l.clients[static_cast<std::size_t>(scpi::Protocol::kRaw)] = server.Connections();
#ifndef _WIN32
    l.clients[static_cast<std::size_t>(scpi::Protocol::kVxi11)] = vxi11.Links();
    l.telemetry.commands[static_cast<std::size_t>(scpi::Protocol::kVxi11)] = vxi11.Commands();
#endif
    l.clients[static_cast<std::size_t>(scpi::Protocol::kHttp)] = http ? http->Connections() : 0;
    l.pages = http ? http->Pages() : 0;
    if (readings) l.readingsCsv = [&] { return readings->Csv(); };
    return l;
  };
  if (!options.http.empty()) {
    http = std::make_unique<HttpServer>(
        io, log, httpSettings, [&](const web::Request& r) { return web::Handle(r, site, live); });
    if (const auto why = http->Listen(options.http)) return Fail(*why);
  }
  // The pages' live connections: the panel model's state to every page,
  // the pages' clicks to the counter thread in turn with the SCPI clients.
  std::atomic<std::size_t> pages{0};
  web_panel::StateWatch shown;  // the counter thread's
  PageDialogs dialogs;
  const bool viewOnly = options.webViewOnly;
  const auto toPage = [&](std::uint64_t page, std::string message) {
    auto m = std::make_shared<const std::string>(std::move(message));
    asio::post(io, [&http, page, m] { http->SendPage(page, m); });
  };
  // What changed since, to every page; on the counter thread.
  const auto broadcast = [&](const PanelModel& model, bool up) {
    auto state = shown.Changed(model, up, viewOnly);
    if (!state) return;
    auto m = std::make_shared<const std::string>(std::move(*state));
    asio::post(io, [&http, m] { http->Broadcast("/panel/live", m); });
  };
  if (http) {
    // Every page's live connection, /panel's and /readings' alike.
    const auto admit = [&](const web::Request& r) -> std::optional<web::Response> {
      if (auto refused = web::Guard(r, site)) return refused;
      if (http->Pages() < site.maxPages) return std::nullopt;
      web::Response busy;
      busy.status = 503;
      busy.contentType = "text/plain; charset=utf-8";
      busy.body =
          "503 " + std::to_string(site.maxPages) + " pages are open already (--max-clients)\n";
      busy.headers.emplace_back("Retry-After", "5");
      return busy;
    };
    LiveHooks hooks;
    hooks.path = "/panel/live";
    hooks.admit = admit;
    hooks.opened = [&](std::uint64_t page) {
      ++pages;
      dialogs.Opened(page);
      server.OnCounterThread([&, page] {
        engine.View([&](const PanelModel& model, bool up) {
          // The other pages brought up to now first: what changes next goes
          // to all of them alike, as changes.
          broadcast(model, up);
          toPage(page, web_panel::StateMessage(model, up, viewOnly));
        });
      });
    };
    hooks.closed = [&](std::uint64_t page) {
      --pages;
      dialogs.Closed(page);
    };
    hooks.received = [&](std::uint64_t page, std::string message) {
      const auto command = web_panel::ParseCommand(message);
      if (!command || dialogs.Offer(page, *command)) return;
      server.OnCounterThread([&, page, c = *command] {
        PageDialogs::Page dialogPage(dialogs, page,
                                     [&, page](std::string m) { toPage(page, std::move(m)); });
        engine.AsUser([&](PanelModel& model, bool) {
          for (std::string& reply : web_panel::Run(model, c, viewOnly, &dialogPage)) {
            toPage(page, std::move(reply));
          }
        });
      });
    };
    http->AddLive(std::move(hooks));
    // Every reading shown, into the set of /readings.
    readings = std::make_unique<ReadingsLive>(io, *http, viewOnly);
    http->AddLive(readings->Hooks(admit));
    engine.WatchShown([&readings](const ShownReading& shown) { readings->Took(shown); });
    // Each change of the panel, whoever made it, to every page.
    server.AfterEachCounterJob([&] {
      if (pages == 0) return;
      // A lost line shows at once, whether or not a control changed.
      engine.View(broadcast);
    });
  }

  const auto stop = [&] {
    // A dialog held open on the counter thread ends first, as Escape.
    dialogs.Shutdown();
    server.Shutdown();
    if (readings) readings->Stop();
    if (http) http->Shutdown();
#ifndef _WIN32
    vxi11.Shutdown();
    portmapper.Shutdown();
#endif
    io.stop();
  };
#ifdef _WIN32
  gFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Unhooked on every way out, before the loop goes.
  struct StopHook {
    explicit StopHook(std::function<void()> stop) {
      std::lock_guard lock(gStopMutex);
      gStop = std::move(stop);
    }
    ~StopHook() {
      {
        std::lock_guard lock(gStopMutex);
        gStop = nullptr;
      }
      SetEvent(gFinished);
    }
  } hook([&io, &stop] { asio::post(io, stop); });
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  // Replies to a client that went away fail as writes, not as signals.
  std::signal(SIGPIPE, SIG_IGN);
  asio::signal_set signals(io, SIGINT, SIGTERM, SIGHUP);
  signals.async_wait([&](const error_code& ec, int) {
    if (!ec) stop();
  });
#endif

  FoundReport report(DescribePortOpenFailure);
  const int first = options.port.value_or(1);
  const int last = options.port.value_or(9);
  if (!engine.Connect(first, last, report)) {
    report.Print(std::cerr, "kolvane-scpi");
    return kExitNoInstrument;
  }
  const scpi::Identity identity = engine.Identify();
  log.Notice("instrument on COM" + std::to_string(report.port) + ": " + identity.manufacturer +
             "," + identity.model + "," + identity.serial + "," + identity.version);
  const auto bound = server.Bound();
  for (const auto& endpoint : bound) log.Notice("serving SCPI on " + EndpointText(endpoint));
#ifndef _WIN32
  if (options.vxi11.empty() && !options.noVxi11) {
    log.Warning(
        "VXI-11 is off: --listen has no IPv4 address, and the portmapper knows IPv4 only "
        "(give --vxi11 ADDR, or --no-vxi11)");
  }
  if (vxi11.On()) {
    std::string why;
    const auto mode = portmapper.Start(vxi11.Addresses(), vxi11.CorePort(), &why);
    if (mode == Portmapper::Mode::kOff) {
      vxi11.Close();
      log.Warning("VXI-11 is off: " + why + "; serving the raw socket only");
    } else {
      for (const auto& address : vxi11.Addresses()) {
        log.Notice("serving VXI-11 on " +
                   EndpointText(asio::ip::tcp::endpoint(address, vxi11.CorePort())) +
                   " (abort channel on port " + std::to_string(vxi11.AbortPort()) + ")");
      }
      log.Notice(mode == Portmapper::Mode::kRpcbind
                     ? "VXI-11 registered with this machine's rpcbind"
                     : "VXI-11 found through our own portmapper on port 111 (no rpcbind runs)");
    }
  }
#endif
  const auto httpBound = http ? http->Bound() : std::vector<asio::ip::tcp::endpoint>{};
  for (const auto& endpoint : httpBound) log.Notice("serving HTTP on " + EndpointText(endpoint));

  const std::string hostName = HostName();
  const std::string description = options.name ? *options.name : DefaultName(identity, hostName);
  site.identity = identity;
  site.description = description;
  site.hostName = hostName;
  site.instrumentPort = "COM" + std::to_string(report.port);
  site.listeners.raw = Endpoints(bound);
#ifndef _WIN32
  if (vxi11.On()) {
    for (const auto& address : vxi11.Addresses()) {
      site.listeners.vxi11.push_back({address.to_string(), vxi11.CorePort()});
    }
  }
#endif
  site.listeners.http = Endpoints(httpBound);
  site.interfaces = MachineInterfaces;
  site.extraHosts = options.httpHosts;
  site.maxPages = static_cast<std::size_t>(options.maxClients);
  site.viewOnly = options.webViewOnly;

#ifndef _WIN32
  std::unique_ptr<Announcer> announcer;
  if (options.announce) {
    Announcement a;
    a.name = description;
    a.port = bound.front().port();
    // With several --http, the first is announced.
    if (!httpBound.empty()) a.httpPort = httpBound.front().port();
    a.vxi11 = vxi11.On();
    a.identity = identity;
    a.ipv4Only = true;
    bool loopbackOnly = true;
    std::vector<asio::ip::tcp::endpoint> announced = bound;
    if (!httpBound.empty()) announced.push_back(httpBound.front());
    for (const auto& endpoint : announced) {
      a.ipv4Only = a.ipv4Only && endpoint.address().is_v4();
      loopbackOnly = loopbackOnly && endpoint.address().is_loopback();
    }
    if (loopbackOnly) {
      log.Warning(
          "--announce while serving on loopback only: other machines see the announcement "
          "but cannot connect (give --listen 0.0.0.0 or the lab interface's address)");
    }
    announcer = Announce(a, log);
  }
#endif

  server.Start();
  if (http) http->Start();
  if (readings) readings->Start();
  // The panel's poll between commands, so that the pages and the metrics
  // stay live whether or not a client asks.
  server.StartTicks([&engine] { engine.Tick(); }, protocol::kPollMs);
#ifndef _WIN32
  vxi11.Start();
#endif
  io.run();

#ifndef _WIN32
  announcer.reset();
#endif
  // Every connection is closed; the command in hand finishes, then the
  // port closes as the panel closes it.
  server.StopCounter();
#ifndef _WIN32
  vxi11.DropSessions();
#endif
  engine.Close();
  log.Notice("stopped; the port is closed");
  return kExitOk;
}
