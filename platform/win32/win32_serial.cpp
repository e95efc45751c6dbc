#include "platform/win32/win32_serial.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "platform/win32/system_deps.h"

namespace kolvane {

std::optional<std::string> Win32DeviceName(const std::string& name) {
  if (name.size() < 5 || name.back() != ':') return std::nullopt;
  for (std::size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
  }
  const std::string digits = name.substr(3, name.size() - 4);
  if (digits.empty() || digits.size() > 3 || digits[0] == '0' ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int n = std::stoi(digits);
  if (n > 255) return std::nullopt;
  // Only COM1 to COM9 are DOS device names; higher ports need the device
  // namespace.
  if (n > 9) return "\\\\.\\COM" + digits;
  return name;
}

Win32SerialPorts::~Win32SerialPorts() {
  while (!ports_.empty()) Close(ports_.begin()->first);
}

bool Win32SerialPorts::Fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

bool Win32SerialPorts::FailWithSystemError() {
  return Fail(::GetLastError());
}

void* Win32SerialPorts::Find(PortHandle h) {
  const auto it = ports_.find(h);
  if (it == ports_.end()) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

PortHandle Win32SerialPorts::Open(const std::string& name) {
  const auto device = Win32DeviceName(name);
  if (!device) {
    Fail(ERROR_FILE_NOT_FOUND);
    return kInvalidPortHandle;
  }
  // Exclusive (no sharing), non-overlapped: every read and write blocks
  // within the port's time-outs.
  HANDLE port = ::CreateFileA(device->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    FailWithSystemError();
    return kInvalidPortHandle;
  }
  const PortHandle h = nextHandle_++;
  ports_[h] = port;
  return h;
}

bool Win32SerialPorts::GetCommState(PortHandle h, Dcb& dcb) {
  HANDLE port = Find(h);
  if (port == nullptr) return false;
  DCB d{};
  d.DCBlength = sizeof d;
  if (!::GetCommState(port, &d)) return FailWithSystemError();
  dcb.baudRate = d.BaudRate;
  dcb.byteSize = d.ByteSize;
  dcb.parity = d.Parity;
  dcb.stopBits = d.StopBits;
  dcb.fParity = d.fParity != 0;
  return true;
}

bool Win32SerialPorts::SetCommState(PortHandle h, const Dcb& dcb) {
  HANDLE port = Find(h);
  if (port == nullptr) return false;
  // Every field the seam does not carry stays as the driver has it.
  DCB d{};
  d.DCBlength = sizeof d;
  if (!::GetCommState(port, &d)) return FailWithSystemError();
  d.BaudRate = dcb.baudRate;
  d.ByteSize = dcb.byteSize;
  d.Parity = dcb.parity;
  d.StopBits = dcb.stopBits;
  d.fParity = dcb.fParity ? 1 : 0;
  if (!::SetCommState(port, &d)) return FailWithSystemError();
  return true;
}

bool Win32SerialPorts::GetCommTimeouts(PortHandle h, CommTimeouts& t) {
  HANDLE port = Find(h);
  if (port == nullptr) return false;
  COMMTIMEOUTS c{};
  if (!::GetCommTimeouts(port, &c)) return FailWithSystemError();
  t.readIntervalTimeout = c.ReadIntervalTimeout;
  t.readTotalTimeoutMultiplier = c.ReadTotalTimeoutMultiplier;
  t.readTotalTimeoutConstant = c.ReadTotalTimeoutConstant;
  t.writeTotalTimeoutMultiplier = c.WriteTotalTimeoutMultiplier;
  t.writeTotalTimeoutConstant = c.WriteTotalTimeoutConstant;
  return true;
}

bool Win32SerialPorts::SetCommTimeouts(PortHandle h, const CommTimeouts& t) {
  HANDLE port = Find(h);
  if (port == nullptr) return false;
  COMMTIMEOUTS c{t.readIntervalTimeout, t.readTotalTimeoutMultiplier, t.readTotalTimeoutConstant,
                 t.writeTotalTimeoutMultiplier, t.writeTotalTimeoutConstant};
  if (!::SetCommTimeouts(port, &c)) return FailWithSystemError();
  return true;
}

bool Win32SerialPorts::Write(PortHandle h, const std::uint8_t* data, std::uint32_t n,
                             std::uint32_t* written) {
  std::uint32_t ignored = 0;
  if (written == nullptr) written = &ignored;
  *written = 0;
  HANDLE port = Find(h);
  if (port == nullptr) return false;
  DWORD count = 0;
  const BOOL ok = ::WriteFile(port, data, n, &count, nullptr);
  *written = count;
  if (ok) return true;
  // A write time-out is a short count, as for a read, not a failed line.
  const DWORD error = ::GetLastError();
  if (error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT) return true;
  ::SetLastError(error);
  return FailWithSystemError();
}

bool Win32SerialPorts::Read(PortHandle h, std::uint8_t* data, std::uint32_t n, std::uint32_t* got) {
  std::uint32_t ignored = 0;
  if (got == nullptr) got = &ignored;
  *got = 0;
  HANDLE port = Find(h);
  if (port == nullptr) return false;
  DWORD count = 0;
  const BOOL ok = ::ReadFile(port, data, n, &count, nullptr);
  *got = count;
  return ok ? true : FailWithSystemError();
}

bool Win32SerialPorts::Close(PortHandle h) {
  HANDLE port = Find(h);
  if (port == nullptr) return false;
  ports_.erase(h);
  if (!::CloseHandle(port)) return FailWithSystemError();
  return true;
}

std::unique_ptr<ISerialPorts> MakeSerialPorts() {
  return std::make_unique<Win32SerialPorts>();
}

}  // namespace kolvane
