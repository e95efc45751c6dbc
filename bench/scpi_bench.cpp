// The scpi mode: kolvane-scpi against kolvane-sim on loopback. The round
// trip of *IDN?, lxi-tools' own benchmark, the time from a result's last
// byte on the line to the READ? reply, a client reading at full rate with
// and without 100 idle connections beside it, the server's CPU time idle
// and at 10 results per second, and the HTTP pages (/ and /metrics) to 8
// clients at once. Then the same round trip and READ? latency over VXI-11,
// in a network namespace of the benchmark's own (as root), since VXI-11's
// portmapper is on port 111.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/loopback.h"
#include "bench/modes.h"
#include "bench/report.h"
#include "rpc/message.h"
#include "rpc/vxi11.h"
#include "tests/integration/sim_process.h"

namespace kolvane::bench {

namespace {

constexpr double kIdnTargetMs = 1;
constexpr double kReadTargetMs = 5;
constexpr int kIdleConnections = 100;
constexpr double kHttpTargetMs = 5;
constexpr int kHttpClients = 8;

// A blocking VXI-11 client of one link on 127.0.0.1, which finds the core
// channel through the portmapper as VISA libraries do.
class VxiClient {
 public:
  VxiClient() {
    const std::string port =
        Call(Connect(rpc::kPortmapPort), rpc::kPortmapProgram, rpc::kPortmapVersion,
             rpc::kPortmapGetPort, rpc::GetPortArgs(rpc::kCoreProgram, 1, rpc::kProtocolTcp));
    close(fd_);
    fd_ = -1;
    if (port.size() != 4) return;
    rpc::XdrReader r(port);
    const std::uint32_t core = r.U32();
    if (core == 0) return;
    const std::string link =
        Call(Connect(static_cast<int>(core)), rpc::kCoreProgram, 1, 10,
             rpc::XdrWriter().I32(1).Bool(false).U32(0).Opaque("inst0").Bytes());
    rpc::XdrReader l(link);
    const std::int32_t error = l.I32();
    lid_ = l.I32();
    ok_ = l.ok() && error == 0;
  }
  ~VxiClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return ok_; }
  // device_write of the line with END, then device_read until END; empty on failure.
  std::string Query(const std::string& line) {
    const std::string w = Call(
        fd_, rpc::kCoreProgram, 1, 11,
        rpc::XdrWriter().I32(lid_).U32(10000).U32(0).U32(rpc::kEnd).Opaque(line + "\n").Bytes());
    if (w.size() != 8) return {};
    std::string reply;
    for (;;) {
      const std::string r =
          Call(fd_, rpc::kCoreProgram, 1, 12,
               rpc::XdrWriter().I32(lid_).U32(65536).U32(10000).U32(0).U32(0).U32(0).Bytes());
      rpc::XdrReader x(r);
      const std::int32_t error = x.I32();
      const std::int32_t reason = x.I32();
      reply += x.Opaque(65536);
      if (!x.ok() || error != 0) return {};
      if ((reason & rpc::kReasonEnd) != 0) break;
    }
    if (!reply.empty() && reply.back() == '\n') reply.pop_back();
    return reply;
  }

 private:
  int Connect(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd_;
  }
  // One call's results; empty on failure.
  std::string Call(int fd, std::uint32_t program, std::uint32_t version, std::uint32_t proc,
                   const std::string& args) {
    if (fd < 0) return {};
    const std::string out = rpc::Frame(rpc::CallMessage(++xid_, program, version, proc, args));
    if (write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return {};
    rpc::RecordReader reader;
    std::string record;
    char b[65536 + 512];
    for (auto status = rpc::RecordReader::Status::kMore;
         status == rpc::RecordReader::Status::kMore;) {
      const ssize_t n = read(fd, b, sizeof b);
      if (n <= 0) return {};
      status = reader.Feed(std::string_view(b, static_cast<std::size_t>(n)), &record);
      if (status == rpc::RecordReader::Status::kTooLong) return {};
    }
    const auto reply = rpc::ParseReply(record);
    if (!reply || reply->xid != xid_ || reply->stat != rpc::AcceptStat::kSuccess) return {};
    return std::string(reply->results);
  }

  int fd_ = -1;
  std::uint32_t xid_ = 0;
  std::int32_t lid_ = 0;
  bool ok_ = false;
};

// A keep-alive HTTP/1.1 client on 127.0.0.1.
struct HttpClient {
  explicit HttpClient(int port)
      : fd(ConnectLoopback(port)), host("127.0.0.1:" + std::to_string(port)) {}
  ~HttpClient() {
    if (fd >= 0) close(fd);
  }
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;
  bool Ok() const { return fd >= 0; }
  // GETs the path; the status, 0 on failure.
  int Get(const std::string& path) {
    // With its port: the server answers 421 to a Host it is not reached by.
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
      return 0;
    }
    std::size_t end = std::string::npos;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill()) return 0;
    }
    const std::string head = buffer.substr(0, end);
    const std::size_t at = head.find("Content-Length: ");
    const std::size_t length = at == std::string::npos ? 0 : std::stoul(head.substr(at + 16));
    while (buffer.size() < end + 4 + length) {
      if (!Fill()) return 0;
    }
    buffer.erase(0, end + 4 + length);
    return head.size() > 12 ? std::atoi(head.c_str() + 9) : 0;
  }
  bool Fill() {
    char b[16384];
    const ssize_t n = read(fd, b, sizeof b);
    if (n <= 0) return false;
    buffer.append(b, static_cast<std::size_t>(n));
    return true;
  }
  int fd = -1;
  std::string host;
  std::string buffer;
};

// When the simulator finished writing each result.
std::vector<double> ResultTimes(const std::vector<std::string>& log) {
  std::vector<double> times;
  for (const SimResult& r : SimResults(log)) times.push_back(r.ms);
  return times;
}

// READ? back to back for the time given: the replies' arrival times.
std::vector<double> ReadFor(const std::function<std::string(const std::string&)>& query,
                            double seconds, std::size_t* bad) {
  std::vector<double> arrivals;
  const double end = MonotonicMs() + seconds * 1e3;
  while (MonotonicMs() < end) {
    const std::string reply = query("READ?");
    const double t = MonotonicMs();
    if (reply.empty() || reply[0] != '+' || reply.find("E+37") != std::string::npos) {
      ++*bad;
    } else {
      arrivals.push_back(t);
    }
    if (reply.empty()) break;
  }
  return arrivals;
}

std::vector<double> ReadFor(Client& c, double seconds, std::size_t* bad) {
  return ReadFor([&c](const std::string& line) { return c.Query(line); }, seconds, bad);
}

// The time from each result's last byte to the READ? reply that brought it.
// The simulator stamps a result once write() has returned, sometimes after
// the reply has come: each reply goes with the nearest result (they are
// 100 ms apart), and such a reply counts as 0.
std::vector<double> Latencies(const std::vector<double>& arrivals,
                              const std::vector<double>& results) {
  std::vector<double> latency;
  for (const double a : arrivals) {
    const auto it = std::lower_bound(results.begin(), results.end(), a);
    double nearest = it != results.end() ? *it : -1e9;
    if (it != results.begin() && a - *std::prev(it) < nearest - a) nearest = *std::prev(it);
    if (std::abs(a - nearest) < 50) latency.push_back(std::max(0.0, a - nearest));
  }
  return latency;
}

std::string Ms(double ms) {
  return Format("%.3f ms", ms);
}

// In a child process with network and mount namespaces of its own (its
// loopback alone, a private /run where no rpcbind is): VXI-11's *IDN?
// round trips and READ? latencies, as lines "idn <ms>" and "read <ms>", or
// "skip <why>".
void MeasureVxi11(const ScpiOptions& options, int out) {
  const auto say = [out](const std::string& text) {
    const std::string line = text + "\n";
    if (write(out, line.data(), line.size()) < 0) _exit(1);
  };
  if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
    return say("skip needs root for a network namespace of its own (port 111)");
  }
  mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
  mount("tmpfs", "/run", "tmpfs", 0, nullptr);
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  ifreq lo{};
  std::snprintf(lo.ifr_name, sizeof lo.ifr_name, "lo");
  ioctl(s, SIOCGIFFLAGS, &lo);
  lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP);
  ioctl(s, SIOCSIFFLAGS, &lo);
  close(s);
  {
    test::SimProcess sim({"--rate", "10", "--signal-khz", "1000"});
    ServerProcess server(8, true);
    VxiClient c;
    if (!sim.Ready() || !server.Ready() || !c.Ok()) return say("skip VXI-11 did not answer");
    c.Query("FREQ:GATE:TIME 0.01;*OPC?");
    std::size_t bad = 0;
    const std::vector<double> arrivals =
        ReadFor([&c](const std::string& line) { return c.Query(line); }, options.seconds, &bad);
    for (const double ms : Latencies(arrivals, ResultTimes(sim.Log())))
      say(Format("read %.6f", ms));
  }
  {
    test::SimProcess sim({"--rate", "100", "--signal-khz", "1000"});
    ServerProcess server(8, true);
    VxiClient c;
    if (!sim.Ready() || !server.Ready() || !c.Ok()) return say("skip VXI-11 did not answer");
    for (int i = 0; i < options.idnQueries; ++i) {
      const double t0 = MonotonicMs();
      if (c.Query("*IDN?").empty()) return say("skip *IDN? over VXI-11 got no reply");
      say(Format("idn %.6f", MonotonicMs() - t0));
    }
  }
}

void AddVxi11(const ScpiOptions& options, Table& t) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    MeasureVxi11(options, fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char b[4096];
  for (ssize_t n; (n = read(fds[0], b, sizeof b)) > 0;) text.append(b, static_cast<std::size_t>(n));
  close(fds[0]);
  waitpid(child, nullptr, 0);
  std::vector<double> idn, latency;
  std::istringstream in(text);
  for (std::string kind; in >> kind;) {
    if (kind == "skip") {
      std::string why;
      std::getline(in, why);
      t.Add("VXI-11", "not measured:" + why);
      return;
    }
    double ms = 0;
    in >> ms;
    (kind == "idn" ? idn : latency).push_back(ms);
  }
  const double idnP99 = Quantile(idn, 0.99);
  t.Add("VXI-11 *IDN? round trip, median", Ms(Quantile(idn, 0.5)));
  t.Add("VXI-11 *IDN? round trip, p99", Ms(idnP99), "at most 1 ms",
        !idn.empty() && idnP99 <= kIdnTargetMs);
  const double p99 = Quantile(latency, 0.99);
  t.Add("VXI-11 result's last byte to READ? reply, median", Ms(Quantile(latency, 0.5)));
  t.Add("VXI-11 result's last byte to READ? reply, p99", Ms(p99), "at most 5 ms",
        !latency.empty() && p99 <= kReadTargetMs);
}

}  // namespace

int RunScpi(const ScpiOptions& options) {
  const std::string loadBefore = LoadAverage();
  Table t;

  // At 10 results per second: idle CPU, CPU while reading, READ? latency.
  {
    test::SimProcess sim({"--rate", "10", "--signal-khz", "1000"});
    if (!sim.Ready()) return Fail("kolvane-sim did not start (" KOLVANE_SIM_PATH ")");
    ServerProcess server(8);
    if (!server.Ready()) return Fail("kolvane-scpi did not answer (" KOLVANE_SCPI_PATH ")");
    Client c(server.Port());
    c.Query("FREQ:GATE:TIME 0.01;*OPC?");

    double cpu0 = server.CpuMs();
    std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
    const double idle = (server.CpuMs() - cpu0) / (options.seconds * 10);

    std::size_t bad = 0;
    cpu0 = server.CpuMs();
    const double start = MonotonicMs();
    const std::vector<double> arrivals = ReadFor(c, options.seconds, &bad);
    const double reading = (server.CpuMs() - cpu0) / ((MonotonicMs() - start) / 100);

    const std::vector<double> latency = Latencies(arrivals, ResultTimes(sim.Log()));
    t.Add("server CPU, idle", Format("%.3f %% of one core", idle));
    t.Add(
        "server CPU, READ? at 10 results/s",
        Format("%.3f %% of one core (%zu readings, %zu not valid)", reading, arrivals.size(), bad));
    const double p99 = Quantile(latency, 0.99);
    t.Add("result's last byte to READ? reply, median", Ms(Quantile(latency, 0.5)));
    t.Add("result's last byte to READ? reply, p99", Ms(p99), "at most 5 ms",
          !latency.empty() && p99 <= kReadTargetMs);
    t.Add("result's last byte to READ? reply, p90 and max",
          Ms(Quantile(latency, 0.9)) + ", " + Ms(Quantile(latency, 1)));
  }

  // At the fastest rate: round trips, lxi-tools, idle connections.
  {
    test::SimProcess sim({"--rate", "100", "--signal-khz", "1000"});
    if (!sim.Ready()) return Fail("kolvane-sim did not start (" KOLVANE_SIM_PATH ")");
    ServerProcess server(kIdleConnections + 8);
    if (!server.Ready()) return Fail("kolvane-scpi did not answer (" KOLVANE_SCPI_PATH ")");
    Client c(server.Port());
    c.Query("FREQ:GATE:TIME 0.001;*OPC?");

    std::vector<double> idn;
    for (int i = 0; i < options.idnQueries; ++i) {
      const double t0 = MonotonicMs();
      if (c.Query("*IDN?").empty()) return Fail("*IDN? got no reply");
      idn.push_back(MonotonicMs() - t0);
    }
    const double idnP99 = Quantile(idn, 0.99);
    t.Add("*IDN? round trip, median", Ms(Quantile(idn, 0.5)));
    t.Add("*IDN? round trip, p99", Ms(idnP99), "at most 1 ms", idnP99 <= kIdnTargetMs);

    const std::string lxi =
        "lxi benchmark -a 127.0.0.1 -r -c 1000 -p " + std::to_string(server.Port()) + " 2>&1";
    std::string lxiOut;
    if (FILE* p = popen(lxi.c_str(), "r")) {
      char b[4096];
      while (std::fgets(b, sizeof b, p) != nullptr) lxiOut += b;
      pclose(p);
    }
    const std::size_t at = lxiOut.find("Result: ");
    t.Add("lxi benchmark -r -c 1000", at == std::string::npos
                                          ? "lxi failed or missing"
                                          : lxiOut.substr(at + 8, lxiOut.find('\n', at) - at - 8));

    std::size_t bad = 0;
    const long rss0 = server.RssKb();
    const std::size_t alone = ReadFor(c, options.seconds, &bad).size();
    const long rss1 = server.RssKb();
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < kIdleConnections; ++i) {
      idle.push_back(std::make_unique<Client>(server.Port()));
      // Answered: accepted, with its session.
      if (!idle.back()->Ok() || idle.back()->Query("*IDN?").empty()) {
        return Fail("an idle connection was refused");
      }
    }
    const long rss2 = server.RssKb();
    const std::size_t crowded = ReadFor(c, options.seconds, &bad).size();
    const long rss3 = server.RssKb();
    const double aloneRate = static_cast<double>(alone) / options.seconds;
    const double crowdedRate = static_cast<double>(crowded) / options.seconds;
    t.Add("READ? at full rate, alone", Format("%.1f readings/s", aloneRate));
    t.Add("READ? at full rate, 100 idle connections", Format("%.1f readings/s", crowdedRate),
          "no slowdown", crowdedRate >= 0.95 * aloneRate);
    t.Add("server memory while reading, alone", Format("%ld -> %ld kB", rss0, rss1));
    t.Add("server memory while reading, 100 idle", Format("%ld -> %ld kB", rss2, rss3), "no growth",
          rss3 <= rss2 + 64);
    t.Add("readings not valid", Format("%zu", bad));
  }

  // HTTP: 8 keep-alive clients at once, each asking for / and /metrics in
  // turn, while the server polls the instrument at 100 results/s.
  {
    test::SimProcess sim({"--rate", "100", "--signal-khz", "1000"});
    if (!sim.Ready()) return Fail("kolvane-sim did not start (" KOLVANE_SIM_PATH ")");
    ServerProcess server(kHttpClients + 8);
    if (!server.Ready()) return Fail("kolvane-scpi did not answer (" KOLVANE_SCPI_PATH ")");
    Client c(server.Port());
    c.Query("FREQ:GATE:TIME 0.001;*OPC?");
    std::vector<std::vector<double>> page(kHttpClients), metrics(kHttpClients);
    std::vector<std::size_t> failed(kHttpClients, 0);
    std::vector<std::thread> threads;
    for (int k = 0; k < kHttpClients; ++k) {
      threads.emplace_back([&, k] {
        HttpClient h(server.HttpPort());
        const double end = MonotonicMs() + options.seconds * 1e3;
        for (int i = 0; MonotonicMs() < end; ++i) {
          const bool root = i % 2 == 0;
          const double t0 = MonotonicMs();
          const int status = h.Get(root ? "/" : "/metrics");
          const double ms = MonotonicMs() - t0;
          if (status != 200) {
            ++failed[k];
            if (status == 0) break;
            continue;
          }
          (root ? page : metrics)[k].push_back(ms);
        }
      });
    }
    for (auto& th : threads) th.join();
    std::vector<double> pageAll, metricsAll;
    std::size_t bad = 0;
    for (int k = 0; k < kHttpClients; ++k) {
      pageAll.insert(pageAll.end(), page[k].begin(), page[k].end());
      metricsAll.insert(metricsAll.end(), metrics[k].begin(), metrics[k].end());
      bad += failed[k];
    }
    const double pageP99 = Quantile(pageAll, 0.99);
    const double metricsP99 = Quantile(metricsAll, 0.99);
    t.Add("HTTP / with 8 clients, median",
          Ms(Quantile(pageAll, 0.5)) + Format(" (%zu requests)", pageAll.size()));
    t.Add("HTTP / with 8 clients, p99", Ms(pageP99), "at most 5 ms",
          !pageAll.empty() && pageP99 <= kHttpTargetMs);
    t.Add("HTTP /metrics with 8 clients, median",
          Ms(Quantile(metricsAll, 0.5)) + Format(" (%zu requests)", metricsAll.size()));
    t.Add("HTTP /metrics with 8 clients, p99", Ms(metricsP99), "at most 5 ms",
          !metricsAll.empty() && metricsP99 <= kHttpTargetMs);
    t.Add("HTTP requests not answered 200", Format("%zu", bad));
  }
  AddVxi11(options, t);

  std::printf("kolvane-bench scpi: kolvane-scpi against kolvane-sim on 127.0.0.1\n");
  std::printf("  load average before %s, after %s\n", loadBefore.c_str(), LoadAverage().c_str());
  t.Print();
  return 0;
}

}  // namespace kolvane::bench
