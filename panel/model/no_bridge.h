// No USB bridge library and an empty registry: a panel that finds its port
// by scanning alone, as it does when the bridge is not known.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bridge.h"

namespace kolvane {

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

class EmptyRegistry : public IRegistry {
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

}  // namespace kolvane
