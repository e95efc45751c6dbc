#include "platform/posix/linux_registry.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/posix/sysfs_bridge.h"
#include "platform/posix/system_deps.h"

namespace kolvane {

namespace {

constexpr std::array<std::string_view, 4> kUsbEnum{"SYSTEM", "CurrentControlSet", "Enum", "USB"};
constexpr std::size_t kInstanceDepth = kUsbEnum.size() + 1;  // Vid_vvvv&Pid_pppp&Mi_00
constexpr std::size_t kSerialDepth = kInstanceDepth + 1;     // <serial>_00
constexpr std::size_t kParametersDepth = kSerialDepth + 1;   // Device Parameters
// KEY_WOW64_64KEY and KEY_WOW64_32KEY only choose a view.
constexpr std::uint32_t kWow64Flags = 0x300;

// Key and value names compare as Windows compares them: ignoring ASCII case.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// A device instance name holds no blanks: Windows writes '_' for them.
std::string InstanceName(std::string serial) {
  std::replace(serial.begin(), serial.end(), ' ', '_');
  return serial + "_00";
}

// The present bridge whose keys contain `path` (a path at least as deep as
// the instance key and at most as deep as its Device Parameters).
std::optional<SysfsBridge> BridgeAt(const std::filesystem::path& root,
                                    const std::vector<std::string>& path) {
  if (path.size() < kInstanceDepth || path.size() > kParametersDepth) return std::nullopt;
  for (const SysfsBridge& bridge : ListSysfsBridges(root)) {
    const auto vid = ReadUsbId(bridge.device, "idVendor");
    const auto pid = ReadUsbId(bridge.device, "idProduct");
    if (!bridge.interface0Bound || !vid || !pid) continue;
    std::array<char, 32> instance{};
    std::snprintf(instance.data(), instance.size(), "Vid_%04x&Pid_%04x&Mi_00", unsigned{*vid},
                  unsigned{*pid});
    if (!SameName(path[kInstanceDepth - 1], instance.data())) continue;
    if (path.size() >= kSerialDepth) {
      const auto serial = ReadBridgeSerial(bridge.device);
      if (!serial || !SameName(path[kSerialDepth - 1], InstanceName(*serial))) continue;
    }
    if (path.size() == kParametersDepth &&
        !SameName(path[kParametersDepth - 1], "Device Parameters")) {
      continue;
    }
    return bridge;
  }
  return std::nullopt;
}

// Only the keys on the way to Enum\USB exist besides the bridges' own.
bool UnderUsbEnum(const std::vector<std::string>& path) {
  for (std::size_t i = 0; i < path.size() && i < kUsbEnum.size(); ++i) {
    if (!SameName(path[i], kUsbEnum[i])) return false;
  }
  return true;
}

class PosixSystemVersion : public ISystemVersion {
 public:
  // Reports an NT version later than 5 (10.0): the registry look-up is made.
  std::uint32_t GetVersion() override { return 0x0000000A; }
};

}  // namespace

LinuxRegistry::LinuxRegistry(std::filesystem::path sysfsRoot) : root_(std::move(sysfsRoot)) {}

bool LinuxRegistry::Exists(const KeyPath& path) const {
  return UnderUsbEnum(path) && (path.size() <= kUsbEnum.size() || BridgeAt(root_, path));
}

std::string LinuxRegistry::ValueOf(const KeyPath& path, const std::string& name) const {
  if (path.size() != kParametersDepth || !SameName(name, "PortName") || !UnderUsbEnum(path)) {
    return {};
  }
  const auto bridge = BridgeAt(root_, path);
  if (!bridge || !bridge->interface0Tty) return {};
  return "COM" + std::to_string(static_cast<long long>(*bridge->interface0Tty) + 1);
}

long LinuxRegistry::Resolve(RegKey parent, const std::string& subKey, KeyPath* path) const {
  if (parent == kHKeyLocalMachine) {
    path->clear();
  } else if (const auto it = open_.find(parent); it != open_.end()) {
    *path = it->second;
  } else {
    return kRegInvalidHandle;
  }
  // Names are separated by backslashes; one trailing backslash is allowed.
  std::string_view rest = subKey;
  if (rest.ends_with('\\')) rest.remove_suffix(1);
  while (!rest.empty()) {
    const auto sep = rest.find('\\');
    const std::string_view name = rest.substr(0, sep);
    if (name.empty()) return kRegFileNotFound;
    path->emplace_back(name);
    rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
    if (sep != std::string_view::npos && rest.empty()) return kRegFileNotFound;
  }
  return Exists(*path) ? kRegSuccess : kRegFileNotFound;
}

RegKey LinuxRegistry::Grant(KeyPath path) {
  const RegKey key = nextKey_++;
  open_[key] = std::move(path);
  return key;
}

long LinuxRegistry::OpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                              RegKey* result) {
  if (result == nullptr) return kRegInvalidParameter;
  KeyPath path;
  if (const long status = Resolve(parent, subKey, &path); status != kRegSuccess) return status;
  // Nothing here may be written.
  if ((access & ~(kKeyRead | kWow64Flags)) != 0) return kRegAccessDenied;
  *result = Grant(std::move(path));
  return kRegSuccess;
}

long LinuxRegistry::OpenKey(RegKey parent, const std::string& subKey, RegKey* result) {
  if (result == nullptr) return kRegInvalidParameter;
  KeyPath path;
  if (const long status = Resolve(parent, subKey, &path); status != kRegSuccess) return status;
  *result = Grant(std::move(path));
  return kRegSuccess;
}

long LinuxRegistry::QueryValueEx(RegKey key, const std::string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) {
  KeyPath path;
  if (const auto it = open_.find(key); it != open_.end()) {
    path = it->second;
  } else if (key != kHKeyLocalMachine) {
    return kRegInvalidHandle;
  }
  if (data != nullptr && size == nullptr) return kRegInvalidParameter;
  const std::string value = ValueOf(path, name);
  if (value.empty()) return kRegFileNotFound;
  const auto needed = static_cast<std::uint32_t>(value.size() + 1);  // stored with its zero
  if (type != nullptr) *type = kRegSz;
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return kRegSuccess;
  }
  if (*size < needed) {
    *size = needed;
    return kRegMoreData;
  }
  std::memcpy(data, value.c_str(), needed);
  *size = needed;
  return kRegSuccess;
}

long LinuxRegistry::CloseKey(RegKey key) {
  if (key == kHKeyLocalMachine) return kRegSuccess;
  return open_.erase(key) == 1 ? kRegSuccess : kRegInvalidHandle;
}

std::unique_ptr<IRegistry> MakeRegistry() {
  return std::make_unique<LinuxRegistry>();
}

std::unique_ptr<ISystemVersion> MakeSystemVersion() {
  return std::make_unique<PosixSystemVersion>();
}

}  // namespace kolvane
