#include "bench/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace kolvane::bench {

int ConnectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

Client::Client(int port) : fd_(ConnectLoopback(port)) {}

Client::~Client() {
  if (fd_ >= 0) close(fd_);
}

std::string Client::Query(const std::string& line) {
  Send(line);
  std::string reply;
  for (;;) {
    const std::size_t lf = buffer_.find('\n');
    if (lf != std::string::npos) {
      reply = buffer_.substr(0, lf);
      buffer_.erase(0, lf + 1);
      return reply;
    }
    char b[4096];
    const ssize_t n = read(fd_, b, sizeof b);
    if (n <= 0) return {};
    buffer_.append(b, static_cast<std::size_t>(n));
  }
}

void Client::Send(const std::string& line) {
  const std::string out = line + "\n";
  if (write(fd_, out.data(), out.size()) != static_cast<ssize_t>(out.size())) buffer_.clear();
}

ServerProcess::ServerProcess(int maxClients, bool vxi11)
    : port_(FreePort()), httpPort_(FreePort()) {
  const std::string listen = "127.0.0.1:" + std::to_string(port_);
  const std::string http = "127.0.0.1:" + std::to_string(httpPort_);
  const std::string max = std::to_string(maxClients);
  pid_ = fork();
  if (pid_ == 0) {
    const char* noVxi11 = vxi11 ? nullptr : "--no-vxi11";
    execl(KOLVANE_SCPI_PATH, KOLVANE_SCPI_PATH, "--port", "1", "--listen", listen.c_str(), "--http",
          http.c_str(), "--max-clients", max.c_str(), "--quiet", noVxi11,
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200 && !ready_; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Client probe(port_);
    ready_ = probe.Ok() && probe.Query("*IDN?").rfind("Kolvane,", 0) == 0;
  }
}

ServerProcess::~ServerProcess() {
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

double ServerProcess::CpuMs() const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string f;
  double utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {
    if (i == 14) utime = std::stod(f);
    if (i == 15) stime = std::stod(f);
  }
  return (utime + stime) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ServerProcess::RssKb() const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

std::vector<SimResult> SimResults(const std::vector<std::string>& log) {
  std::vector<SimResult> results;
  for (const std::string& line : log) {
    std::istringstream in(line);
    std::string kind, first;
    double ms = 0;
    if (!(in >> kind >> ms >> first) || kind != "TX" || first != "47") continue;
    SimResult r{ms, 0};
    std::string hex;
    for (int i = 0; i < 4 && in >> hex; ++i) {
      r.n1 = (r.n1 << 8) | static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
    }
    results.push_back(r);
  }
  return results;
}

}  // namespace kolvane::bench
