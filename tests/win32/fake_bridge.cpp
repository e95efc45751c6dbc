#include "tests/win32/fake_bridge.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

FakeBridgeSetup setup{};
std::string calls;

void Note(const std::string& call) {
  calls += call + "\n";
}

bool IsDevice(HANDLE h) {
  return reinterpret_cast<std::intptr_t>(h) == kFakeBridgeDevice;
}

}  // namespace

extern "C" {

__declspec(dllexport) void FakeBridgeSetUp(const FakeBridgeSetup* s) {
  setup = *s;
  calls.clear();
}

__declspec(dllexport) void FakeBridgeCalls(char* buffer, int size) {
  const std::size_t n = std::min(calls.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, calls.data(), n);
  buffer[n] = '\0';
}

int WINAPI FakeGetNumDevices(DWORD* count) {
  Note("count");
  *count = setup.count;
  return 0;
}

int WINAPI FakeOpen(DWORD index, HANDLE* handle) {
  Note("open " + std::to_string(index));
  *handle = setup.openStatus == 0 ? reinterpret_cast<HANDLE>(kFakeBridgeDevice) : nullptr;
  return setup.openStatus;
}

int WINAPI FakeClose(HANDLE handle) {
  Note(IsDevice(handle) ? "close" : "close of a bad handle");
  return 0;
}

int WINAPI FakeGetSerial(HANDLE handle, void* buffer, BYTE* length, BOOL ascii) {
  Note(std::string(IsDevice(handle) ? "serial" : "serial of a bad handle") +
       (ascii == TRUE ? " ascii" : " wide"));
  std::memcpy(buffer, setup.serial, 64);
  *length = setup.serialLength;
  return 0;
}

int WINAPI FakeGetVid(HANDLE handle, WORD* vid) {
  Note(IsDevice(handle) ? "vid" : "vid of a bad handle");
  *vid = setup.vid;
  return 0;
}

int WINAPI FakeGetPid(HANDLE handle, WORD* pid) {
  Note(IsDevice(handle) ? "pid" : "pid of a bad handle");
  *pid = setup.pid;
  return 0;
}

}  // extern "C"
