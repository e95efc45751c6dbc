#include "app/scpi/portmapper.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <array>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/write.hpp>
#include <deque>
#include <set>

#include "app/scpi/rpcbind.h"
#include "app/scpi/server.h"
#include "rpc/message.h"
#include "rpc/vxi11.h"

namespace kolvane::server {

namespace {

// TCP clients of the portmapper served at once; each asks a question or two.
constexpr std::size_t kMaxPortmapClients = 32;

struct Network {
  std::uint32_t base = 0;
  std::uint32_t mask = 0;
  std::uint32_t Broadcast() const { return base | ~mask; }
};

// The network of each served address, from the interface that has it.
std::vector<Network> NetworksOf(const std::vector<asio::ip::address_v4>& addresses) {
  std::vector<Network> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) list = nullptr;
  for (const auto& address : addresses) {
    Network n{address.to_uint(), 0xFFFFFFFFu};
    for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr || i->ifa_netmask == nullptr ||
          i->ifa_addr->sa_family != AF_INET) {
        continue;
      }
      const auto* a = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
      const auto* m = reinterpret_cast<const sockaddr_in*>(i->ifa_netmask);
      if (ntohl(a->sin_addr.s_addr) == n.base) n.mask = ntohl(m->sin_addr.s_addr);
    }
    out.push_back(n);
  }
  if (list != nullptr) freeifaddrs(list);
  return out;
}

}  // namespace

struct Portmapper::Own {
  Own(asio::io_context& io, EventLog& log, std::vector<AllowedNetwork> allow)
      : io(io), log(log), allow(std::move(allow)) {}

  // A UDP socket, and the one its replies leave by: a socket bound to a
  // network's broadcast address hears discovery but cannot send from it.
  struct Udp {
    explicit Udp(asio::io_context& io) : socket(io) {}
    asio::ip::udp::socket socket;
    asio::ip::udp::socket* replyVia = nullptr;
    std::array<char, 2048> datagram{};
    asio::ip::udp::endpoint sender;
  };

  struct Client {
    explicit Client(asio::ip::tcp::socket s) : socket(std::move(s)) {}
    asio::ip::tcp::socket socket;
    std::array<char, 1024> buffer{};
    rpc::RecordReader reader;
    std::deque<std::string> output;
    bool closing = false;
  };
  using ClientPtr = std::shared_ptr<Client>;

  asio::io_context& io;
  EventLog& log;
  std::vector<AllowedNetwork> allow;
  std::vector<std::unique_ptr<asio::ip::tcp::acceptor>> acceptors;
  std::vector<std::unique_ptr<Udp>> udp;
  std::uint16_t corePort = 0;
  std::set<ClientPtr> clients;
  bool stopping = false;

  // Let in by --allow.
  bool Serves(const asio::ip::address& address, const std::string& peer) {
    if (Allowed(allow, address)) return true;
    log.Warning("refused portmapper client " + peer + ": not in any --allow network", peer);
    return false;
  }

  void Accept(asio::ip::tcp::acceptor& acceptor) {
    acceptor.async_accept([this, &acceptor](error_code ec, asio::ip::tcp::socket socket) {
      if (stopping || ec == asio::error::operation_aborted) return;
      if (!ec) {
        const auto remote = socket.remote_endpoint(ec);
        if (!ec && Serves(remote.address(), EndpointText(remote)) &&
            clients.size() < kMaxPortmapClients) {
          auto c = std::make_shared<Client>(std::move(socket));
          clients.insert(c);
          Read(c);
        } else {
          socket.close(ec);
        }
      }
      Accept(acceptor);
    });
  }

  void Read(const ClientPtr& c) {
    c->socket.async_read_some(asio::buffer(c->buffer), [this, c](error_code ec, std::size_t n) {
      if (stopping) return;
      if (ec) return Drop(c);
      std::string_view bytes(c->buffer.data(), n);
      for (;;) {
        std::string record;
        const auto status = c->reader.Feed(bytes, &record);
        bytes = {};
        if (status == rpc::RecordReader::Status::kTooLong) return Drop(c);
        if (status == rpc::RecordReader::Status::kMore) break;
        const rpc::PortmapAnswer answer = rpc::Portmap(record, corePort);
        if (!answer.reply) return Drop(c);
        Send(c, rpc::Frame(*answer.reply), answer.close);
        if (answer.close) return;
      }
      Read(c);
    });
  }

  void Send(const ClientPtr& c, std::string bytes, bool thenClose) {
    c->closing = c->closing || thenClose;
    c->output.push_back(std::move(bytes));
    if (c->output.size() > 1) return;
    Write(c);
  }

  void Write(const ClientPtr& c) {
    asio::async_write(c->socket, asio::buffer(c->output.front()),
                      [this, c](error_code ec, std::size_t) {
                        if (stopping) return;
                        c->output.pop_front();
                        if (ec) return Drop(c);
                        if (!c->output.empty()) return Write(c);
                        if (c->closing) Drop(c);
                      });
  }

  void Drop(const ClientPtr& c) {
    error_code ec;
    c->socket.close(ec);
    clients.erase(c);
  }

  void Receive(Udp& u) {
    u.socket.async_receive_from(
        asio::buffer(u.datagram), u.sender, [this, &u](error_code ec, std::size_t n) {
          if (stopping || ec == asio::error::operation_aborted) return;
          if (!ec && Serves(u.sender.address(), u.sender.address().to_string())) {
            const rpc::PortmapAnswer answer =
                rpc::Portmap(std::string_view(u.datagram.data(), n), corePort);
            if (answer.reply) u.replyVia->send_to(asio::buffer(*answer.reply), u.sender, 0, ec);
          }
          Receive(u);
        });
  }

  void Close() {
    stopping = true;
    error_code ec;
    for (auto& a : acceptors) a->close(ec);
    for (auto& u : udp) u->socket.close(ec);
    for (const auto& c : clients) c->socket.close(ec);
    clients.clear();
  }
};

Portmapper::Portmapper(asio::io_context& io, EventLog& log, std::vector<AllowedNetwork> allow)
    : log_(log), io_(io), allow_(std::move(allow)) {}

Portmapper::~Portmapper() {
  Shutdown();
}

Portmapper::Mode Portmapper::Start(const std::vector<asio::ip::address_v4>& addresses,
                                   std::uint16_t corePort, std::string* why) {
  if (RpcbindRuns()) {
    if (!RpcbindRegister(corePort)) {
      *why =
          "the portmapper of this machine refused to register it: another server has "
          "registered VXI-11 already or answers port 111 itself, or one that was killed "
          "left its registration (see rpcinfo -p; rpcinfo -d 395183 1 removes it)";
      return mode_ = Mode::kOff;
    }
    return mode_ = Mode::kRpcbind;
  }
  auto own = std::make_unique<Own>(io_, log_, allow_);
  own->corePort = corePort;
  bool everyone = false;
  for (const auto& a : addresses) everyone = everyone || a.is_unspecified();
  const auto fail = [&](const asio::ip::tcp::endpoint& endpoint, const error_code& ec) {
    std::string reason = BindFailure(endpoint, ec);
    if (ec == asio::error::access_denied) {
      reason =
          "no rpcbind runs, and port 111 needs root or CAP_NET_BIND_SERVICE to answer its "
          "clients ourselves (" +
          reason + ")";
    } else {
      reason = "no rpcbind runs, and the portmapper's port could not be served: " + reason;
    }
    *why = reason;
    own->Close();
    return mode_ = Mode::kOff;
  };
  // TCP and UDP on each address served, and UDP on its network's broadcast
  // address for discovery, answered from the address itself.
  std::vector<asio::ip::address_v4> served = addresses;
  if (everyone) served = {asio::ip::address_v4::any()};
  for (const auto& address : served) {
    const asio::ip::tcp::endpoint endpoint(address, rpc::kPortmapPort);
    auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(io_);
    error_code ec;
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor->bind(endpoint, ec);
    if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) return fail(endpoint, ec);
    own->acceptors.push_back(std::move(acceptor));
  }
  const auto bindUdp = [&](asio::ip::address_v4 address, Own::Udp* replyVia) -> Own::Udp* {
    const asio::ip::udp::endpoint endpoint(address, rpc::kPortmapPort);
    auto u = std::make_unique<Own::Udp>(io_);
    error_code ec;
    u->socket.open(endpoint.protocol(), ec);
    if (!ec) u->socket.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) u->socket.set_option(asio::socket_base::broadcast(true), ec);
    if (!ec) u->socket.bind(endpoint, ec);
    if (ec) {
      fail(asio::ip::tcp::endpoint(address, rpc::kPortmapPort), ec);
      return nullptr;
    }
    u->replyVia = replyVia != nullptr ? &replyVia->socket : &u->socket;
    own->udp.push_back(std::move(u));
    return own->udp.back().get();
  };
  const std::vector<Network> networks = NetworksOf(served);
  for (std::size_t i = 0; i < served.size(); ++i) {
    Own::Udp* unicast = bindUdp(served[i], nullptr);
    if (unicast == nullptr) return mode_;
    const Network& n = networks[i];
    const bool hasBroadcast =
        !everyone && !served[i].is_loopback() && n.mask != 0xFFFFFFFFu && n.Broadcast() != n.base;
    if (hasBroadcast && bindUdp(asio::ip::address_v4(n.Broadcast()), unicast) == nullptr) {
      return mode_;
    }
  }
  for (auto& a : own->acceptors) own->Accept(*a);
  for (auto& u : own->udp) own->Receive(*u);
  own_ = std::move(own);
  return mode_ = Mode::kOwn;
}

void Portmapper::Shutdown() {
  if (mode_ == Mode::kRpcbind) RpcbindUnregister();
  if (own_) own_->Close();
  mode_ = Mode::kOff;
}

}  // namespace kolvane::server
