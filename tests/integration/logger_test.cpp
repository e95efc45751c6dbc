// kolvane-log as a process against the simulator: rows, frames, signals,
// a missing instrument and a line that drops mid-run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/sim_process.h"

namespace kolvane::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class Logger {
 public:
  explicit Logger(const std::string& dir, std::vector<std::string> args) : dir_(dir) {
    args.insert(args.begin(), KOLVANE_LOG_PATH);
    args.push_back("--csv");
    args.push_back(Csv());
    pid_ = fork();
    if (pid_ == 0) {
      const int err = open(Err().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err, 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  std::string Csv() const { return dir_ + "/rows.csv"; }
  std::string Err() const { return dir_ + "/stderr.txt"; }
  bool WaitForRows(std::size_t n, int timeoutMs = 5000) const {
    for (int t = 0; t < timeoutMs; t += 20) {
      if (Lines(Slurp(Csv())) >= n + 1) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  void Signal(int s) const { kill(pid_, s); }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
};

// The frames the simulator received, in order.
std::vector<std::string> Received(const SimProcess& sim) {
  std::vector<std::string> frames;
  for (const auto& line : sim.Log()) {
    if (line.rfind("RX ", 0) == 0) frames.push_back(line.substr(line.find(' ', 3) + 1));
  }
  return frames;
}

TEST(LoggerProcess, RecordsTheRowsAskedForWithTheSettingsFrames) {
  SimProcess sim({}, 2);
  ASSERT_TRUE(sim.Ready());
  Logger log(sim.Dir(), {"--port", "2", "--gate", "100ms", "--count", "5", "--summary",
                         sim.Dir() + "/summary.json"});
  EXPECT_EQ(log.Wait(), 0) << Slurp(log.Err());
  const std::string csv = Slurp(log.Csv());
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "time,elapsed_s,mode,value,unit,status");
  EXPECT_EQ(Lines(csv), 6u);
  EXPECT_NE(csv.find(",f,"), std::string::npos);
  EXPECT_NE(Slurp(sim.Dir() + "/summary.json").find("\"readings\": 5"), std::string::npos);
  const auto frames = Received(sim);
  ASSERT_GE(frames.size(), 4u);
  EXPECT_EQ(frames[0], "B\\x0D");
  EXPECT_EQ(frames[1], "D1\\x0D");
  // After the readback (tried again if a result spoilt it), the gate.
  EXPECT_EQ(frames[frames.size() - 2], "T3\\x0D");
  EXPECT_EQ(frames.back(), "J\\x0D");
}

TEST(LoggerProcess, StopSignalsEndTheRunWithTheClosingFrameOnce) {
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    Logger log(sim.Dir(), {"--quiet"});
    ASSERT_TRUE(log.WaitForRows(2)) << Slurp(log.Err());
    log.Signal(s);
    EXPECT_EQ(log.Wait(), 0) << s << Slurp(log.Err());
    const auto frames = Received(sim);
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "J\\x0D"), 1) << s;
    EXPECT_EQ(frames.back(), "J\\x0D") << s;
  }
}

TEST(LoggerProcess, NoInstrumentListsThePortTried) {
  SimProcess sim({}, 2);
  ASSERT_TRUE(sim.Ready());
  Logger log(sim.Dir(), {"--port", "5"});
  EXPECT_EQ(log.Wait(), 3);
  EXPECT_NE(Slurp(log.Err()).find("COM5: missing"), std::string::npos) << Slurp(log.Err());
}

TEST(LoggerProcess, ADroppedLineEndsWithStatusFourKeepingTheRows) {
  const std::string fifo = "/tmp/kolvane-log-test-" + std::to_string(getpid()) + ".fifo";
  SimProcess sim({"--control", fifo});
  ASSERT_TRUE(sim.Ready());
  Logger log(sim.Dir(), {"--quiet"});
  ASSERT_TRUE(log.WaitForRows(3));
  std::ofstream(fifo) << "drop\n";
  EXPECT_EQ(log.Wait(), 4) << Slurp(log.Err());
  EXPECT_GE(Lines(Slurp(log.Csv())), 4u);
  unlink(fifo.c_str());
}

}  // namespace
}  // namespace kolvane::test
