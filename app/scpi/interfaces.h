// The machine's own addresses, for the identification document of a
// server that listens on 0.0.0.0 or [::]: each with its interface's name,
// mask, hardware address and gateway as the system reports them now.
#pragma once

#include <vector>

#include "app/scpi/web.h"

namespace kolvane::server {

std::vector<web::NetInterface> MachineInterfaces();

}  // namespace kolvane::server
