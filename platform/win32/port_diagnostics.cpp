#include "platform/win32/port_diagnostics.h"

#include <windows.h>

namespace kolvane {

std::string DescribePortOpenFailure(const std::string& comName, std::uint32_t error) {
  std::string port = comName;
  if (!port.empty() && port.back() == ':') port.pop_back();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    return port + ": busy; another program holds it";
  }
  return port + ": cannot be opened (error " + std::to_string(error) + ")";
}

}  // namespace kolvane
