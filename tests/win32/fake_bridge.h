// A stand-in for the bridge vendor's DLL, built under its name for the tests
// of the library loader. Its entries are the vendor's ordinals; the test
// sets it up and reads back what was called through the named entries.
#pragma once

#include <cstdint>

struct FakeBridgeSetup {
  std::uint32_t count;
  int openStatus;
  std::uint16_t vid;
  std::uint16_t pid;
  char serial[80];  // up to 64 bytes reach the caller's buffer
  std::uint8_t serialLength;
};

// Handle the fake gives for device 0.
inline constexpr std::intptr_t kFakeBridgeDevice = 0x5A5A;

extern "C" {
using FakeBridgeSetupFn = void (*)(const FakeBridgeSetup*);
// Writes the calls so far, one per line, into buffer (size bytes, terminated).
using FakeBridgeCallsFn = void (*)(char* buffer, int size);
}
