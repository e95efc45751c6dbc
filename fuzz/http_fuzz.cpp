// kolvane-scpi's HTTP requests as the server takes them: the bytes through
// Beast's request parser with the server's limits, then the routing and the
// pages (web.h) with the request's own method, target and Host.
// Invariants: every answer is a status the server gives, with a body; a
// 405 carries Allow; the pages quote no Host byte that is not a host's.
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/scpi/web.h"

namespace {

namespace http = boost::beast::http;
using namespace kolvane::server;

[[noreturn]] void Fail(const char* invariant) {
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

web::Site MakeSite() {
  web::Site s;
  s.identity = {"Kolvane", "Frequency Counter", "0005", "0.2.0"};
  s.description = "fuzz";
  s.hostName = "bench";
  s.instrumentPort = "COM1";
  s.listeners.raw = {{"0.0.0.0", 5025}};
  s.listeners.http = {{"127.0.0.1", 8080}};
  s.interfaces = [] {
    return std::vector<web::NetInterface>{{"lo", "127.0.0.1", false, "255.0.0.0", "", "", false}};
  };
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const web::Site site = MakeSite();
  http::request_parser<http::string_body> parser;
  parser.header_limit(16 * 1024);
  parser.body_limit(64 * 1024);
  parser.eager(true);
  boost::system::error_code ec;
  parser.put(boost::asio::buffer(data, size), ec);
  if (ec || !parser.is_header_done()) return 0;
  const auto& req = parser.get();
  std::optional<std::string> origin;
  if (const auto o = req.find(http::field::origin); o != req.end())
    origin = std::string(o->value());
  web::Request r{std::string(req.method_string()),
                 std::string(req.target()),
                 std::string(req[http::field::host]),
                 "127.0.0.1:8080",
                 origin,
                 boost::beast::websocket::is_upgrade(req)};
  const web::Response res = web::Handle(r, site, [] { return web::Live{}; });
  const int s = res.status;
  if (s != 200 && s != 301 && s != 403 && s != 404 && s != 405 && s != 421)
    Fail("a status the server does not give");
  if (res.body.empty()) Fail("an answer without a body");
  bool allow = false;
  for (const auto& [name, value] : res.headers) allow = allow || name == "Allow";
  if ((s == 405) != allow) Fail("405 without Allow, or Allow elsewhere");
  for (char c : web::EffectiveHost(r)) {
    if (c == '<' || c == '>' || c == '"' || c == '&' || c == '\'' || c == ' ') {
      Fail("a Host byte that is not a host's");
    }
  }
  return 0;
}
