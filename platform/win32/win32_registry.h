// The registry and version seams on the Win32 API.
#pragma once

#include "platform/bridge.h"

namespace kolvane {

class Win32Registry : public IRegistry {
 public:
  long OpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                 RegKey* result) override;
  long OpenKey(RegKey parent, const std::string& subKey, RegKey* result) override;
  long QueryValueEx(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override;
  long CloseKey(RegKey key) override;
};

class Win32SystemVersion : public ISystemVersion {
 public:
  std::uint32_t GetVersion() override;
};

}  // namespace kolvane
