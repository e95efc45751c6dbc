// The serial seam on termios. "COMn:" names the device: the entry comN of the
// directory in KOLVANE_PORTS when that is set (usually a link to a tty or a
// pseudo-terminal), else /dev/ttyUSB<n-1>. Reads and writes follow the Win32
// COMMTIMEOUTS rules, waiting with poll().
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/serial.h"

namespace kolvane {

// The device path for a port name, or nothing for a name that is no COM port.
std::optional<std::string> SerialDevicePath(const std::string& name);

class PosixSerialPorts : public ISerialPorts {
 public:
  PosixSerialPorts() = default;
  PosixSerialPorts(const PosixSerialPorts&) = delete;
  PosixSerialPorts& operator=(const PosixSerialPorts&) = delete;
  ~PosixSerialPorts() override;

  PortHandle Open(const std::string& name) override;
  bool GetCommState(PortHandle h, Dcb& dcb) override;
  bool SetCommState(PortHandle h, const Dcb& dcb) override;
  bool GetCommTimeouts(PortHandle h, CommTimeouts& t) override;
  bool SetCommTimeouts(PortHandle h, const CommTimeouts& t) override;
  bool Write(PortHandle h, const std::uint8_t* data, std::uint32_t n,
             std::uint32_t* written) override;
  bool Read(PortHandle h, std::uint8_t* data, std::uint32_t n, std::uint32_t* got) override;
  bool Close(PortHandle h) override;
  std::uint32_t LastError() override { return lastError_; }

 private:
  struct Port {
    int fd = -1;
    CommTimeouts timeouts{};
  };
  // The open port behind a handle; null (and EBADF) for a closed or unknown one.
  Port* Find(PortHandle h);
  bool Fail(int error);

  // Handles count up and are never reused, so a stale handle cannot reach a
  // descriptor that the system has since given to another port.
  std::map<PortHandle, Port> ports_;
  PortHandle nextHandle_ = 1;
  std::uint32_t lastError_ = 0;
};

}  // namespace kolvane
