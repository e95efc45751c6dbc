// What every mode of kolvane-bench prints: a table of figures beside their
// targets, headed by the machine's load, which the figures depend on.
#pragma once

#include <sys/resource.h>

#include <string>
#include <vector>

namespace kolvane::bench {

// CLOCK_MONOTONIC in ms, the clock of the simulator's log.
double MonotonicMs();
// CPU time (user and system) in milliseconds.
double CpuMs(const rusage& r);
// The part of it spent in the kernel.
double KernelMs(const rusage& r);
rusage SelfUsage();
// "1.52 1.80 2.01" (1, 5 and 15 minutes), or "unknown".
std::string LoadAverage();
// Says why the run failed, on standard error; returns 1, the exit status.
int Fail(const std::string& why);
// printf into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

class Table {
 public:
  // A figure with no target.
  void Add(std::string figure, std::string measured);
  // A figure beside its target and whether it meets it.
  void Add(std::string figure, std::string measured, std::string target, bool met);
  void Print() const;

 private:
  struct Row {
    std::string figure, measured, target, verdict;
  };
  std::vector<Row> rows_;
};

}  // namespace kolvane::bench
