#include "platform/posix/port_diagnostics.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_serial.h"

namespace kolvane {

std::string DescribePortOpenFailure(const std::string& comName, std::uint32_t error) {
  const auto path = SerialDevicePath(comName);
  if (!path || error == ENOENT || error == ENXIO || error == ENODEV) return {};
  std::string port = comName;
  if (!port.empty() && port.back() == ':') port.pop_back();
  const std::string where = *path + " (" + port + "): ";
  switch (error) {
    case EACCES:
    case EPERM:
      return where +
             "permission denied; add yourself to the dialout group "
             "(sudo usermod -aG dialout $USER, then log in again) or install the kolvane "
             "package, whose udev rule gives the user at the seat access";
    case EBUSY:
      return where + "busy; another program holds it (fuser -v " + *path + " names it)";
    default:
      return where + std::strerror(static_cast<int>(error));
  }
}

}  // namespace kolvane
