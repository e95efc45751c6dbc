#include <winsock2.h>
#include <ws2tcpip.h>
// The IP helper API needs Winsock's types first.
#include <iphlpapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/scpi/interfaces.h"

namespace kolvane::server {

namespace {

std::string Text(const SOCKET_ADDRESS& a) {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (a.lpSockaddr == nullptr) return {};
  DWORD size = sizeof buffer;
  if (WSAAddressToStringA(a.lpSockaddr, static_cast<DWORD>(a.iSockaddrLength), nullptr, buffer,
                          &size) != 0) {
    return {};
  }
  std::string s = buffer;
  // A scope ("%12") is no part of the address shown.
  return s.substr(0, s.find('%'));
}

std::string Mask(int family, unsigned bits) {
  if (family == AF_INET6) return "/" + std::to_string(bits);
  const unsigned long m = bits == 0 ? 0 : 0xFFFFFFFFul << (32 - bits);
  return std::to_string((m >> 24) & 255) + "." + std::to_string((m >> 16) & 255) + "." +
         std::to_string((m >> 8) & 255) + "." + std::to_string(m & 255);
}

}  // namespace

std::vector<web::NetInterface> MachineInterfaces() {
  std::vector<web::NetInterface> out;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG r = ERROR_BUFFER_OVERFLOW;
  for (int tries = 0; tries < 3 && r == ERROR_BUFFER_OVERFLOW; ++tries) {
    buffer.resize(size);
    r = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_INCLUDE_GATEWAYS, nullptr,
                             reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (r != NO_ERROR) return out;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr;
       a = a->Next) {
    if (a->OperStatus != IfOperStatusUp) continue;
    std::string mac;
    for (ULONG k = 0; k < 6; ++k) {
      char part[4];
      std::snprintf(part, sizeof part, "%s%02x", k == 0 ? "" : ":",
                    k < a->PhysicalAddressLength ? a->PhysicalAddress[k] : 0);
      mac += part;
    }
    std::string gateway4 = "0.0.0.0";
    for (auto* g = a->FirstGatewayAddress; g != nullptr; g = g->Next) {
      if (g->Address.lpSockaddr->sa_family == AF_INET) {
        gateway4 = Text(g->Address);
        break;
      }
    }
    for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      const int family = u->Address.lpSockaddr->sa_family;
      web::NetInterface n;
      n.name = a->AdapterName;
      n.v6 = family == AF_INET6;
      n.address = Text(u->Address);
      n.netmask = Mask(family, u->OnLinkPrefixLength);
      n.mac = mac;
      n.gateway = n.v6 ? "::" : gateway4;
      n.dhcp = !n.v6 && (a->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
      out.push_back(std::move(n));
    }
  }
  return out;
}

}  // namespace kolvane::server
