// The bridge library on the vendor's CP210xManufacturing.dll, loaded when
// the program runs rather than bound when it loads: without the DLL the
// program still starts, and the library then reports no devices.
#pragma once

#include <memory>
#include <string>

#include "platform/bridge.h"

namespace kolvane {

inline constexpr const char* kBridgeDllName = "CP210xManufacturing.dll";

class Win32BridgeLibrary : public IBridgeLibrary {
 public:
  explicit Win32BridgeLibrary(const std::string& dllName = kBridgeDllName);
  Win32BridgeLibrary(const Win32BridgeLibrary&) = delete;
  Win32BridgeLibrary& operator=(const Win32BridgeLibrary&) = delete;
  ~Win32BridgeLibrary() override;

  // The DLL was found and has every entry used here.
  bool Loaded() const { return module_ != nullptr; }

  int GetNumDevices(std::uint32_t* count) override;
  int Open(std::uint32_t index, BridgeHandle* handle) override;
  int GetDeviceVid(BridgeHandle handle, std::uint16_t* vid) override;
  int GetDevicePid(BridgeHandle handle, std::uint16_t* pid) override;
  int GetDeviceSerialNumber(BridgeHandle handle, char* buffer, std::uint8_t* length,
                            bool isAscii) override;
  int Close(BridgeHandle handle) override;

 private:
  struct Entries;

  void* module_ = nullptr;
  std::unique_ptr<Entries> entries_;
};

}  // namespace kolvane
