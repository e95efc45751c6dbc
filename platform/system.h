// This system's own implementations of the seams, made together for a
// program that runs on them. Each platform (posix/, win32/) makes its own.
#pragma once

#include <memory>

#include "platform/bridge.h"
#include "platform/clock.h"
#include "platform/serial.h"

namespace kolvane {

struct SystemServices {
  std::unique_ptr<ISerialPorts> ports;
  std::unique_ptr<IClock> clock;
  std::unique_ptr<IBridgeLibrary> bridge;
  std::unique_ptr<IRegistry> registry;
  std::unique_ptr<ISystemVersion> version;
};

SystemServices MakeSystemServices();

}  // namespace kolvane
