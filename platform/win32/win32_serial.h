// The serial seam on the Win32 communications API. Names are "COMn:"; the
// driver applies the DCB and the COMMTIMEOUTS itself.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/serial.h"

namespace kolvane {

// The name to give CreateFileA for a port name, or nothing for a name that
// is no COM port (so that no file or other device is ever opened).
std::optional<std::string> Win32DeviceName(const std::string& name);

class Win32SerialPorts : public ISerialPorts {
 public:
  Win32SerialPorts() = default;
  Win32SerialPorts(const Win32SerialPorts&) = delete;
  Win32SerialPorts& operator=(const Win32SerialPorts&) = delete;
  ~Win32SerialPorts() override;

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
  // The system handle behind a port handle; null (and ERROR_INVALID_HANDLE)
  // for a closed or unknown one.
  void* Find(PortHandle h);
  bool Fail(std::uint32_t error);
  bool FailWithSystemError();

  // Handles count up and are never reused: the system reuses its handle
  // values, and a stale one must not reach whatever now holds that value.
  std::map<PortHandle, void*> ports_;
  PortHandle nextHandle_ = 1;
  std::uint32_t lastError_ = 0;
};

}  // namespace kolvane
