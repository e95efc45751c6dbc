#include "app/scpi/listen.h"

#include <boost/asio/ip/v6_only.hpp>
#include <cerrno>

#include "app/scpi/options.h"

namespace kolvane::server {

namespace {

#ifdef _WIN32
constexpr int kAddressNotAvailable = WSAEADDRNOTAVAIL;
#else
constexpr int kAddressNotAvailable = EADDRNOTAVAIL;
#endif

}  // namespace

std::string BindFailure(const asio::ip::tcp::endpoint& endpoint, const error_code& ec) {
  std::string why;
  if (ec == asio::error::address_in_use) {
    why = "address in use (another program serves on that port)";
  } else if (ec == error_code(kAddressNotAvailable, boost::system::system_category())) {
    why = "no interface of this machine has that address";
  } else if (ec == asio::error::access_denied) {
    why = "permission denied (ports below 1024 need privileges)";
  } else {
    why = ec.message();
  }
  return "cannot serve on " + EndpointText(endpoint) + ": " + why;
}

std::optional<std::string> OpenAcceptors(
    asio::io_context& io, const std::vector<asio::ip::tcp::endpoint>& endpoints,
    std::vector<std::unique_ptr<asio::ip::tcp::acceptor>>* out) {
  for (const auto& endpoint : endpoints) {
    auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(io);
    error_code ec;
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec && endpoint.address().is_v6()) {
      bool v4Beside = false;
      for (const auto& other : endpoints) {
        v4Beside = v4Beside || (other.address().is_v4() && other.port() == endpoint.port());
      }
      acceptor->set_option(asio::ip::v6_only(v4Beside), ec);
    }
    if (!ec) acceptor->bind(endpoint, ec);
    if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) return BindFailure(endpoint, ec);
    out->push_back(std::move(acceptor));
  }
  return std::nullopt;
}

std::vector<asio::ip::tcp::endpoint> BoundEndpoints(
    const std::vector<std::unique_ptr<asio::ip::tcp::acceptor>>& acceptors) {
  std::vector<asio::ip::tcp::endpoint> out;
  for (const auto& a : acceptors) {
    error_code ec;
    out.push_back(a->local_endpoint(ec));
  }
  return out;
}

}  // namespace kolvane::server
