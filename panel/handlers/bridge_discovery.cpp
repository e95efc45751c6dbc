// Which COM port the USB bridge was given: the bridge library names the first
// bridge, the registry holds the port name Windows gave it.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "panel/panel_dlg.h"
#include "resources/format.h"

namespace kolvane {

namespace {

constexpr std::size_t kSerialBuffer = 64;
constexpr std::uint32_t kPortNameRequest = 100;
// More digits than this could overflow an int.
constexpr std::size_t kMaxPortDigits = 9;

// NT (bit 31 clear) with major version 5 or later, where the ports are
// recorded under Enum\USB.
bool PortsInRegistry(std::uint32_t version) {
  return (version & 0x80000000u) == 0 && (version & 0xFFu) >= 5;
}

// "COM" and its digits, else -1; the value arrives terminated.
int PortNumberOf(char* value) {
  const std::size_t length = std::strlen(value);
  if (length <= 3 || length > 3 + kMaxPortDigits || std::strncmp(value, "COM", 3) != 0) return -1;
  if (!std::all_of(value + 3, value + length, [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  std::memset(value, '0', 3);  // COM5 -> 0005
  const int port = std::atoi(value);
  return port >= 1 ? port : -1;
}

}  // namespace

int CPanelDlg::DiscoverBridgePort() {
  IBridgeLibrary& bridge = deps.bridge;
  std::uint32_t count = 0;
  bridge.GetNumDevices(&count);
  if (count == 0) return -1;

  BridgeHandle device = 0;
  if (bridge.Open(0, &device) != kBridgeOk) return -1;
  // An identifier that was not received never reaches the registry.
  int port = -1;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::array<char, kSerialBuffer> serial{};
  std::uint8_t length = 0;
  if (bridge.GetDeviceVid(device, &vid) == kBridgeOk &&
      bridge.GetDevicePid(device, &pid) == kBridgeOk &&
      bridge.GetDeviceSerialNumber(device, serial.data(), &length, true) == kBridgeOk) {
    serial[std::min<std::size_t>(length, kSerialBuffer - 1)] = '\0';
    if (PortsInRegistry(deps.version.GetVersion()))
      port = LookUpPortNumber(vid, pid, serial.data());
  }
  bridge.Close(device);
  return port;
}

int CPanelDlg::LookUpPortNumber(std::uint16_t vid, std::uint16_t pid, char* serial) {
  IRegistry& registry = deps.registry;
  RegKey system = 0;
  if (registry.OpenKeyEx(kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\", kKeyRead, &system) !=
      kRegSuccess) {
    return -1;
  }
  RegKey usb = 0;
  if (registry.OpenKey(system, "Enum\\USB\\", &usb) != kRegSuccess) {
    registry.CloseKey(system);
    return -1;
  }
  std::replace(serial, serial + std::strlen(serial), ' ', '_');
  const std::string parametersPath = Format("Vid_%04x&Pid_%04x&Mi_00\\%s_00\\Device Parameters\\",
                                            unsigned{vid}, unsigned{pid}, serial);
  RegKey parameters = 0;
  if (registry.OpenKey(usb, parametersPath, &parameters) != kRegSuccess) {
    registry.CloseKey(usb);
    registry.CloseKey(system);
    return -1;
  }

  int port = -1;
  std::array<std::uint8_t, kPortNameRequest + 1> value{};
  std::uint32_t type = 0;
  std::uint32_t size = kPortNameRequest;
  if (registry.QueryValueEx(parameters, "PortName", &type, value.data(), &size) == kRegSuccess) {
    // The stored value need not end in a zero.
    value[std::min(size, kPortNameRequest)] = 0;
    port = PortNumberOf(reinterpret_cast<char*>(value.data()));
  }
  registry.CloseKey(parameters);
  registry.CloseKey(usb);
  registry.CloseKey(system);
  return port;
}

}  // namespace kolvane
