#include "platform/posix/sysfs_bridge.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

#include "platform/posix/system_deps.h"

namespace kolvane {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxSerial = 63;

std::optional<std::string> ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

// A whole decimal or hexadecimal number, nothing before or after it.
template <typename T>
std::optional<T> ParseWhole(std::string_view text, int base) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// The k of a "ttyUSB<k>" child of an interface, the lowest if there are several.
std::optional<int> TtyOf(const fs::path& interface) {
  constexpr std::string_view kPrefix = "ttyUSB";
  std::optional<int> tty;
  std::error_code ec;
  for (fs::directory_iterator it(interface, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(kPrefix)) continue;
    const auto k = ParseWhole<int>(std::string_view(name).substr(kPrefix.size()), 10);
    if (k && *k >= 0 && (!tty || *k < *tty)) tty = k;
  }
  return tty;
}

}  // namespace

std::vector<SysfsBridge> ListSysfsBridges(const fs::path& sysfsRoot) {
  std::map<fs::path, SysfsBridge> byDevice;
  std::error_code ec;
  const fs::path driver = sysfsRoot / "bus" / "usb" / "drivers" / "cp210x";
  for (fs::directory_iterator it(driver, ec), end; !ec && it != end; it.increment(ec)) {
    // Bound interfaces are named "<device>:<configuration>.<interface>";
    // the driver's own files (bind, unbind, module, ...) are not.
    const std::string name = it->path().filename().string();
    const auto colon = name.find(':');
    const auto dot = name.rfind('.');
    if (colon == std::string::npos || dot == std::string::npos || dot < colon) continue;
    const auto number = ParseWhole<int>(std::string_view(name).substr(dot + 1), 10);
    std::error_code linkEc;
    const fs::path interface = fs::canonical(it->path(), linkEc);
    if (!number || linkEc) continue;
    const fs::path device = interface.parent_path();
    if (device.filename() != name.substr(0, colon)) continue;

    SysfsBridge& bridge = byDevice[device];
    bridge.device = device;
    if (*number == 0) {
      bridge.interface0Bound = true;
      bridge.interface0Tty = TtyOf(interface);
    }
  }
  std::vector<SysfsBridge> bridges;
  for (auto& [path, bridge] : byDevice) bridges.push_back(std::move(bridge));
  return bridges;
}

std::optional<std::uint16_t> ReadUsbId(const fs::path& device, const char* file) {
  const auto line = ReadFirstLine(device / file);
  if (!line || line->size() > 4) return std::nullopt;
  return ParseWhole<std::uint16_t>(*line, 16);
}

std::optional<std::string> ReadBridgeSerial(const fs::path& device) {
  const auto line = ReadFirstLine(device / "serial");
  if (!line) return std::nullopt;
  std::string serial;
  for (const char c : *line) {
    const auto byte = static_cast<unsigned char>(c);
    if (serial.size() == kMaxSerial) break;
    if (byte < 0x80) {
      serial.push_back(c);
    } else if (byte >= 0xC0) {
      serial.push_back('?');  // one per UTF-8 sequence; its continuation bytes are dropped
    }
  }
  return serial;
}

SysfsBridgeLibrary::SysfsBridgeLibrary(fs::path sysfsRoot) : root_(std::move(sysfsRoot)) {}

int SysfsBridgeLibrary::GetNumDevices(std::uint32_t* count) {
  if (count == nullptr) return kBridgeInvalidParameter;
  *count = static_cast<std::uint32_t>(ListSysfsBridges(root_).size());
  return kBridgeOk;
}

int SysfsBridgeLibrary::Open(std::uint32_t index, BridgeHandle* handle) {
  if (handle == nullptr) return kBridgeInvalidParameter;
  const auto bridges = ListSysfsBridges(root_);
  if (index >= bridges.size()) return kBridgeDeviceNotFound;
  *handle = nextHandle_++;
  open_[*handle] = bridges[index].device;
  return kBridgeOk;
}

int SysfsBridgeLibrary::ReadId(BridgeHandle handle, const char* file, std::uint16_t* value) {
  const auto device = open_.find(handle);
  if (device == open_.end()) return kBridgeInvalidHandle;
  if (value == nullptr) return kBridgeInvalidParameter;
  const auto id = ReadUsbId(device->second, file);
  if (!id) return kBridgeDeviceIoFailed;
  *value = *id;
  return kBridgeOk;
}

int SysfsBridgeLibrary::GetDeviceVid(BridgeHandle handle, std::uint16_t* vid) {
  return ReadId(handle, "idVendor", vid);
}

int SysfsBridgeLibrary::GetDevicePid(BridgeHandle handle, std::uint16_t* pid) {
  return ReadId(handle, "idProduct", pid);
}

int SysfsBridgeLibrary::GetDeviceSerialNumber(BridgeHandle handle, char* buffer,
                                              std::uint8_t* length, bool isAscii) {
  const auto device = open_.find(handle);
  if (device == open_.end()) return kBridgeInvalidHandle;
  // Only the single-byte form is offered.
  if (buffer == nullptr || length == nullptr || !isAscii) return kBridgeInvalidParameter;
  const auto serial = ReadBridgeSerial(device->second);
  if (!serial) return kBridgeDeviceIoFailed;
  std::memcpy(buffer, serial->data(), serial->size());
  buffer[serial->size()] = '\0';
  *length = static_cast<std::uint8_t>(serial->size());
  return kBridgeOk;
}

int SysfsBridgeLibrary::Close(BridgeHandle handle) {
  return open_.erase(handle) == 1 ? kBridgeOk : kBridgeInvalidHandle;
}

std::unique_ptr<IBridgeLibrary> MakeBridgeLibrary() {
  return std::make_unique<SysfsBridgeLibrary>();
}

}  // namespace kolvane
