#include "app/scpi/rpcbind.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace kolvane::server {

namespace {

constexpr unsigned long kCoreProgram = 0x0607AF;
constexpr unsigned long kCoreVersion = 1;

bool Connects(int family, const sockaddr* address, socklen_t size) {
  const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, address, size) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool RpcbindRuns() {
  sockaddr_un local{};
  local.sun_family = AF_UNIX;
  std::strncpy(local.sun_path, "/run/rpcbind.sock", sizeof local.sun_path - 1);
  if (Connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&local), sizeof local)) return true;
  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_port = htons(111);
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return Connects(AF_INET, reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback);
}

bool RpcbindRegister(std::uint16_t port) {
  return pmap_set(kCoreProgram, kCoreVersion, IPPROTO_TCP, port) != 0;
}

void RpcbindUnregister() {
  pmap_unset(kCoreProgram, kCoreVersion);
}

}  // namespace kolvane::server
