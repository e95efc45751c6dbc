// The CP210x bridges attached to this machine, read from sysfs, and a bridge
// library on top of them. No libudev: plain files keep the dependencies short.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/bridge.h"

namespace kolvane {

// One USB device with at least one interface bound to the cp210x driver.
struct SysfsBridge {
  std::filesystem::path device;      // the USB device's directory
  bool interface0Bound = false;      // its interface 0 is among the bound ones
  std::optional<int> interface0Tty;  // k of the ttyUSB<k> that interface 0 carries
};

// The bridges under a sysfs root, in the order of their device paths.
std::vector<SysfsBridge> ListSysfsBridges(const std::filesystem::path& sysfsRoot);

// A device's vendor or product id file ("idVendor", "idProduct"): four hex digits.
std::optional<std::uint16_t> ReadUsbId(const std::filesystem::path& device, const char* file);

// A device's serial as the bridge library reports it: at most 63 single-byte
// characters, every non-ASCII character as '?'.
std::optional<std::string> ReadBridgeSerial(const std::filesystem::path& device);

class SysfsBridgeLibrary : public IBridgeLibrary {
 public:
  explicit SysfsBridgeLibrary(std::filesystem::path sysfsRoot = "/sys");

  int GetNumDevices(std::uint32_t* count) override;
  int Open(std::uint32_t index, BridgeHandle* handle) override;
  int GetDeviceVid(BridgeHandle handle, std::uint16_t* vid) override;
  int GetDevicePid(BridgeHandle handle, std::uint16_t* pid) override;
  int GetDeviceSerialNumber(BridgeHandle handle, char* buffer, std::uint8_t* length,
                            bool isAscii) override;
  int Close(BridgeHandle handle) override;

 private:
  int ReadId(BridgeHandle handle, const char* file, std::uint16_t* value);

  std::filesystem::path root_;
  std::map<BridgeHandle, std::filesystem::path> open_;
  BridgeHandle nextHandle_ = 1;
};

}  // namespace kolvane
