// The HTTP server's answers apart from the network: routing, the welcome
// page, the identification document and the metrics.
#include "app/scpi/web.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace kolvane::server::web {
namespace {

Site MakeSite() {
  Site s;
  s.identity = {"Kolvane", "Frequency Counter", "0005", "0.2.0"};
  s.description = "Bench 7";
  s.hostName = "bench7";
  s.instrumentPort = "COM3";
  s.listeners.raw = {{"0.0.0.0", 5025}};
  s.listeners.http = {{"0.0.0.0", 80}};
  s.interfaces = [] {
    return std::vector<NetInterface>{
        {"lo", "127.0.0.1", false, "255.0.0.0", "00:00:00:00:00:00", "0.0.0.0", false},
        {"eth0", "192.168.1.5", false, "255.255.255.0", "00:11:22:33:44:55", "192.168.1.1", true},
        {"eth0", "fe80::1", true, "ffff:ffff:ffff:ffff::", "00:11:22:33:44:55", "::", false}};
  };
  return s;
}

Live MakeLive() {
  Live l;
  l.telemetry.reading = scpi::LiveReading{"FREQ", 1, "Hz", 10000001};
  l.telemetry.readings = 42;
  l.telemetry.errors[-113] = 2;
  l.telemetry.linkUp = true;
  l.telemetry.commands = {7, 0, 0};
  l.clients = {1, 0, 1};
  return l;
}

Response Get(const std::string& target, const std::string& method = "GET",
             const std::string& host = "bench7:80") {
  const Site site = MakeSite();
  return Handle({method, target, host, "192.168.1.5:80", {}, false}, site, MakeLive);
}

TEST(Web, Routes) {
  EXPECT_EQ(Get("/").status, 200);
  EXPECT_EQ(Get("/?x=1").status, 200);
  EXPECT_EQ(Get("/metrics").status, 200);
  EXPECT_EQ(Get("/lxi/identification").status, 200);
  EXPECT_EQ(Get("/lxi/identification").contentType, "text/xml");
  EXPECT_EQ(Get("/nothing").status, 404);
  EXPECT_EQ(Get("/nothing", "POST").status, 404);
  const Response moved = Get("/lxi/identification/");
  EXPECT_EQ(moved.status, 301);
  ASSERT_FALSE(moved.headers.empty());
  EXPECT_EQ(moved.headers[0],
            std::make_pair(std::string("Location"), std::string("/lxi/identification")));
  const Response post = Get("/metrics", "POST");
  EXPECT_EQ(post.status, 405);
  EXPECT_EQ(post.headers[0], std::make_pair(std::string("Allow"), std::string("GET, HEAD")));
  EXPECT_TRUE(Get("/", "HEAD").head);
  // View only: a change is refused as such, a look is not.
  Site viewOnly = MakeSite();
  viewOnly.viewOnly = true;
  const auto ask = [&](const char* method) {
    return Handle({method, "/panel", "bench7:80", "192.168.1.5:80", {}, false}, viewOnly, MakeLive)
        .status;
  };
  EXPECT_EQ(ask("POST"), 403);
  EXPECT_EQ(ask("GET"), 200);
}

TEST(Web, HostFromTheRequestOrTheLocalAddress) {
  EXPECT_EQ(EffectiveHost({"GET", "/", "bench7.lab:8080", "1.2.3.4:80", {}, false}),
            "bench7.lab:8080");
  EXPECT_EQ(EffectiveHost({"GET", "/", "<script>", "1.2.3.4:80", {}, false}), "1.2.3.4:80");
  EXPECT_EQ(EffectiveHost({"GET", "/", "", "1.2.3.4:80", {}, false}), "1.2.3.4:80");
  EXPECT_EQ(HostOnly("bench7:8080"), "bench7");
  EXPECT_EQ(HostOnly("[fe80::1]:80"), "[fe80::1]");
  EXPECT_EQ(HostOnly("fe80::1"), "fe80::1");
  EXPECT_EQ(HostOnly("bench7"), "bench7");
}

TEST(Web, VisaStringsWithTheRealPorts) {
  Listeners l;
  l.raw = {{"0.0.0.0", 5025}, {"::", 5025}, {"127.0.0.1", 6000}};
  EXPECT_EQ(
      VisaResources(l, "bench7:80"),
      (std::vector<std::string>{"TCPIP::bench7::5025::SOCKET", "TCPIP::bench7::6000::SOCKET"}));
  l.vxi11 = {{"0.0.0.0", 1024}};
  EXPECT_EQ(VisaResources(l, "bench7")[0], "TCPIP::bench7::INSTR");
  EXPECT_EQ(VisaResources(l, "bench7")[1], "TCPIP::bench7::inst0::INSTR");
}

TEST(Web, WelcomePage) {
  const std::string page = Get("/").body;
  for (const char* text : {"Kolvane", "Frequency Counter", "0005", "0.2.0", "Bench 7", "bench7",
                           "COM3", "<span class=\"up\">up</span>", "TCPIP::bench7::5025::SOCKET",
                           "href=\"/lxi/identification\"", "href=\"/metrics\""}) {
    EXPECT_NE(page.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(page.find("INSTR"), std::string::npos);
}

TEST(Web, IdentificationOneInterfacePerAddress) {
  const std::string xml = Get("/lxi/identification").body;
  // 0.0.0.0: the machine's IPv4 addresses.
  EXPECT_NE(xml.find("<IPAddress>127.0.0.1</IPAddress>"), std::string::npos);
  EXPECT_NE(xml.find("<IPAddress>192.168.1.5</IPAddress>"), std::string::npos);
  EXPECT_EQ(xml.find("fe80::1"), std::string::npos);
  EXPECT_NE(xml.find("<IdentificationURL>http://bench7:80/lxi/identification</IdentificationURL>"),
            std::string::npos);
  EXPECT_NE(xml.find("<Gateway>192.168.1.1</Gateway>"), std::string::npos);
  EXPECT_NE(xml.find("<DHCPEnabled>true</DHCPEnabled>"), std::string::npos);
  EXPECT_LT(xml.find("<IdentificationURL>"), xml.find("<Interface "));
  EXPECT_LT(xml.find("</Interface>"), xml.find("<Domain>0</Domain>"));
  EXPECT_LT(xml.find("<Domain>0</Domain>"), xml.find("<LXIVersion>1.6</LXIVersion>"));
}

TEST(Web, Metrics) {
  const std::string text = Get("/metrics").body;
  EXPECT_NE(text.find("kolvane_reading{function=\"FREQ\",channel=\"1\",unit=\"Hz\"} 10000001\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("kolvane_errors_total{code=\"-113\"} 2\n"), std::string::npos);
  EXPECT_NE(text.find("kolvane_link_up 1\n"), std::string::npos);
  EXPECT_NE(text.find("kolvane_clients{protocol=\"vxi11\"} 0\n"), std::string::npos);
  EXPECT_NE(text.find("kolvane_commands_total{protocol=\"raw\"} 7\n"), std::string::npos);
  Live l;
  l.telemetry.reading = scpi::LiveReading{"FREQ", 1, "Hz", std::nan("")};
  EXPECT_NE(MetricsText(l).find("unit=\"Hz\"} NaN\n"), std::string::npos);
}

TEST(Web, PanelPageBoundedByMaxClients) {
  Site site = MakeSite();
  site.maxPages = 2;
  const Request r{"GET", "/panel", "bench7", "192.168.1.5:80", {}, false};
  for (const auto& [pages, status] : {std::pair<std::size_t, int>{1, 200}, {2, 503}, {3, 503}}) {
    const Response res = Handle(r, site, [pages = pages] {
      Live l = MakeLive();
      l.pages = pages;
      return l;
    });
    EXPECT_EQ(res.status, status) << pages;
    bool retry = false;
    for (const auto& [name, value] : res.headers) retry = retry || name == "Retry-After";
    EXPECT_EQ(retry, status == 503) << pages;
    if (status == 200) {
      EXPECT_TRUE(res.close);
      EXPECT_NE(res.body.find("data-control=\"1092\""), std::string::npos);
    }
  }
}

TEST(Web, HostAndOriginGuards) {
  Site site = MakeSite();
  site.listeners.http = {{"127.0.0.1", 8080}, {"0.0.0.0", 80}};
  site.extraHosts = {"bench7.lab", "proxy:8443"};
  struct Case {
    const char* method;
    const char* host;
    std::optional<std::string> origin;
    bool upgrade;
    int status;  // 0: passes
  };
  const Case cases[] = {
      {"GET", "127.0.0.1:8080", {}, false, 0},
      {"GET", "localhost:8080", {}, false, 0},
      {"GET", "LOCALHOST:8080", {}, false, 0},
      {"GET", "bench7:8080", {}, false, 0},
      {"GET", "bench7.local:8080", {}, false, 0},
      {"GET", "bench7", {}, false, 0},  // port 80 left out
      {"GET", "192.168.1.5", {}, false, 0},
      {"GET", "bench7.lab:8080", {}, false, 0},
      {"GET", "proxy:8443", {}, false, 0},
      {"GET", "proxy:8080", {}, false, 421},
      {"GET", "bench7.lab", {}, false, 0},
      {"GET", "", {}, false, 0},
      {"GET", "evil.example:8080", {}, false, 421},
      {"GET", "127.0.0.1:9999", {}, false, 421},
      {"GET", "localhost", {}, true, 0},  // port 80 on 0.0.0.0
      {"GET", "bench7.evil:8080", {}, false, 421},
      {"POST", "evil.example:8080", std::string("http://127.0.0.1:8080"), false, 421},
      {"POST", "127.0.0.1:8080", {}, false, 0},
      {"POST", "127.0.0.1:8080", std::string("http://127.0.0.1:8080"), false, 0},
      {"POST", "127.0.0.1:8080", std::string("http://bench7.local:8080"), false, 0},
      {"POST", "127.0.0.1:8080", std::string("null"), false, 403},
      {"POST", "127.0.0.1:8080", std::string("http://evil.example"), false, 403},
      {"POST", "127.0.0.1:8080", std::string("https://127.0.0.1:8080"), false, 403},
      {"POST", "127.0.0.1:8080", std::string("http://127.0.0.1:8080/x"), false, 403},
      {"GET", "127.0.0.1:8080", std::string("http://evil.example"), true, 403},
      {"GET", "127.0.0.1:8080", std::string("http://evil.example"), false, 0},
      {"GET", "127.0.0.1:8080", std::string("null"), true, 403},
      {"GET", "127.0.0.1:8080", std::string("http://localhost:8080"), true, 0},
  };
  for (const Case& c : cases) {
    const Request r{c.method, "/nothing", c.host, "127.0.0.1:8080", c.origin, c.upgrade};
    const auto refused = Guard(r, site);
    EXPECT_EQ(refused ? refused->status : 0, c.status)
        << c.method << " " << c.host << " " << c.origin.value_or("-") << " " << c.upgrade;
    // Before routing: an unknown path still gets the guard's answer.
    if (c.status) {
      EXPECT_EQ(Handle(r, site, MakeLive).status, c.status);
    }
  }
}

TEST(Web, EscapesWhatItQuotes) {
  EXPECT_EQ(EscapeHtml("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
}

}  // namespace
}  // namespace kolvane::server::web
