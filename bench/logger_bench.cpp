// The logger mode: kolvane-log against kolvane-sim at the fastest rate the
// line carries, gate 1 ms. Every result the simulator writes while the logger
// records must become a row; the logger's CPU time per row comes from the
// kernel's account of the child.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/modes.h"
#include "bench/report.h"
#include "tests/integration/sim_process.h"

namespace kolvane::bench {

namespace {

// Frequency on channel A in automatic launch, gate 10^-3 s.
constexpr const char* kInstrumentState = "0,1,0,0,1,0,0,0,1,1,0,1,64,128,0";
// Time for the logger to read what is still on the line once the results stop.
constexpr int kDrainMs = 500;

// From the simulator's log: the results written from the acknowledgement of
// the logger's gate frame (after which it records) to the moment the
// simulator fell silent, and the time they span.
struct SentResults {
  std::size_t results = 0;
  std::size_t lost = 0;  // the simulator could not write them to the line
  double firstMs = 0, lastMs = 0;
  bool recordingSeen = false;
};

SentResults CountSent(const std::vector<std::string>& log) {
  SentResults s;
  bool afterGate = false;
  for (const std::string& line : log) {
    std::istringstream in(line);
    std::string kind, first;
    double ms = 0;
    if (!(in >> kind >> ms)) continue;
    in >> first;
    if (kind == "RX") {
      afterGate = first.rfind("T1", 0) == 0;
      if (afterGate) s = {};
      continue;
    }
    if (kind == "CTL") break;
    if (afterGate && kind == "TX" && first == "0D") {
      // The gate frame's acknowledgement: recording starts.
      afterGate = false;
      s.recordingSeen = true;
      continue;
    }
    if (!s.recordingSeen) continue;
    if (kind == "LOST") ++s.lost;
    if (kind == "TX" && first == "47") {
      if (s.results == 0) s.firstMs = ms;
      s.lastMs = ms;
      ++s.results;
    }
  }
  return s;
}

struct Rows {
  std::size_t rows = 0, ok = 0;
};

Rows CountRows(const std::string& csvPath) {
  Rows r;
  std::ifstream in(csvPath);
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    ++r.rows;
    if (line.size() >= 3 && line.compare(line.size() - 3, 3, ",ok") == 0) ++r.ok;
  }
  return r;
}

}  // namespace

int RunLogger(const LoggerOptions& options) {
  char tmpl[] = "/tmp/kolvane-bench-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return Fail("cannot make a directory in /tmp");
  const std::string dir = tmpl;
  const std::string csvPath = dir + "/readings.csv";
  const std::string errPath = dir + "/kolvane-log.err";
  const std::string control = dir + "/control";
  struct Cleanup {
    std::string dir;
    ~Cleanup() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } cleanup{dir};

  const std::string loadBefore = LoadAverage();
  test::SimProcess sim({"--rate", Format("%g", options.rate), "--state", kInstrumentState, "--seed",
                        "1", "--signal-khz", "1000", "--noise-khz", "0.5", "--control", control});
  if (!sim.Ready()) return Fail("kolvane-sim did not start (" KOLVANE_SIM_PATH ")");

  const pid_t pid = fork();
  if (pid == 0) {
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) dup2(err, STDERR_FILENO);
    execl(KOLVANE_LOG_PATH, KOLVANE_LOG_PATH, "--gate", "1ms", "--csv", csvPath.c_str(), "--quiet",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return Fail("cannot start kolvane-log");

  // Recording starts once the gate frame is acknowledged.
  const bool started = sim.WaitForLog("T1", 10000);
  if (started) std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
  // The results stop; the logger reads what is on the line, then is told to stop.
  {
    std::ofstream fifo(control);
    fifo << "silent\n";
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kDrainMs));
  kill(pid, SIGINT);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const std::string loadAfter = LoadAverage();

  if (!started || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::ifstream err(errPath);
    std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(err), {}).c_str());
    return Fail(started ? "kolvane-log did not end with status 0"
                        : "kolvane-log never set the gate (no \"T1\" in the simulator's log)");
  }

  const SentResults sent = CountSent(sim.Log());
  sim.Stop();
  const Rows rows = CountRows(csvPath);
  const double spanS = (sent.lastMs - sent.firstMs) / 1e3;
  const double rate = spanS > 0 ? static_cast<double>(sent.results - 1) / spanS : 0;
  const double cpuMs = CpuMs(usage);
  const long lost = static_cast<long>(sent.results) - static_cast<long>(rows.rows);

  std::printf(
      "kolvane-bench logger: kolvane-log --gate 1ms against kolvane-sim --rate %g for %.0f s\n",
      options.rate, options.seconds);
  std::printf("  load average before %s, after %s\n", loadBefore.c_str(), loadAfter.c_str());
  Table t;
  t.Add("results written by the simulator", Format("%zu (%.1f per second)", sent.results, rate));
  t.Add("results the simulator could not write", Format("%zu", sent.lost), "0", sent.lost == 0);
  t.Add("rows written by kolvane-log", Format("%zu (%zu ok)", rows.rows, rows.ok));
  t.Add("results without a row", Format("%ld", lost), "0", lost == 0);
  t.Add("CPU time of kolvane-log, start-up included",
        Format("%.1f ms (%.2f %% of one core)", cpuMs,
               100.0 * cpuMs / (options.seconds * 1e3 + kDrainMs)));
  t.Add("CPU time per reading",
        Format("%.1f us", rows.rows > 0 ? cpuMs * 1e3 / static_cast<double>(rows.rows) : 0.0));
  t.Add("peak resident memory of kolvane-log",
        Format("%.1f MB", static_cast<double>(usage.ru_maxrss) * 1024.0 / 1e6));
  t.Print();
  return 0;
}

}  // namespace kolvane::bench
