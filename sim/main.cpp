// kolvane-sim: the instrument model behind a pseudo-terminal, published as
// DIR/comN so that the panel finds it through KOLVANE_PORTS.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "sim/instrument.h"
#include "version.h"

namespace {

using kolvane::sim::Bytes;
using kolvane::sim::Instrument;
using kolvane::sim::InstrumentOptions;

volatile sig_atomic_t stopRequested = 0;
void OnStopSignal(int) {
  stopRequested = 1;
}

double MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Args {
  std::string dir;
  int port = 1;
  std::string log;
  std::string control;
  std::vector<std::string> faults;
  InstrumentOptions model;
  bool running = false;
  bool help = false;
  bool version = false;
};

// A whole number from lo to hi into *out.
kolvane::cli::Take Int(long lo, long hi, std::function<void(long)> set) {
  return [lo, hi, set](const std::string& value, std::string* accepted) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(value.c_str(), &end, 10);
    *accepted = std::to_string(lo) + " to " + std::to_string(hi);
    if (errno != 0 || end == value.c_str() || *end != '\0' || v < lo || v > hi) return false;
    set(v);
    return true;
  };
}

// A finite number that `fits`, handed to `set`.
kolvane::cli::Take Number(const char* accepted, bool (*fits)(double),
                          std::function<void(double)> set) {
  return [accepted, fits, set](const std::string& value, std::string* what) {
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    *what = accepted;
    if (end == value.c_str() || *end != '\0' || !std::isfinite(v) || !fits(v)) return false;
    set(v);
    return true;
  };
}

void Define(kolvane::cli::CommandLine& line, Args* a) {
  CLI::App& app = line.App();
  app.description(
      "Plays the frequency counter on a pseudo-terminal linked as DIR/comN, prints\n"
      "\"ready <pty path>\" when it is, and runs until SIGTERM or SIGINT, which remove\n"
      "the link and end it with status 0 (1: it could not start, 2: bad usage).");
  app.footer(Instrument::FaultHelp());
  const auto text = [](std::string* out) {
    return [out](const std::string& value, std::string*) {
      *out = value;
      return true;
    };
  };
  line.Value("--dir", "DIR", "directory for the port link (created if missing)", text(&a->dir));
  line.Value("--port", "N", "port number, the link is DIR/comN (default 1)",
             Int(1, 255, [a](long n) { a->port = static_cast<int>(n); }));
  line.Value("--serial", "CODE", "serial-number byte sent after \"N\" (default 5)",
             Int(0, 255, [a](long n) { a->model.serial = static_cast<std::uint8_t>(n); }));
  line.Value("--rate", "R", "results per second in automatic launch (default 10; 0 none)",
             Number(
                 "0 to 1000", [](double r) { return r >= 0 && r <= 1000; },
                 [a](double r) { a->model.rate = r; }));
  line.Value("--state", "LIST", "initial panel state, 15 numbers b0,...,b14",
             [a](const std::string& value, std::string* accepted) {
               const auto s = kolvane::sim::ParseState(value);
               *accepted = "15 numbers b0,...,b14 separated by commas";
               if (s) a->model.state = *s;
               return s.has_value();
             });
  line.Value("--seed", "N", "seed of the input jitter and noise (default 1)",
             Int(0, 0x7FFFFFFF, [a](long n) { a->model.seed = static_cast<std::uint32_t>(n); }));
  line.Flag("--running", &a->running,
            "measuring from the start, without a handshake, as an\n"
            "instrument whose bridge was pulled and plugged back in");
  auto& s = a->model.signal;
  line.Value("--signal-khz", "F",
             "every channel's input becomes a settable F kHz signal\n"
             "(the ratio mode and the test function keep their own)",
             Number(
                 "above 0 and up to 1e6", [](double f) { return f > 0 && f <= 1e6; },
                 [&s](double f) { s.hz = f * 1e3; }));
  line.Value(
      "--noise-khz", "S",
      "white frequency noise of the settable signal: standard\n"
      "deviation S kHz, drawn anew for each result (default 0)",
      Number(
          "0 or more", [](double f) { return f >= 0; }, [&s](double f) { s.noiseHz = f * 1e3; }));
  line.Value(
      "--drift-khz-per-s", "D",
      "drift of the settable signal, D kHz per second from the\n"
      "first result (default 0; may be negative)",
      Number(
          "a number", [](double) { return true; }, [&s](double f) { s.driftHzPerS = f * 1e3; }));
  line.Value("--log", "FILE",
             "append \"RX <ms> <frame>\" per frame received and\n"
             "\"TX <ms> <hex bytes>\" after each reply or result is written;\n"
             "<ms> is CLOCK_MONOTONIC in ms with microsecond decimals",
             text(&a->log));
  line.Value("--fault", "WORD", "inject a fault (repeatable; words below)",
             [a](const std::string& value, std::string*) {
               a->faults.push_back(value);
               return true;
             });
  line.Value("--control", "FIFO", "read fault words at run time, one per line (created if missing)",
             text(&a->control));
  line.Flag("-h,--help", &a->help, "this text");
  line.Flag("--version", &a->version, "the program's name and version");
}

// Returns 0 to go on, otherwise the exit status (-1: help or version shown).
int ParseArgs(int argc, char** argv, Args* a) {
  kolvane::cli::CommandLine line("kolvane-sim", 20);
  Define(line, a);
  const std::string error = line.Parse(std::vector<std::string>(argv + 1, argv + argc));
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  if (a->help) {
    std::fputs(line.Help().c_str(), stdout);
    return -1;
  }
  if (a->version) {
    std::puts("kolvane-sim " KOLVANE_VERSION);
    return -1;
  }
  const auto& s = a->model.signal;
  if (s.hz == 0 && (s.noiseHz != 0 || s.driftHzPerS != 0)) {
    std::fprintf(stderr, "kolvane-sim: --noise-khz and --drift-khz-per-s need --signal-khz\n");
    return 2;
  }
  if (a->dir.empty()) {
    std::fprintf(stderr, "kolvane-sim: --dir is required (see --help)\n");
    return 2;
  }
  return 0;
}

class EventLog {
 public:
  bool Open(const std::string& path) {
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
  }
  ~EventLog() {
    if (file_ != nullptr) std::fclose(file_);
  }
  void Line(const char* kind, double ms, const std::string& text) {
    if (file_ == nullptr) return;
    std::fprintf(file_, "%s %.3f %s\n", kind, ms, text.c_str());
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

std::string Hex(const Bytes& bytes) {
  std::string out;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

// Writes all of `bytes` to the non-blocking master; false when the line is
// gone or stays full for a second (nobody reads the port).
bool WriteAll(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  const double giveUp = MonotonicMs() + 1000;
  while (done < bytes.size()) {
    const ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (MonotonicMs() > giveUp) return false;
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, 10);
  }
  return true;
}

struct Pty {
  int master = -1;
  int slave = -1;  // held so that the line stays up between the panel's opens
  std::string path;
};

bool OpenPty(Pty* pty) {
  pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty->master < 0 || grantpt(pty->master) != 0 || unlockpt(pty->master) != 0) return false;
  const char* name = ptsname(pty->master);
  if (name == nullptr) return false;
  pty->path = name;
  pty->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty->slave < 0) return false;
  termios tio{};
  if (tcgetattr(pty->slave, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&tio, B19200);
  cfsetospeed(&tio, B19200);
  return tcsetattr(pty->slave, TCSANOW, &tio) == 0;
}

// Points DIR/comN at the pty, replacing a stale link.
bool Publish(const std::string& dir, const std::string& link, const std::string& target) {
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  const std::string tmp = link + ".new";
  unlink(tmp.c_str());
  if (symlink(target.c_str(), tmp.c_str()) != 0) return false;
  return rename(tmp.c_str(), link.c_str()) == 0;
}

// Removes the link only while it is still ours.
void Unpublish(const std::string& link, const std::string& target) {
  char buf[4096];
  const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) unlink(link.c_str());
}

class ControlFifo {
 public:
  bool Open(const std::string& path) {
    if (path.empty()) return true;
    if (mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) return false;
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // Our own writer keeps the FIFO from reporting end of file between clients.
    keep_ = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return fd_ >= 0;
  }
  ~ControlFifo() {
    if (fd_ >= 0) close(fd_);
    if (keep_ >= 0) close(keep_);
  }
  int Fd() const { return fd_; }
  // Complete lines read so far.
  std::vector<std::string> Lines() {
    char buf[512];
    ssize_t n;
    while ((n = read(fd_, buf, sizeof buf)) > 0) pending_.append(buf, static_cast<std::size_t>(n));
    std::vector<std::string> lines;
    std::size_t at;
    while ((at = pending_.find('\n')) != std::string::npos) {
      std::string line = pending_.substr(0, at);
      pending_.erase(0, at + 1);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }

 private:
  int fd_ = -1;
  int keep_ = -1;
  std::string pending_;
};

int Run(const Args& args) {
  Instrument model(args.model);
  for (const std::string& word : args.faults) {
    std::string error;
    if (!model.ApplyWord(word, &error)) {
      std::fprintf(stderr, "kolvane-sim: %s (see --help)\n", error.c_str());
      return 2;
    }
  }
  EventLog log;
  if (!log.Open(args.log)) {
    std::fprintf(stderr, "kolvane-sim: cannot open log %s: %s\n", args.log.c_str(),
                 std::strerror(errno));
    return 1;
  }
  ControlFifo control;
  if (!control.Open(args.control)) {
    std::fprintf(stderr, "kolvane-sim: cannot open control FIFO %s: %s\n", args.control.c_str(),
                 std::strerror(errno));
    return 1;
  }
  // The stop signals are let in only while waiting, so none is lost; from
  // before the link exists, so that none leaves it behind.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Pty pty;
  if (!OpenPty(&pty)) {
    std::fprintf(stderr, "kolvane-sim: cannot create a pseudo-terminal: %s\n",
                 std::strerror(errno));
    return 1;
  }
  const std::string link = args.dir + "/com" + std::to_string(args.port);
  if (!Publish(args.dir, link, pty.path)) {
    std::fprintf(stderr, "kolvane-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
    return 1;
  }

  if (args.running) model.Begin(MonotonicMs());
  std::printf("ready %s\n", pty.path.c_str());
  std::fflush(stdout);

  bool lineUp = true;
  while (stopRequested == 0 && lineUp) {
    const auto due = model.NextDue();
    timespec ts{};
    timespec* limit = nullptr;
    if (due) {
      const double wait = std::max(0.0, *due - MonotonicMs());
      ts.tv_sec = static_cast<time_t>(wait / 1e3);
      ts.tv_nsec = static_cast<long>((wait - static_cast<double>(ts.tv_sec) * 1e3) * 1e6);
      limit = &ts;
    }
    pollfd fds[2] = {{pty.master, POLLIN, 0}, {control.Fd(), POLLIN, 0}};
    const int r = ppoll(fds, control.Fd() >= 0 ? 2 : 1, limit, &waitMask);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && (fds[0].revents & POLLIN) != 0) {
      std::uint8_t buf[256];
      const ssize_t n = read(pty.master, buf, sizeof buf);
      if (n > 0) {
        const double now = MonotonicMs();
        for (const Bytes& frame : model.Receive({buf, static_cast<std::size_t>(n)}, now)) {
          log.Line("RX", now, kolvane::sim::Printable(frame));
        }
      }
    }
    if (r > 0 && control.Fd() >= 0 && (fds[1].revents & POLLIN) != 0) {
      for (const std::string& word : control.Lines()) {
        std::string error;
        if (!model.ApplyWord(word, &error)) {
          std::fprintf(stderr, "kolvane-sim: %s\n", error.c_str());
        }
        log.Line("CTL", MonotonicMs(), word);
      }
    }
    for (const Bytes& chunk : model.TakeDue(MonotonicMs())) {
      if (WriteAll(pty.master, chunk)) {
        log.Line("TX", MonotonicMs(), Hex(chunk));
      } else {
        log.Line("LOST", MonotonicMs(), Hex(chunk));
      }
    }
    if (model.DropRequested()) {
      close(pty.master);
      pty.master = -1;
      log.Line("DROP", MonotonicMs(), pty.path);
      lineUp = false;
    }
  }
  Unpublish(link, pty.path);
  if (pty.master >= 0) close(pty.master);
  close(pty.slave);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  const int status = ParseArgs(argc, argv, &args);
  if (status != 0) return status < 0 ? 0 : status;
  return Run(args);
}
