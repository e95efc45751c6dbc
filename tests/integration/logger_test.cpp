// kolvane-log as a process against the simulator: rows, frames, signals,
// a missing instrument and a line that drops mid-run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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

// The first count of each result the simulator wrote after its reply (first
// byte `reply`, in hex) to the frame `after`, the last one sent; and what
// each row shows times `scale`: for frequency, the row in kHz times the gate
// in ms is that count.
struct Matched {
  std::vector<long> sent, rows;
};
Matched Match(const SimProcess& sim, const std::string& csv, const std::string& after,
              const std::string& reply, double scale) {
  Matched m;
  bool seen = false, replied = false;
  for (const auto& line : sim.Log()) {
    std::istringstream in(line);
    std::string kind, ms, first;
    in >> kind >> ms >> first;
    if (kind == "RX") {
      seen = line.find(' ' + after) != std::string::npos;
      if (seen) m.sent.clear(), replied = false;
    } else if (kind == "TX" && seen && !replied && first == reply) {
      replied = true;  // the reply to `after`
    } else if (kind == "TX" && replied && first == "47") {
      long n1 = 0;
      for (int i = 0; i < 4; ++i) {
        std::string b;
        in >> b;
        n1 = n1 * 256 + std::stol(b, nullptr, 16);
      }
      m.sent.push_back(n1);
    }
  }
  std::istringstream rows(csv);
  std::string row;
  std::getline(rows, row);
  while (std::getline(rows, row)) {
    const auto value = row.substr(0, row.rfind(",kHz,ok")).substr(row.find(",f,") + 3);
    m.rows.push_back(std::lround(std::stod(value) * scale));
  }
  return m;
}

// A result that begins after the readback is row 1: none is swallowed while
// waiting for a quiet line, and none is cut into.
TEST(LoggerProcess, WithoutSettingsTheFirstResultAfterTheReadbackIsRowOne) {
  SimProcess sim({"--rate", "40", "--signal-khz", "1000", "--noise-khz", "0.5"}, 2);
  ASSERT_TRUE(sim.Ready());
  Logger log(sim.Dir(), {"--port", "2", "--count", "8", "--quiet"});
  ASSERT_EQ(log.Wait(), 0) << Slurp(log.Err());
  const auto frames = Received(sim);
  // "B", the readback (again if a result spoilt it) and "J": no setting.
  EXPECT_EQ(static_cast<std::size_t>(std::count(frames.begin(), frames.end(), "D1\\x0D")) + 2,
            frames.size());
  // The simulator's default gate is 0.1 s: 100 counts per kHz.
  const Matched m = Match(sim, Slurp(log.Csv()), "D1", "43", 100);
  ASSERT_EQ(m.rows.size(), 8u);
  ASSERT_GE(m.sent.size(), 8u);
  EXPECT_EQ(m.rows, std::vector<long>(m.sent.begin(), m.sent.begin() + 8));
}

// The gate's acknowledgement comes 5 ms before the next result, inside the
// acknowledgement read's wait for its second byte: every result after the
// acknowledgement still becomes a row, in order, with nothing misframed.
TEST(LoggerProcess, AGateSetWhileResultsFlowLosesNoWholeResult) {
  SimProcess sim({"--rate", "200", "--signal-khz", "1000", "--noise-khz", "0.5"}, 2);
  ASSERT_TRUE(sim.Ready());
  Logger log(sim.Dir(), {"--port", "2", "--gate", "10ms", "--count", "60", "--quiet"});
  ASSERT_EQ(log.Wait(), 0) << Slurp(log.Err());
  const Matched m = Match(sim, Slurp(log.Csv()), "T2", "0D", 10);
  ASSERT_EQ(m.rows.size(), 60u);
  ASSERT_GE(m.sent.size(), 60u);
  EXPECT_EQ(m.rows, std::vector<long>(m.sent.begin(), m.sent.begin() + 60));
}

// The end of a run and --analyze of its CSV are one analysis: the same JSON.
TEST(LoggerProcess, ARunsAnalysisIsThatOfItsCsv) {
  SimProcess sim({"--signal-khz", "10000", "--noise-khz", "0.0005"}, 2);
  ASSERT_TRUE(sim.Ready());
  const std::string run = sim.Dir() + "/run.json", again = sim.Dir() + "/again.json";
  Logger log(sim.Dir(), {"--port", "2", "--count", "40", "--quiet", "--deviations", "all",
                         "--remove-drift", "--summary", run});
  ASSERT_EQ(log.Wait(), 0) << Slurp(log.Err());
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    execl(KOLVANE_LOG_PATH, KOLVANE_LOG_PATH, "--analyze", log.Csv().c_str(), "--deviations", "all",
          "--remove-drift", "--summary", again.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(Slurp(run).find("\"totdev\": [\n      {\"tau_s\": 0.1,"), std::string::npos)
      << Slurp(run);
  EXPECT_EQ(Slurp(run), Slurp(again));
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
