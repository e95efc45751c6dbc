#include "platform/win32/win32_registry.h"

#include <windows.h>

#include "platform/win32/system_deps.h"

namespace kolvane {

namespace {

// The seam names HKEY_LOCAL_MACHINE by its 32-bit value; the system's
// predefined handle is that value sign-extended.
HKEY ToHkey(RegKey key) {
  if (key == kHKeyLocalMachine) return HKEY_LOCAL_MACHINE;
  return reinterpret_cast<HKEY>(key);
}

RegKey FromHkey(HKEY key) {
  return reinterpret_cast<RegKey>(key);
}

}  // namespace

long Win32Registry::OpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                              RegKey* result) {
  if (result == nullptr) return kRegInvalidParameter;
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access, &key);
  *result = status == ERROR_SUCCESS ? FromHkey(key) : 0;
  return status;
}

long Win32Registry::OpenKey(RegKey parent, const std::string& subKey, RegKey* result) {
  if (result == nullptr) return kRegInvalidParameter;
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyA(ToHkey(parent), subKey.c_str(), &key);
  *result = status == ERROR_SUCCESS ? FromHkey(key) : 0;
  return status;
}

long Win32Registry::QueryValueEx(RegKey key, const std::string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) {
  DWORD valueType = 0;
  DWORD valueSize = size != nullptr ? *size : 0;
  const LONG status = ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType, data,
                                         size != nullptr ? &valueSize : nullptr);
  if (type != nullptr) *type = valueType;
  if (size != nullptr) *size = valueSize;
  return status;
}

long Win32Registry::CloseKey(RegKey key) {
  if (key == kHKeyLocalMachine) return kRegSuccess;
  return ::RegCloseKey(ToHkey(key));
}

std::uint32_t Win32SystemVersion::GetVersion() {
  return ::GetVersion();
}

std::unique_ptr<IRegistry> MakeRegistry() {
  return std::make_unique<Win32Registry>();
}

std::unique_ptr<ISystemVersion> MakeSystemVersion() {
  return std::make_unique<Win32SystemVersion>();
}

}  // namespace kolvane
