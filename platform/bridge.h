// Seams for the USB bridge's manufacturing library and the registry, which
// together tell which COM port the bridge was given.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kolvane {

// Status codes of the bridge library: 0 is success.
inline constexpr int kBridgeOk = 0;
inline constexpr int kBridgeDeviceNotFound = 0xFF;
inline constexpr int kBridgeInvalidHandle = 0x01;
inline constexpr int kBridgeInvalidParameter = 0x02;
inline constexpr int kBridgeDeviceIoFailed = 0x03;

using BridgeHandle = std::intptr_t;

class IBridgeLibrary {
 public:
  virtual ~IBridgeLibrary() = default;
  virtual int GetNumDevices(std::uint32_t* count) = 0;                    // ordinal 1
  virtual int Open(std::uint32_t index, BridgeHandle* handle) = 0;        // ordinal 3
  virtual int GetDeviceVid(BridgeHandle handle, std::uint16_t* vid) = 0;  // ordinal 14
  virtual int GetDevicePid(BridgeHandle handle, std::uint16_t* pid) = 0;  // ordinal 15
  // Fills the 64-byte buffer with up to 63 single-byte characters and a
  // terminating zero; *length gets the count of characters.
  virtual int GetDeviceSerialNumber(BridgeHandle handle, char* buffer, std::uint8_t* length,
                                    bool isAscii) = 0;  // ordinal 13
  virtual int Close(BridgeHandle handle) = 0;           // ordinal 4
};

using RegKey = std::intptr_t;
inline constexpr RegKey kHKeyLocalMachine = static_cast<RegKey>(0x80000002);
inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalidHandle = 6;
inline constexpr long kRegInvalidParameter = 87;
inline constexpr long kRegMoreData = 234;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kRegSz = 1;

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  virtual long OpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                         RegKey* result) = 0;
  virtual long OpenKey(RegKey parent, const std::string& subKey, RegKey* result) = 0;
  // *size is the buffer size on entry and the value's size (with its
  // terminating zero, if stored with one) on return.
  virtual long QueryValueEx(RegKey key, const std::string& name, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t* size) = 0;
  virtual long CloseKey(RegKey key) = 0;
};

class ISystemVersion {
 public:
  virtual ~ISystemVersion() = default;
  virtual std::uint32_t GetVersion() = 0;
};

}  // namespace kolvane
