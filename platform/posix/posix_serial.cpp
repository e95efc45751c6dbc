#include "platform/posix/posix_serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "platform/posix/system_deps.h"

namespace kolvane {

namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr double kForever = std::numeric_limits<double>::infinity();

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Waits for `events` on fd until the absolute time `deadline` (kForever: no
// limit). Returns the poll result; revents receives what happened.
int WaitFor(int fd, short events, double deadline, short* revents) {
  pollfd p{fd, events, 0};
  timespec ts{};
  timespec* limit = nullptr;
  if (deadline != kForever) {
    const double wait = std::max(0.0, deadline - NowMs());
    const auto whole = static_cast<time_t>(wait / 1e3);
    ts.tv_sec = whole;
    ts.tv_nsec = static_cast<long>((wait - static_cast<double>(whole) * 1e3) * 1e6);
    ts.tv_nsec = std::clamp(ts.tv_nsec, 0L, 999999999L);
    limit = &ts;
  }
  const int r = ppoll(&p, 1, limit, nullptr);
  *revents = p.revents;
  return r;
}

struct Speed {
  std::uint32_t baud;
  speed_t code;
};
constexpr Speed kSpeeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};

// Win32's total time-out: the multiplier per byte plus the constant, or none
// when both are zero.
double TotalDeadline(double start, std::uint32_t multiplier, std::uint32_t constant,
                     std::uint32_t n) {
  if (multiplier == 0 && constant == 0) return kForever;
  return start + static_cast<double>(multiplier) * n + static_cast<double>(constant);
}

}  // namespace

std::optional<std::string> SerialDevicePath(const std::string& name) {
  if (name.size() < 5 || name.back() != ':') return std::nullopt;
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[static_cast<std::size_t>(i)])) != "COM"[i]) {
      return std::nullopt;
    }
  }
  const std::string digits = name.substr(3, name.size() - 4);
  if (digits.empty() || digits.size() > 3 || digits[0] == '0' ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int n = std::stoi(digits);
  if (n > 255) return std::nullopt;
  const char* dir = std::getenv("KOLVANE_PORTS");
  if (dir != nullptr && *dir != '\0') return std::string(dir) + "/com" + digits;
  return "/dev/ttyUSB" + std::to_string(n - 1);
}

PosixSerialPorts::~PosixSerialPorts() {
  while (!ports_.empty()) Close(ports_.begin()->first);
}

bool PosixSerialPorts::Fail(int error) {
  lastError_ = static_cast<std::uint32_t>(error);
  return false;
}

PosixSerialPorts::Port* PosixSerialPorts::Find(PortHandle h) {
  const auto it = ports_.find(h);
  if (it == ports_.end()) {
    Fail(EBADF);
    return nullptr;
  }
  return &it->second;
}

PortHandle PosixSerialPorts::Open(const std::string& name) {
  const auto path = SerialDevicePath(name);
  if (!path) {
    Fail(ENOENT);
    return kInvalidPortHandle;
  }
  // Non-blocking, so that a line without carrier cannot hold up the open; it
  // stays so, which keeps writes within their time-out too.
  const int fd = open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return kInvalidPortHandle;
  }
  const auto reject = [&](int error) {
    close(fd);
    Fail(error);
    return kInvalidPortHandle;
  };
  if (!isatty(fd)) return reject(ENOTTY);
  // TIOCEXCL keeps other programs out, but not a privileged one nor a second
  // open in this process; the lock covers both.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return reject(errno == EWOULDBLOCK ? EBUSY : errno);
  if (ioctl(fd, TIOCEXCL) != 0) return reject(errno);

  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return reject(errno);
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B19200);
  cfsetospeed(&tio, B19200);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return reject(errno);
  // Bytes left on the line by an earlier session are not for us.
  tcflush(fd, TCIOFLUSH);

  const PortHandle h = nextHandle_++;
  ports_[h] = Port{fd, CommTimeouts{}};
  return h;
}

bool PosixSerialPorts::GetCommState(PortHandle h, Dcb& dcb) {
  Port* p = Find(h);
  if (p == nullptr) return false;
  termios tio{};
  if (tcgetattr(p->fd, &tio) != 0) return Fail(errno);
  const speed_t code = cfgetospeed(&tio);
  dcb.baudRate = 0;
  for (const Speed& s : kSpeeds) {
    if (s.code == code) dcb.baudRate = s.baud;
  }
  const tcflag_t size = tio.c_cflag & CSIZE;
  for (std::uint8_t i = 0; i < 4; ++i) {
    if (kSizes[i] == size) dcb.byteSize = static_cast<std::uint8_t>(5 + i);
  }
  dcb.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 0;
  if ((tio.c_cflag & PARENB) == 0) {
    dcb.parity = 0;
  } else if ((tio.c_cflag & CMSPAR) != 0) {
    dcb.parity = (tio.c_cflag & PARODD) != 0 ? 3 : 4;
  } else {
    dcb.parity = (tio.c_cflag & PARODD) != 0 ? 1 : 2;
  }
  dcb.fParity = (tio.c_iflag & INPCK) != 0;
  return true;
}

bool PosixSerialPorts::SetCommState(PortHandle h, const Dcb& dcb) {
  Port* p = Find(h);
  if (p == nullptr) return false;
  const Speed* speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                    [&](const Speed& s) { return s.baud == dcb.baudRate; });
  if (speed == std::end(kSpeeds) || dcb.byteSize < 5 || dcb.byteSize > 8 || dcb.stopBits > 2 ||
      dcb.parity > 4) {
    return Fail(EINVAL);
  }
  termios tio{};
  if (tcgetattr(p->fd, &tio) != 0) return Fail(errno);
  tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
  tio.c_cflag |= kSizes[dcb.byteSize - 5];
  if (dcb.stopBits != 0) tio.c_cflag |= CSTOPB;
  switch (dcb.parity) {
    case 1:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      tio.c_cflag |= PARENB;
      break;
    case 3:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (dcb.fParity) {
    tio.c_iflag |= INPCK;
  } else {
    tio.c_iflag &= ~INPCK;
  }
  cfsetispeed(&tio, speed->code);
  cfsetospeed(&tio, speed->code);
  termios before{};
  if (tcgetattr(p->fd, &before) != 0 || tcsetattr(p->fd, TCSANOW, &tio) != 0) return Fail(errno);
  // tcsetattr succeeds when any part was taken; a device that dropped some
  // of the settings (a pseudo-terminal keeps 8 bits, no parity) must not
  // pass for one that took them all.
  termios now{};
  constexpr tcflag_t kMask = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR;
  if (tcgetattr(p->fd, &now) != 0 || (now.c_cflag & kMask) != (tio.c_cflag & kMask) ||
      (now.c_iflag & INPCK) != (tio.c_iflag & INPCK) || cfgetospeed(&now) != speed->code) {
    tcsetattr(p->fd, TCSANOW, &before);
    return Fail(EINVAL);
  }
  return true;
}

bool PosixSerialPorts::GetCommTimeouts(PortHandle h, CommTimeouts& t) {
  Port* p = Find(h);
  if (p == nullptr) return false;
  t = p->timeouts;
  return true;
}

bool PosixSerialPorts::SetCommTimeouts(PortHandle h, const CommTimeouts& t) {
  Port* p = Find(h);
  if (p == nullptr) return false;
  p->timeouts = t;
  return true;
}

bool PosixSerialPorts::Write(PortHandle h, const std::uint8_t* data, std::uint32_t n,
                             std::uint32_t* written) {
  std::uint32_t ignored = 0;
  if (written == nullptr) written = &ignored;
  *written = 0;
  Port* p = Find(h);
  if (p == nullptr) return false;
  const double deadline = TotalDeadline(NowMs(), p->timeouts.writeTotalTimeoutMultiplier,
                                        p->timeouts.writeTotalTimeoutConstant, n);
  while (*written < n) {
    short revents = 0;
    const int r = WaitFor(p->fd, POLLOUT, deadline, &revents);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    // A time-out is a short count, as it is for a read; only a line
    // that fails is an error.
    if (r == 0) return true;
    if ((revents & POLLNVAL) != 0) return Fail(EBADF);
    if ((revents & (POLLHUP | POLLERR)) != 0) return Fail(EIO);
    const ssize_t w = write(p->fd, data + *written, n - *written);
    if (w > 0) {
      *written += static_cast<std::uint32_t>(w);
    } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
      return Fail(errno);
    }
  }
  return true;
}

bool PosixSerialPorts::Read(PortHandle h, std::uint8_t* data, std::uint32_t n, std::uint32_t* got) {
  std::uint32_t ignored = 0;
  if (got == nullptr) got = &ignored;
  *got = 0;
  Port* p = Find(h);
  if (p == nullptr) return false;
  if (n == 0) return true;
  const CommTimeouts& t = p->timeouts;
  const double start = NowMs();
  // Win32's two special cases of an interval of MAXDWORD: return at once with
  // what has arrived, or wait only for the first byte.
  const bool atOnce = t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == 0 &&
                      t.readTotalTimeoutConstant == 0;
  const bool firstByteOnly = t.readIntervalTimeout == kMaxDword &&
                             t.readTotalTimeoutMultiplier == kMaxDword &&
                             t.readTotalTimeoutConstant != 0;
  const bool useInterval = !atOnce && !firstByteOnly && t.readIntervalTimeout != 0;
  double totalDeadline = firstByteOnly ? start + t.readTotalTimeoutConstant
                                       : TotalDeadline(start, t.readTotalTimeoutMultiplier,
                                                       t.readTotalTimeoutConstant, n);
  if (atOnce) totalDeadline = start;

  double lastByteAt = 0;
  bool hungUp = false;
  while (*got < n) {
    double deadline = totalDeadline;
    // The interval runs only once the first byte is in.
    if (useInterval && *got > 0) deadline = std::min(deadline, lastByteAt + t.readIntervalTimeout);
    short revents = 0;
    const int r = WaitFor(p->fd, POLLIN, deadline, &revents);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (r == 0) break;  // time-out
    if ((revents & POLLNVAL) != 0) return Fail(EBADF);
    if ((revents & POLLIN) != 0) {
      const ssize_t k = read(p->fd, data + *got, n - *got);
      if (k > 0) {
        *got += static_cast<std::uint32_t>(k);
        lastByteAt = NowMs();
        if (firstByteOnly) break;
        continue;
      }
      if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      hungUp = true;  // readable but nothing to read: the other end has gone
      break;
    }
    if ((revents & (POLLHUP | POLLERR)) != 0) {
      hungUp = true;
      break;
    }
  }
  // A hung-up line has nothing more to give: return what came, at once.
  if (hungUp) return Fail(EIO);
  return true;
}

bool PosixSerialPorts::Close(PortHandle h) {
  Port* p = Find(h);
  if (p == nullptr) return false;
  // The exclusive flag belongs to the tty, not to our descriptor: it would
  // outlive us while the other end keeps the line open.
  ioctl(p->fd, TIOCNXCL);
  close(p->fd);
  ports_.erase(h);
  return true;
}

std::unique_ptr<ISerialPorts> MakeSerialPorts() {
  return std::make_unique<PosixSerialPorts>();
}

}  // namespace kolvane
