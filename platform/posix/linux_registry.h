// A read-only registry holding what this machine's bridges would leave in it:
// for each bridge the key HKLM SYSTEM\CurrentControlSet\Enum\USB
// \Vid_vvvv&Pid_pppp&Mi_00\<serial>_00\Device Parameters, whose "PortName"
// is COM<k+1> for the ttyUSB<k> of its interface 0 (as the serial ports number).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/bridge.h"

namespace kolvane {

class LinuxRegistry : public IRegistry {
 public:
  explicit LinuxRegistry(std::filesystem::path sysfsRoot = "/sys");

  long OpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                 RegKey* result) override;
  long OpenKey(RegKey parent, const std::string& subKey, RegKey* result) override;
  long QueryValueEx(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override;
  long CloseKey(RegKey key) override;

 private:
  using KeyPath = std::vector<std::string>;  // names below HKLM

  // The path of subKey below parent, if that key exists.
  long Resolve(RegKey parent, const std::string& subKey, KeyPath* path) const;
  RegKey Grant(KeyPath path);
  bool Exists(const KeyPath& path) const;
  // The text of the value, or empty if there is none.
  std::string ValueOf(const KeyPath& path, const std::string& name) const;

  std::filesystem::path root_;
  std::map<RegKey, KeyPath> open_;
  RegKey nextKey_ = 1;
};

}  // namespace kolvane
