#include "bench/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kolvane::bench {

double MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double CpuMs(const rusage& r) {
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return ms(r.ru_utime) + ms(r.ru_stime);
}

double KernelMs(const rusage& r) {
  return static_cast<double>(r.ru_stime.tv_sec) * 1e3 +
         static_cast<double>(r.ru_stime.tv_usec) / 1e3;
}

rusage SelfUsage() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return r;
}

std::string LoadAverage() {
  double load[3];
  if (getloadavg(load, 3) != 3) return "unknown";
  return Format("%.2f %.2f %.2f", load[0], load[1], load[2]);
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "kolvane-bench: %s\n", why.c_str());
  return 1;
}

std::string Format(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

void Table::Add(std::string figure, std::string measured) {
  rows_.push_back({std::move(figure), std::move(measured), "", ""});
}

void Table::Add(std::string figure, std::string measured, std::string target, bool met) {
  rows_.push_back(
      {std::move(figure), std::move(measured), std::move(target), met ? "PASS" : "over"});
}

void Table::Print() const {
  Row width{"figure", "measured", "target", ""};
  std::size_t w[3] = {width.figure.size(), width.measured.size(), width.target.size()};
  for (const Row& r : rows_) {
    w[0] = std::max(w[0], r.figure.size());
    w[1] = std::max(w[1], r.measured.size());
    w[2] = std::max(w[2], r.target.size());
  }
  const auto line = [&](const Row& r) {
    std::printf("  %-*s  %-*s  %-*s  %s\n", static_cast<int>(w[0]), r.figure.c_str(),
                static_cast<int>(w[1]), r.measured.c_str(), static_cast<int>(w[2]),
                r.target.c_str(), r.verdict.c_str());
  };
  line(width);
  for (const Row& r : rows_) line(r);
}

}  // namespace kolvane::bench
