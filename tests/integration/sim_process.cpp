#include "tests/integration/sim_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace kolvane::test {

SimProcess::SimProcess(std::vector<std::string> extra, int port) {
  char tmpl[] = "/tmp/kolvane-it-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return;
  dir_ = tmpl;
  setenv("KOLVANE_PORTS", dir_.c_str(), 1);

  std::vector<std::string> args = {
      KOLVANE_SIM_PATH, "--dir", dir_, "--port", std::to_string(port), "--log", dir_ + "/sim.log"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // "ready <pty>" on one line, within a few seconds.
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 5000) > 0) {
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  if (line.rfind("ready ", 0) == 0 && line.back() == '\n') {
    ptyPath_ = line.substr(6, line.size() - 7);
  }
}

SimProcess::~SimProcess() {
  Stop();
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

int SimProcess::Stop(int signo) {
  if (pid_ <= 0) return -1;
  kill(pid_, signo);
  int status = 0;
  const pid_t r = waitpid(pid_, &status, 0);
  pid_ = -1;
  return r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> SimProcess::Log() const {
  std::vector<std::string> lines;
  std::ifstream in(dir_ + "/sim.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool SimProcess::WaitForLog(const std::string& text, int timeoutMs) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    for (const std::string& line : Log()) {
      if (line.find(text) != std::string::npos) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

}  // namespace kolvane::test
