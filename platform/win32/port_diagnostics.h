// Why a COM port that exists could not be opened, in one line for the
// console the program was started from.
#pragma once

#include <cstdint>
#include <string>

namespace kolvane {

// "COM3: busy; another program holds it" for the system error of a failed
// open of "COM3:"; empty when the port does not exist.
std::string DescribePortOpenFailure(const std::string& comName, std::uint32_t error);

}  // namespace kolvane
