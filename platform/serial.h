// Serial port seam with Win32 communications semantics: ports are opened by
// name ("COMn:"), configured through a DCB and COMMTIMEOUTS, and read with
// blocking calls that report how many bytes arrived.
#pragma once

#include <cstdint>
#include <string>

namespace kolvane {

using PortHandle = std::intptr_t;
// What a failed open leaves in the handle, as CreateFileA does.
inline constexpr PortHandle kInvalidPortHandle = -1;

struct Dcb {
  std::uint32_t baudRate = 0;
  std::uint8_t byteSize = 0;
  std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
  bool fParity = false;       // parity checking
};

struct CommTimeouts {
  std::uint32_t readIntervalTimeout = 0;
  std::uint32_t readTotalTimeoutMultiplier = 0;
  std::uint32_t readTotalTimeoutConstant = 0;
  std::uint32_t writeTotalTimeoutMultiplier = 0;
  std::uint32_t writeTotalTimeoutConstant = 0;
  bool operator==(const CommTimeouts&) const = default;
};

class ISerialPorts {
 public:
  virtual ~ISerialPorts() = default;
  // Opens exclusively for reading and writing; kInvalidPortHandle on failure.
  virtual PortHandle Open(const std::string& name) = 0;
  virtual bool GetCommState(PortHandle h, Dcb& dcb) = 0;
  virtual bool SetCommState(PortHandle h, const Dcb& dcb) = 0;
  virtual bool GetCommTimeouts(PortHandle h, CommTimeouts& t) = 0;
  virtual bool SetCommTimeouts(PortHandle h, const CommTimeouts& t) = 0;
  // Blocks within the write time-out; *written gets the bytes accepted.
  virtual bool Write(PortHandle h, const std::uint8_t* data, std::uint32_t n,
                     std::uint32_t* written) = 0;
  // Blocks within the read time-outs; *got gets the bytes that arrived.
  virtual bool Read(PortHandle h, std::uint8_t* data, std::uint32_t n, std::uint32_t* got) = 0;
  virtual bool Close(PortHandle h) = 0;
  // The system error code of the last failed call on this thread.
  virtual std::uint32_t LastError() = 0;
};

}  // namespace kolvane
