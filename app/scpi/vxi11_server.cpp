#include "app/scpi/vxi11_server.h"

#include <algorithm>
#include <array>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <deque>
#include <exception>

#include "rpc/message.h"
#include "rpc/vxi11.h"

namespace kolvane::server {

namespace {

using Clock = std::chrono::steady_clock;
using rpc::CoreProc;

// Limits of one link: its replies left unread, the lines it has waiting.
constexpr std::size_t kMaxOutput = std::size_t{1} << 20;
constexpr std::size_t kMaxWaiting = std::size_t{1} << 20;
// Links on one connection.
constexpr std::size_t kMaxLinksPerConnection = 16;
// Records a connection may have read ahead of the call in hand.
constexpr std::size_t kMaxRecordsAhead = 4;

constexpr const char* kDeviceName = "inst0";

Clock::time_point After(Clock::time_point now, std::uint32_t ms) {
  return now + std::chrono::milliseconds(ms);
}

bool Known(std::uint32_t proc) {
  switch (static_cast<CoreProc>(proc)) {
    case CoreProc::kNull:
    case CoreProc::kCreateLink:
    case CoreProc::kWrite:
    case CoreProc::kRead:
    case CoreProc::kReadStb:
    case CoreProc::kTrigger:
    case CoreProc::kClear:
    case CoreProc::kRemote:
    case CoreProc::kLocal:
    case CoreProc::kLock:
    case CoreProc::kUnlock:
    case CoreProc::kEnableSrq:
    case CoreProc::kDocmd:
    case CoreProc::kDestroyLink:
    case CoreProc::kCreateIntrChan:
    case CoreProc::kDestroyIntrChan:
      return true;
  }
  return false;
}

bool Decodes(CoreProc proc, std::string_view args) {
  switch (proc) {
    case CoreProc::kNull:
      return args.empty();
    case CoreProc::kCreateLink:
      return rpc::DecodeCreateLink(args).has_value();
    case CoreProc::kWrite:
      return rpc::DecodeWrite(args).has_value();
    case CoreProc::kRead:
      return rpc::DecodeRead(args).has_value();
    case CoreProc::kReadStb:
    case CoreProc::kTrigger:
    case CoreProc::kClear:
    case CoreProc::kRemote:
    case CoreProc::kLocal:
      return rpc::DecodeGeneric(args).has_value();
    case CoreProc::kLock:
      return rpc::DecodeLock(args).has_value();
    case CoreProc::kUnlock:
    case CoreProc::kDestroyLink:
      return rpc::DecodeLink(args).has_value();
    default:
      return rpc::DecodeUnsupported(proc, args);
  }
}

// A procedure's results carrying only an error code (and empty fields).
std::string ErrorFor(CoreProc proc, std::int32_t error, std::uint16_t abortPort) {
  switch (proc) {
    case CoreProc::kCreateLink:
      return rpc::CreateLinkResult(error, 0, abortPort, kVxi11MaxRecvSize);
    case CoreProc::kWrite:
      return rpc::WriteResult(error, 0);
    case CoreProc::kRead:
      return rpc::ReadResult(error, 0, {});
    case CoreProc::kReadStb:
      return rpc::ReadStbResult(error, 0);
    case CoreProc::kDocmd:
      return rpc::DocmdResult(error);
    default:
      return rpc::ErrorResult(error);
  }
}

}  // namespace

struct Vxi11Server::Parked {
  std::uint32_t xid = 0;
  CoreProc proc = CoreProc::kNull;
  std::string args;
  Clock::time_point lockDeadline{};
  Clock::time_point ioDeadline{};
  bool started = false;
  // device_readstb: the byte, once the counter thread has given it.
  bool stbAsked = false;
  std::optional<std::uint8_t> stb;
  std::uint64_t token = 0;
};

struct Vxi11Server::Connection {
  Connection(asio::ip::tcp::socket s, asio::io_context& io) : socket(std::move(s)), timer(io) {}

  asio::ip::tcp::socket socket;
  asio::steady_timer timer;
  std::uint64_t id = 0;
  std::string peer;
  bool abort = false;  // the abort channel
  std::array<char, 8192> buffer{};
  rpc::RecordReader reader;
  std::deque<std::string> records;
  bool reading = false;
  bool writing = false;
  bool closeAfterWrite = false;
  bool closed = false;
  std::deque<std::string> output;
  std::optional<Parked> parked;
  std::vector<std::int32_t> links;
};

struct Vxi11Server::Link {
  std::int32_t id = 0;
  std::uint64_t connection = 0;
  std::string client;               // for the log: "10.0.0.2:871 link 3"
  std::string input;                // a message not yet ended
  std::deque<std::string> waiting;  // whole lines not yet run
  std::size_t waitingBytes = 0;
  bool running = false;
  std::uint64_t generation = 0;  // device_clear drops the replies of older lines
  std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
  std::deque<std::string> output;  // replies with their LF; the first partly read
  std::size_t outputBytes = 0;
};

Vxi11Server::Vxi11Server(asio::io_context& io, Server& server, SessionFactory open, EventLog& log,
                         std::vector<AllowedNetwork> allow)
    : io_(io), server_(server), open_(std::move(open)), log_(log), allow_(std::move(allow)) {}

Vxi11Server::~Vxi11Server() = default;

std::optional<std::string> Vxi11Server::Listen(const std::vector<asio::ip::address_v4>& addresses) {
  addresses_ = addresses;
  // The wildcard takes every interface; beside it a single address would
  // not bind on the same port.
  if (std::any_of(addresses.begin(), addresses.end(),
                  [](const auto& a) { return a.is_unspecified(); })) {
    addresses_ = {asio::ip::address_v4::any()};
  }
  for (const auto& address : addresses_) {
    for (const bool abort : {false, true}) {
      const asio::ip::tcp::endpoint endpoint(address, abort ? abortPort_ : corePort_);
      auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(io_);
      error_code ec;
      acceptor->open(endpoint.protocol(), ec);
      if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
      if (!ec) acceptor->bind(endpoint, ec);
      if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
      if (ec) {
        acceptors_.clear();
        return "VXI-11 (--vxi11): " + BindFailure(endpoint, ec);
      }
      const std::uint16_t port = acceptor->local_endpoint(ec).port();
      (abort ? abortPort_ : corePort_) = port;
      acceptors_.push_back(std::move(acceptor));
    }
  }
  return std::nullopt;
}

void Vxi11Server::Close() {
  error_code ec;
  for (auto& a : acceptors_) a->close(ec);
  acceptors_.clear();
}

void Vxi11Server::Start() {
  // Core and abort acceptors alternate, as Listen made them.
  for (std::size_t i = 0; i < acceptors_.size(); ++i) Accept(*acceptors_[i], i % 2 == 1);
}

void Vxi11Server::Accept(asio::ip::tcp::acceptor& acceptor, bool abort) {
  acceptor.async_accept([this, &acceptor, abort](error_code ec, asio::ip::tcp::socket socket) {
    if (stopping_ || ec == asio::error::operation_aborted) return;
    if (!ec) {
      Admit(std::move(socket), abort);
      Accept(acceptor, abort);
      return;
    }
    log_.Warning("cannot accept a VXI-11 connection: " + ec.message());
    auto timer = std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(200));
    timer->async_wait([this, &acceptor, abort, timer](error_code) {
      if (!stopping_) Accept(acceptor, abort);
    });
  });
}

void Vxi11Server::Admit(asio::ip::tcp::socket socket, bool abort) {
  error_code ec;
  const auto remote = socket.remote_endpoint(ec);
  if (ec) return;
  const std::string peer = EndpointText(remote);
  if (!Allowed(allow_, remote.address())) {
    log_.Warning("refused VXI-11 client " + peer + ": not in any --allow network", peer);
    socket.close(ec);
    return;
  }
  // An abort channel goes with a core connection: no more of them than
  // --max-clients either.
  if (abort ? abortConnections_.size() >= static_cast<std::size_t>(server_.MaxClients())
            : server_.Full()) {
    log_.Warning("refused VXI-11 client " + peer + ": " + std::to_string(server_.MaxClients()) +
                     " clients are connected already (--max-clients)",
                 peer);
    socket.close(ec);
    return;
  }
  socket.set_option(asio::ip::tcp::no_delay(true), ec);
  auto c = std::make_shared<Connection>(std::move(socket), io_);
  c->id = nextId_++;
  c->peer = peer;
  c->abort = abort;
  if (abort) {
    abortConnections_[c->id] = c;
  } else {
    connections_[c->id] = c;
    server_.OtherClients(+1);
    log_.Notice("VXI-11 client " + peer + " connected");
  }
  Read(c);
}

void Vxi11Server::Read(const ConnectionPtr& c) {
  if (c->reading || c->closed || c->closeAfterWrite || c->records.size() >= kMaxRecordsAhead) {
    return;
  }
  c->reading = true;
  c->socket.async_read_some(asio::buffer(c->buffer), [this, c](error_code ec, std::size_t n) {
    c->reading = false;
    if (stopping_ || c->closed) return;
    if (ec) {
      CloseConnection(c, ec == asio::error::eof ? std::string() : ec.message());
      return;
    }
    std::string_view bytes(c->buffer.data(), n);
    for (;;) {
      std::string record;
      const auto status = c->reader.Feed(bytes, &record);
      bytes = {};
      if (status == rpc::RecordReader::Status::kTooLong) {
        CloseConnection(c, "a record over 64 KiB");
        return;
      }
      if (status == rpc::RecordReader::Status::kMore) break;
      c->records.push_back(std::move(record));
    }
    Process(c);
    Read(c);
  });
}

void Vxi11Server::Process(const ConnectionPtr& c) {
  while (!c->closed && !c->closeAfterWrite && !c->parked && !c->records.empty()) {
    const std::string record = std::move(c->records.front());
    c->records.pop_front();
    if (c->abort) {
      HandleAbort(c, record);
    } else {
      HandleRecord(c, record);
    }
  }
  Read(c);
}

void Vxi11Server::HandleRecord(const ConnectionPtr& c, const std::string& record) {
  const auto call = rpc::ParseCall(record);
  if (!call) {
    CloseConnection(c, "bytes that are no RPC call");
    return;
  }
  if (auto refusal = rpc::CheckProgram(*call, rpc::kCoreProgram)) {
    log_.Warning("VXI-11 client " + c->peer + " called program " + std::to_string(call->program) +
                     " version " + std::to_string(call->version) + ": refused, connection closed",
                 c->peer);
    Reply(c, std::move(*refusal), true);
    return;
  }
  if (!Known(call->procedure)) {
    log_.Warning("VXI-11 client " + c->peer + " called the unknown procedure " +
                     std::to_string(call->procedure) + ": PROC_UNAVAIL, connection closed",
                 c->peer);
    Reply(c, rpc::Reply(call->xid, rpc::AcceptStat::kProcUnavail), true);
    return;
  }
  const auto proc = static_cast<CoreProc>(call->procedure);
  if (!Decodes(proc, call->args)) {
    log_.Warning("VXI-11 client " + c->peer + ": the arguments of procedure " +
                     std::to_string(call->procedure) + " do not decode: GARBAGE_ARGS, closed",
                 c->peer);
    Reply(c, rpc::Reply(call->xid, rpc::AcceptStat::kGarbageArgs), true);
    return;
  }
  Parked p;
  p.xid = call->xid;
  p.proc = proc;
  p.args = std::string(call->args);
  c->parked = std::move(p);
  if (Try(c) == Outcome::kWaiting) Arm(c);
}

void Vxi11Server::HandleAbort(const ConnectionPtr& c, const std::string& record) {
  const auto call = rpc::ParseCall(record);
  if (!call) {
    CloseConnection(c, "bytes that are no RPC call");
    return;
  }
  if (auto refusal = rpc::CheckProgram(*call, rpc::kAbortProgram)) {
    Reply(c, std::move(*refusal), true);
    return;
  }
  if (call->procedure == 0) {
    if (!call->args.empty()) {
      Reply(c, rpc::Reply(call->xid, rpc::AcceptStat::kGarbageArgs), true);
    } else {
      Reply(c, rpc::Reply(call->xid, rpc::AcceptStat::kSuccess), false);
    }
    return;
  }
  if (call->procedure != rpc::kAbortProc) {
    Reply(c, rpc::Reply(call->xid, rpc::AcceptStat::kProcUnavail), true);
    return;
  }
  const auto lid = rpc::DecodeLink(call->args);
  if (!lid) {
    Reply(c, rpc::Reply(call->xid, rpc::AcceptStat::kGarbageArgs), true);
    return;
  }
  const auto it = links_.find(*lid);
  if (it == links_.end()) {
    Reply(c,
          rpc::Reply(call->xid, rpc::AcceptStat::kSuccess,
                     rpc::ErrorResult(rpc::vxi_err::kInvalidLink)),
          false);
    return;
  }
  const auto owner = connections_.find(it->second->connection);
  if (owner != connections_.end() && owner->second->parked) {
    const ConnectionPtr core = owner->second;
    log_.Notice("VXI-11 " + it->second->client + ": device_abort ended its call in hand");
    Finish(core, ErrorFor(core->parked->proc, rpc::vxi_err::kAbort, abortPort_));
  }
  Reply(c, rpc::Reply(call->xid, rpc::AcceptStat::kSuccess, rpc::ErrorResult(rpc::vxi_err::kNone)),
        false);
}

Vxi11Server::Link* Vxi11Server::FindLink(const ConnectionPtr& c, std::int32_t lid) {
  const auto it = links_.find(lid);
  // A link answers only on the connection that made it.
  if (it == links_.end() || it->second->connection != c->id) return nullptr;
  return it->second.get();
}

Vxi11Server::Outcome Vxi11Server::Try(const ConnectionPtr& c) {
  Parked& p = *c->parked;
  const auto now = Clock::now();
  const auto reply = [&](const std::string& results) {
    Finish(c, results);
    return Outcome::kReplied;
  };
  const auto error = [&](std::int32_t e) { return reply(ErrorFor(p.proc, e, abortPort_)); };
  // Whether the lock lets link lid go on: 0, kWaiting as -1, or error 11.
  const auto gate = [&](std::int32_t lid, std::uint32_t flags) {
    if (!lockHolder_ || *lockHolder_ == lid) return 0;
    if ((flags & rpc::kWaitLock) != 0 && now < p.lockDeadline) return -1;
    return rpc::vxi_err::kLocked;
  };

  switch (p.proc) {
    case CoreProc::kNull:
      return reply({});

    case CoreProc::kCreateLink: {
      const auto parms = *rpc::DecodeCreateLink(p.args);
      if (!p.started) p.lockDeadline = After(now, parms.lockTimeout);
      p.started = true;
      if (parms.device != kDeviceName) return error(rpc::vxi_err::kNotAccessible);
      if (c->links.size() >= kMaxLinksPerConnection) return error(rpc::vxi_err::kOutOfResources);
      if (parms.lockDevice) {
        const int g = gate(0, rpc::kWaitLock);
        if (g < 0) return Outcome::kWaiting;
        if (g > 0) return error(g);
      }
      auto link = std::make_unique<Link>();
      link->id = nextLink_++;
      link->connection = c->id;
      link->client = c->peer + " link " + std::to_string(link->id);
      const std::int32_t lid = link->id;
      if (parms.lockDevice) lockHolder_ = lid;
      c->links.push_back(lid);
      server_.OnCounterThread([this, lid, cancel = link->cancel] {
        LinkSession& s = sessions_[lid];
        s.session = open_();
        s.cancel = cancel;
        if (s.session) s.session->WatchCancel(cancel.get());
      });
      log_.Notice("VXI-11 client " + c->peer + " opened link " + std::to_string(lid));
      links_[lid] = std::move(link);
      return reply(rpc::CreateLinkResult(rpc::vxi_err::kNone, lid, abortPort_, kVxi11MaxRecvSize));
    }

    case CoreProc::kWrite: {
      const auto parms = *rpc::DecodeWrite(p.args);
      if (!p.started) {
        p.lockDeadline = After(now, parms.lockTimeout);
        p.ioDeadline = After(now, parms.ioTimeout);
      }
      p.started = true;
      Link* link = FindLink(c, parms.lid);
      if (link == nullptr) return error(rpc::vxi_err::kInvalidLink);
      if (const int g = gate(link->id, parms.flags); g != 0) {
        return g < 0 ? Outcome::kWaiting : error(g);
      }
      // A link that has a megabyte of lines waiting takes more when they
      // have run, within io_timeout.
      if (link->waitingBytes + link->input.size() > kMaxWaiting) {
        return now < p.ioDeadline ? Outcome::kWaiting : error(rpc::vxi_err::kIoTimeout);
      }
      link->input += parms.data;
      // A line runs once its LF has come (IEEE 488.2's terminator, which
      // pyvisa-py relies on: it sends a message of more than 1 KiB
      // without END), or with the END piece.
      const bool end = (parms.flags & rpc::kEnd) != 0;
      std::string_view rest = link->input;
      while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        if (lf == std::string_view::npos && !end) break;
        const std::string_view line = rest.substr(0, lf);
        if (!line.empty() && line != "\r") {
          link->waiting.emplace_back(line);
          link->waitingBytes += line.size();
        }
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
      }
      link->input.erase(0, link->input.size() - rest.size());
      Pump(*link);
      return reply(
          rpc::WriteResult(rpc::vxi_err::kNone, static_cast<std::uint32_t>(parms.data.size())));
    }

    case CoreProc::kRead: {
      const auto parms = *rpc::DecodeRead(p.args);
      if (!p.started) {
        p.lockDeadline = After(now, parms.lockTimeout);
        p.ioDeadline = After(now, parms.ioTimeout);
      }
      p.started = true;
      Link* link = FindLink(c, parms.lid);
      if (link == nullptr) return error(rpc::vxi_err::kInvalidLink);
      if (const int g = gate(link->id, parms.flags); g != 0) {
        return g < 0 ? Outcome::kWaiting : error(g);
      }
      if (link->output.empty()) {
        return now < p.ioDeadline ? Outcome::kWaiting : error(rpc::vxi_err::kIoTimeout);
      }
      std::string& message = link->output.front();
      std::size_t n = std::min<std::size_t>(parms.requestSize, message.size());
      std::int32_t reason = 0;
      if ((parms.flags & rpc::kTermCharSet) != 0) {
        const std::size_t at = message.find(parms.termChar);
        if (at != std::string::npos && at < n) {
          n = at + 1;
          reason |= rpc::kReasonChar;
        }
      }
      if (n == message.size()) reason |= rpc::kReasonEnd;
      if (n == parms.requestSize && (reason & rpc::kReasonEnd) == 0) {
        reason |= rpc::kReasonRequestCount;
      }
      const std::string piece = message.substr(0, n);
      message.erase(0, n);
      link->outputBytes -= n;
      if (message.empty()) link->output.pop_front();
      return reply(rpc::ReadResult(rpc::vxi_err::kNone, reason, piece));
    }

    case CoreProc::kReadStb: {
      const auto parms = *rpc::DecodeGeneric(p.args);
      if (!p.started) {
        p.lockDeadline = After(now, parms.lockTimeout);
        p.ioDeadline = After(now, parms.ioTimeout);
      }
      p.started = true;
      Link* link = FindLink(c, parms.lid);
      if (link == nullptr) return error(rpc::vxi_err::kInvalidLink);
      if (const int g = gate(link->id, parms.flags); g != 0) {
        return g < 0 ? Outcome::kWaiting : error(g);
      }
      if (p.stb) {
        // Message available: a reply waits to be read.
        const std::uint8_t mav = link->output.empty() ? 0 : 0x10;
        return reply(rpc::ReadStbResult(rpc::vxi_err::kNone, *p.stb | mav));
      }
      if (!p.stbAsked) {
        // *STB? in turn with the other clients' lines, on the link's session.
        p.stbAsked = true;
        p.token = nextId_++;
        server_.OnCounterThread([this, lid = link->id, id = c->id, token = p.token] {
          std::uint8_t stb = 0;
          const auto it = sessions_.find(lid);
          if (it != sessions_.end() && it->second.session) {
            try {
              const auto r = it->second.session->Execute("*STB?");
              if (r) stb = static_cast<std::uint8_t>(std::stoi(*r));
            } catch (const std::exception&) {
            }
          }
          asio::post(io_, [this, id, token, stb] {
            const auto found = connections_.find(id);
            if (found == connections_.end()) return;
            const ConnectionPtr conn = found->second;
            if (!conn->parked || conn->parked->token != token) return;
            conn->parked->stb = stb;
            Retry(conn);
          });
        });
      }
      return now < p.ioDeadline ? Outcome::kWaiting : error(rpc::vxi_err::kIoTimeout);
    }

    case CoreProc::kTrigger:
    case CoreProc::kClear:
    case CoreProc::kRemote:
    case CoreProc::kLocal: {
      const auto parms = *rpc::DecodeGeneric(p.args);
      if (!p.started) p.lockDeadline = After(now, parms.lockTimeout);
      p.started = true;
      Link* link = FindLink(c, parms.lid);
      if (link == nullptr) return error(rpc::vxi_err::kInvalidLink);
      if (const int g = gate(link->id, parms.flags); g != 0) {
        return g < 0 ? Outcome::kWaiting : error(g);
      }
      if (p.proc == CoreProc::kTrigger) {
        link->waiting.emplace_back("INITiate");
        link->waitingBytes += 8;
        Pump(*link);
      } else if (p.proc == CoreProc::kClear) {
        ClearLink(*link);
        log_.Notice("VXI-11 " + link->client + ": device_clear");
      }
      return error(rpc::vxi_err::kNone);
    }

    case CoreProc::kLock: {
      const auto parms = *rpc::DecodeLock(p.args);
      if (!p.started) p.lockDeadline = After(now, parms.lockTimeout);
      p.started = true;
      Link* link = FindLink(c, parms.lid);
      if (link == nullptr) return error(rpc::vxi_err::kInvalidLink);
      if (const int g = gate(link->id, parms.flags); g != 0) {
        return g < 0 ? Outcome::kWaiting : error(g);
      }
      lockHolder_ = link->id;
      return error(rpc::vxi_err::kNone);
    }

    case CoreProc::kUnlock: {
      Link* link = FindLink(c, *rpc::DecodeLink(p.args));
      if (link == nullptr) return error(rpc::vxi_err::kInvalidLink);
      if (lockHolder_ != link->id) return error(rpc::vxi_err::kNoLock);
      lockHolder_.reset();
      error(rpc::vxi_err::kNone);
      RetryAll();
      return Outcome::kReplied;
    }

    case CoreProc::kDestroyLink: {
      Link* link = FindLink(c, *rpc::DecodeLink(p.args));
      if (link == nullptr) return error(rpc::vxi_err::kInvalidLink);
      log_.Notice("VXI-11 client " + c->peer + " closed link " + std::to_string(link->id));
      DestroyLink(link->id);
      error(rpc::vxi_err::kNone);
      RetryAll();
      return Outcome::kReplied;
    }

    case CoreProc::kEnableSrq:
    case CoreProc::kDocmd:
    case CoreProc::kCreateIntrChan:
    case CoreProc::kDestroyIntrChan:
      // No interrupt channel, no service requests, no commands beyond
      // the message exchange.
      return error(rpc::vxi_err::kNotSupported);
  }
  return error(rpc::vxi_err::kNotSupported);
}

void Vxi11Server::Arm(const ConnectionPtr& c) {
  if (!c->parked || c->closed) return;
  const Parked& p = *c->parked;
  // The nearest deadline still ahead: a call waits for the lock first,
  // then for data.
  const auto now = Clock::now();
  auto when = p.ioDeadline;
  if (p.lockDeadline > now && (p.lockDeadline < when || when <= now)) when = p.lockDeadline;
  if (when <= now) when = now + std::chrono::milliseconds(1);
  c->timer.expires_at(when);
  c->timer.async_wait([this, c](error_code ec) {
    if (ec || stopping_ || c->closed) return;
    Retry(c);
  });
}

void Vxi11Server::Retry(const ConnectionPtr& c) {
  if (c->closed || !c->parked) return;
  if (Try(c) == Outcome::kWaiting) Arm(c);
}

void Vxi11Server::RetryAll() {
  std::vector<ConnectionPtr> waiting;
  for (const auto& [id, c] : connections_) {
    if (c->parked) waiting.push_back(c);
  }
  for (const auto& c : waiting) Retry(c);
}

void Vxi11Server::Finish(const ConnectionPtr& c, const std::string& results) {
  const std::uint32_t xid = c->parked->xid;
  c->parked.reset();
  c->timer.cancel();
  Reply(c, rpc::Reply(xid, rpc::AcceptStat::kSuccess, results), false);
  // The next call, once this one's turn is over.
  asio::post(io_, [this, c] {
    if (!c->closed) Process(c);
  });
}

void Vxi11Server::Reply(const ConnectionPtr& c, std::string message, bool thenClose) {
  if (c->closed) return;
  c->output.push_back(rpc::Frame(message));
  if (thenClose) {
    c->closeAfterWrite = true;
    c->records.clear();
  }
  Write(c);
}

void Vxi11Server::Write(const ConnectionPtr& c) {
  if (c->writing || c->closed) return;
  if (c->output.empty()) {
    if (c->closeAfterWrite) CloseConnection(c, "closed after a refused call");
    return;
  }
  c->writing = true;
  asio::async_write(c->socket, asio::buffer(c->output.front()),
                    [this, c](error_code ec, std::size_t) {
                      c->writing = false;
                      if (stopping_ || c->closed) return;
                      c->output.pop_front();
                      if (ec) {
                        CloseConnection(c, ec.message());
                        return;
                      }
                      Write(c);
                    });
}

void Vxi11Server::CloseConnection(const ConnectionPtr& c, const std::string& why) {
  if (c->closed) return;
  c->closed = true;
  c->parked.reset();
  c->timer.cancel();
  error_code ec;
  c->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
  c->socket.close(ec);
  if (c->abort) {
    abortConnections_.erase(c->id);
    return;
  }
  const std::vector<std::int32_t> links = c->links;
  for (const std::int32_t lid : links) DestroyLink(lid);
  connections_.erase(c->id);
  server_.OtherClients(-1);
  if (why.empty()) {
    log_.Notice("VXI-11 client " + c->peer + " disconnected");
  } else {
    log_.Warning("closed the VXI-11 connection of " + c->peer + ": " + why, c->peer);
  }
  if (!stopping_) RetryAll();  // a lock it held is free
}

void Vxi11Server::DestroyLink(std::int32_t lid) {
  const auto it = links_.find(lid);
  if (it == links_.end()) return;
  Link& link = *it->second;
  if (link.running) link.cancel->store(true);
  if (lockHolder_ == lid) lockHolder_.reset();
  const auto owner = connections_.find(link.connection);
  if (owner != connections_.end()) {
    auto& ids = owner->second->links;
    ids.erase(std::remove(ids.begin(), ids.end(), lid), ids.end());
  }
  links_.erase(it);
  server_.OnCounterThread([this, lid] { sessions_.erase(lid); });
}

void Vxi11Server::ClearLink(Link& link) {
  link.input.clear();
  link.waiting.clear();
  link.waitingBytes = 0;
  link.output.clear();
  link.outputBytes = 0;
  ++link.generation;
  // The line in hand stops where it waits; its reply, if any, is dropped.
  if (link.running) link.cancel->store(true);
}

void Vxi11Server::Pump(Link& link) {
  if (link.running || link.waiting.empty()) return;
  std::string line = std::move(link.waiting.front());
  link.waiting.pop_front();
  link.waitingBytes -= std::min(link.waitingBytes, line.size());
  link.running = true;
  link.cancel->store(false);
  ++commands_;
  server_.OnCounterThread([this, lid = link.id, generation = link.generation, client = link.client,
                           line = std::move(line)] {
    std::optional<std::string> reply;
    std::vector<std::string> errors;
    const auto it = sessions_.find(lid);
    if (it != sessions_.end() && it->second.session) {
      try {
        reply = it->second.session->Execute(line);
        errors = it->second.session->LastErrors();
      } catch (const std::exception& e) {
        log_.Warning(std::string("the command failed inside the server: ") + e.what(), client);
      }
    }
    log_.Command(client, line, reply, errors);
    asio::post(io_, [this, lid, generation, reply = std::move(reply)]() mutable {
      LineDone(lid, generation, std::move(reply));
    });
  });
}

void Vxi11Server::LineDone(std::int32_t lid, std::uint64_t generation,
                           std::optional<std::string> reply) {
  const auto it = links_.find(lid);
  if (it == links_.end()) return;
  Link& link = *it->second;
  link.running = false;
  // The reply in hand may be long (READ? of many samples); what the client
  // has left unread before it is what counts.
  const bool overrun = link.outputBytes > kMaxOutput;
  if (reply && generation == link.generation && !overrun) {
    reply->push_back('\n');
    link.outputBytes += reply->size();
    link.output.push_back(std::move(*reply));
  }
  const std::uint64_t connection = link.connection;
  if (overrun) {
    const auto owner = connections_.find(connection);
    if (owner != connections_.end()) {
      CloseConnection(owner->second, "more than 1 MiB of replies left unread");
    }
    return;
  }
  Pump(link);
  const auto owner = connections_.find(connection);
  if (owner != connections_.end()) Retry(owner->second);
}

void Vxi11Server::Shutdown() {
  stopping_ = true;
  Close();
  error_code ec;
  for (auto* group : {&connections_, &abortConnections_}) {
    for (auto& [id, c] : *group) {
      c->closed = true;
      c->timer.cancel();
      c->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
      c->socket.close(ec);
    }
  }
  for (auto& [lid, link] : links_) {
    if (link->running) link->cancel->store(true);
  }
  server_.OtherClients(-static_cast<int>(connections_.size()));
  connections_.clear();
  abortConnections_.clear();
}

void Vxi11Server::DropSessions() {
  sessions_.clear();
}

}  // namespace kolvane::server
