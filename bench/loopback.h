// What the modes that run kolvane-scpi share: the clock of the simulator's
// log, kolvane-scpi as a child process on free loopback ports, a blocking
// line client, and the results the simulator wrote.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kolvane::bench {

double Quantile(std::vector<double> v, double q);
int FreePort();
// A TCP connection to 127.0.0.1 with Nagle off; -1 when refused.
int ConnectLoopback(int port);

// A blocking client on 127.0.0.1.
class Client {
 public:
  explicit Client(int port);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  bool Ok() const { return fd_ >= 0; }
  // Sends the line and waits for one reply line; empty on failure.
  std::string Query(const std::string& line);
  void Send(const std::string& line);

 private:
  int fd_ = -1;
  std::string buffer_;
};

// kolvane-scpi as a child process on a free port; VXI-11 only when asked,
// as its portmapper takes port 111.
class ServerProcess {
 public:
  explicit ServerProcess(int maxClients, bool vxi11 = false);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  bool Ready() const { return ready_; }
  int Port() const { return port_; }
  int HttpPort() const { return httpPort_; }
  // User and system CPU time so far, in ms.
  double CpuMs() const;
  // Resident memory in kB.
  long RssKb() const;

 private:
  int port_;
  int httpPort_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

// A result as the simulator wrote it: when its last byte had gone, and its
// first count.
struct SimResult {
  double ms = 0;
  std::uint32_t n1 = 0;
};
// From the simulator's "TX <ms> <hex bytes>" lines: 'G' and its counts.
std::vector<SimResult> SimResults(const std::vector<std::string>& log);

}  // namespace kolvane::bench
