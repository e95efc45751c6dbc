// The real implementations of the seams on this system.
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
