// The system's rpcbind, through libtirpc (Linux). Kept apart from the
// rest, whose rpc/ folder shares header names with libtirpc's.
#pragma once

#include <cstdint>
#include <string>

namespace kolvane::server {

// Whether an rpcbind (or another portmapper) answers on this machine: its
// local socket, or port 111 on the loopback address.
bool RpcbindRuns();
// Registers VXI-11's core channel (program 0x0607AF, version 1, TCP) on
// port; false when rpcbind refused.
bool RpcbindRegister(std::uint16_t port);
void RpcbindUnregister();

}  // namespace kolvane::server
