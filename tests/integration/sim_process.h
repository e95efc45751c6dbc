// kolvane-sim as a child process on a pseudo-terminal in a fresh directory,
// which becomes KOLVANE_PORTS for the test.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

namespace kolvane::test {

class SimProcess {
 public:
  // Starts the simulator as DIR/comN with the extra options and waits until
  // it is ready. Points KOLVANE_PORTS at DIR.
  explicit SimProcess(std::vector<std::string> extra = {}, int port = 1);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Ready() const { return pid_ > 0 && !ptyPath_.empty(); }
  const std::string& Dir() const { return dir_; }
  const std::string& PtyPath() const { return ptyPath_; }
  // The lines of the event log so far.
  std::vector<std::string> Log() const;
  // Waits up to timeoutMs for a log line that contains `text`.
  bool WaitForLog(const std::string& text, int timeoutMs = 2000) const;
  // Stops the simulator with the signal and returns its exit status, or -1
  // when it did not exit by itself.
  int Stop(int signo = SIGTERM);

 private:
  std::string dir_;
  std::string ptyPath_;
  pid_t pid_ = -1;
};

}  // namespace kolvane::test
