// Why a COM port that exists could not be opened, and what the user can do
// about it, in one line for the terminal the program was started from.
#pragma once

#include <cstdint>
#include <string>

namespace kolvane {

// "/dev/ttyUSB0 (COM1): permission denied; ..." for an open that failed with
// the given errno; empty when the device simply does not exist.
std::string DescribePortOpenFailure(const std::string& comName, std::uint32_t error);

}  // namespace kolvane
