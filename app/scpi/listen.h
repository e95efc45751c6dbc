// Opening listening sockets, shared by every listener of kolvane-scpi.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/scpi/net.h"

namespace kolvane::server {

// Binds and listens on every endpoint, appending the acceptors to *out; on
// failure returns why, naming the address ("127.0.0.1:5025: address in
// use"). [::] takes IPv4 clients too, unless an IPv4 address is served on
// the same port beside it.
std::optional<std::string> OpenAcceptors(
    asio::io_context& io, const std::vector<asio::ip::tcp::endpoint>& endpoints,
    std::vector<std::unique_ptr<asio::ip::tcp::acceptor>>* out);

// "cannot serve on 127.0.0.1:5025: address in use (...)".
std::string BindFailure(const asio::ip::tcp::endpoint& endpoint, const error_code& ec);

// The addresses bound, with the ports the system chose for port 0.
std::vector<asio::ip::tcp::endpoint> BoundEndpoints(
    const std::vector<std::unique_ptr<asio::ip::tcp::acceptor>>& acceptors);

}  // namespace kolvane::server
