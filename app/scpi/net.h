// The network library under every listener of kolvane-scpi: Boost.Asio, so
// that SCPI sockets, VXI-11 and HTTP (Boost.Beast) share one io_context.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>

namespace kolvane::server {

namespace asio = boost::asio;
using error_code = boost::system::error_code;

}  // namespace kolvane::server
