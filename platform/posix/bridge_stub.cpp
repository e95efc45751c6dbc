// Placeholder until bridge discovery is built: no bridge, empty registry.
#include "platform/posix/system_deps.h"

namespace kolvane {

namespace {
class NoBridge : public IBridgeLibrary {
 public:
  int GetNumDevices(std::uint32_t* count) override {
    *count = 0;
    return kBridgeOk;
  }
  int Open(std::uint32_t, BridgeHandle*) override { return kBridgeDeviceNotFound; }
  int GetDeviceVid(BridgeHandle, std::uint16_t*) override { return kBridgeInvalidHandle; }
  int GetDevicePid(BridgeHandle, std::uint16_t*) override { return kBridgeInvalidHandle; }
  int GetDeviceSerialNumber(BridgeHandle, char*, std::uint8_t*, bool) override {
    return kBridgeInvalidHandle;
  }
  int Close(BridgeHandle) override { return kBridgeInvalidHandle; }
};
class NoRegistry : public IRegistry {
 public:
  long OpenKeyEx(RegKey, const std::string&, std::uint32_t, RegKey*) override {
    return kRegFileNotFound;
  }
  long OpenKey(RegKey, const std::string&, RegKey*) override { return kRegFileNotFound; }
  long QueryValueEx(RegKey, const std::string&, std::uint32_t*, std::uint8_t*,
                    std::uint32_t*) override {
    return kRegFileNotFound;
  }
  long CloseKey(RegKey) override { return kRegSuccess; }
};
class Version : public ISystemVersion {
 public:
  std::uint32_t GetVersion() override { return 0x0A00000A; }
};
}  // namespace

std::unique_ptr<IBridgeLibrary> MakeBridgeLibrary() { return std::make_unique<NoBridge>(); }
std::unique_ptr<IRegistry> MakeRegistry() { return std::make_unique<NoRegistry>(); }
std::unique_ptr<ISystemVersion> MakeSystemVersion() { return std::make_unique<Version>(); }

}  // namespace kolvane
