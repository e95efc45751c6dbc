// The HTTP server's answers apart from the network: routing, the welcome
// page, the identification document and the metrics.
#include "app/scpi/web.h"

#include <gtest/gtest.h>

#include <cmath>

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
  return Handle({method, target, host, "192.168.1.5:80"}, site, MakeLive);
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
}

TEST(Web, HostFromTheRequestOrTheLocalAddress) {
  EXPECT_EQ(EffectiveHost({"GET", "/", "bench7.lab:8080", "1.2.3.4:80"}), "bench7.lab:8080");
  EXPECT_EQ(EffectiveHost({"GET", "/", "<script>", "1.2.3.4:80"}), "1.2.3.4:80");
  EXPECT_EQ(EffectiveHost({"GET", "/", "", "1.2.3.4:80"}), "1.2.3.4:80");
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

TEST(Web, EscapesWhatItQuotes) {
  EXPECT_EQ(EscapeHtml("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
}

}  // namespace
}  // namespace kolvane::server::web
