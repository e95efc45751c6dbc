// The real implementations of the seams on Windows; the clock is
// SystemClock in platform/win32/system_clock.h, as on POSIX.
#pragma once

#include <memory>

#include "platform/bridge.h"
#include "platform/serial.h"

namespace kolvane {

std::unique_ptr<ISerialPorts> MakeSerialPorts();
std::unique_ptr<IBridgeLibrary> MakeBridgeLibrary();
std::unique_ptr<IRegistry> MakeRegistry();
std::unique_ptr<ISystemVersion> MakeSystemVersion();

}  // namespace kolvane
