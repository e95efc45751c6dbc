#include "platform/win32/bridge_dll.h"

#include <windows.h>

#include <utility>

#include "platform/win32/system_deps.h"

namespace kolvane {

namespace {

using GetNumDevicesFn = int(WINAPI*)(DWORD* count);
using OpenFn = int(WINAPI*)(DWORD index, HANDLE* handle);
using CloseFn = int(WINAPI*)(HANDLE handle);
using GetSerialFn = int(WINAPI*)(HANDLE handle, void* buffer, BYTE* length, BOOL ascii);
using GetIdFn = int(WINAPI*)(HANDLE handle, WORD* id);

// The library exports these by ordinal only.
constexpr WORD kGetNumDevices = 1;
constexpr WORD kOpen = 3;
constexpr WORD kClose = 4;
constexpr WORD kGetSerial = 13;
constexpr WORD kGetVid = 14;
constexpr WORD kGetPid = 15;

template <typename Fn>
Fn Entry(HMODULE module, WORD ordinal) {
  // GetProcAddress hands every entry back as one generic pointer type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
  return reinterpret_cast<Fn>(::GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
#pragma GCC diagnostic pop
}

HANDLE ToHandle(BridgeHandle h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

struct Win32BridgeLibrary::Entries {
  GetNumDevicesFn getNumDevices;
  OpenFn open;
  CloseFn close;
  GetSerialFn getSerial;
  GetIdFn getVid;
  GetIdFn getPid;
};

Win32BridgeLibrary::Win32BridgeLibrary(const std::string& dllName) {
  // No message box when the DLL or one it needs is missing.
  const UINT previousMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryA(dllName.c_str());
  ::SetErrorMode(previousMode);
  if (module == nullptr) return;
  auto entries = std::make_unique<Entries>(
      Entries{Entry<GetNumDevicesFn>(module, kGetNumDevices), Entry<OpenFn>(module, kOpen),
              Entry<CloseFn>(module, kClose), Entry<GetSerialFn>(module, kGetSerial),
              Entry<GetIdFn>(module, kGetVid), Entry<GetIdFn>(module, kGetPid)});
  // A DLL that lacks one of them is not the library this program knows.
  if (entries->getNumDevices == nullptr || entries->open == nullptr || entries->close == nullptr ||
      entries->getSerial == nullptr || entries->getVid == nullptr || entries->getPid == nullptr) {
    ::FreeLibrary(module);
    return;
  }
  module_ = module;
  entries_ = std::move(entries);
}

Win32BridgeLibrary::~Win32BridgeLibrary() {
  entries_.reset();
  if (module_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(module_));
}

int Win32BridgeLibrary::GetNumDevices(std::uint32_t* count) {
  if (count == nullptr) return kBridgeInvalidParameter;
  *count = 0;
  if (entries_ == nullptr) return kBridgeDeviceNotFound;
  DWORD n = 0;
  const int status = entries_->getNumDevices(&n);
  *count = n;
  return status;
}

int Win32BridgeLibrary::Open(std::uint32_t index, BridgeHandle* handle) {
  if (handle == nullptr) return kBridgeInvalidParameter;
  *handle = 0;
  if (entries_ == nullptr) return kBridgeDeviceNotFound;
  HANDLE h = nullptr;
  const int status = entries_->open(index, &h);
  *handle = reinterpret_cast<BridgeHandle>(h);
  return status;
}

int Win32BridgeLibrary::GetDeviceVid(BridgeHandle handle, std::uint16_t* vid) {
  if (vid == nullptr) return kBridgeInvalidParameter;
  if (entries_ == nullptr) return kBridgeInvalidHandle;
  WORD value = 0;
  const int status = entries_->getVid(ToHandle(handle), &value);
  *vid = value;
  return status;
}

int Win32BridgeLibrary::GetDevicePid(BridgeHandle handle, std::uint16_t* pid) {
  if (pid == nullptr) return kBridgeInvalidParameter;
  if (entries_ == nullptr) return kBridgeInvalidHandle;
  WORD value = 0;
  const int status = entries_->getPid(ToHandle(handle), &value);
  *pid = value;
  return status;
}

int Win32BridgeLibrary::GetDeviceSerialNumber(BridgeHandle handle, char* buffer,
                                              std::uint8_t* length, bool isAscii) {
  if (buffer == nullptr || length == nullptr) return kBridgeInvalidParameter;
  if (entries_ == nullptr) return kBridgeInvalidHandle;
  BYTE n = 0;
  const int status = entries_->getSerial(ToHandle(handle), buffer, &n, isAscii ? TRUE : FALSE);
  *length = n;
  return status;
}

int Win32BridgeLibrary::Close(BridgeHandle handle) {
  if (entries_ == nullptr) return kBridgeInvalidHandle;
  return entries_->close(ToHandle(handle));
}

std::unique_ptr<IBridgeLibrary> MakeBridgeLibrary() {
  return std::make_unique<Win32BridgeLibrary>();
}

}  // namespace kolvane
