#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/scpi/interfaces.h"

namespace kolvane::server {

namespace {

std::string Text(const sockaddr* a) {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (a == nullptr) return {};
  if (a->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, buffer, sizeof buffer);
  } else if (a->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, buffer,
              sizeof buffer);
  }
  return buffer;
}

// The IPv4 default gateway of each interface, from the kernel's table.
std::map<std::string, std::string> Gateways() {
  std::map<std::string, std::string> out;
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // the heading
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway;
    fields >> name >> destination >> gateway;
    if (destination != "00000000" || out.count(name) != 0) continue;
    const unsigned long g = std::stoul(gateway, nullptr, 16);  // in network order
    in_addr a{};
    a.s_addr = static_cast<in_addr_t>(g);
    char buffer[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buffer, sizeof buffer);
    out[name] = buffer;
  }
  return out;
}

}  // namespace

std::vector<web::NetInterface> MachineInterfaces() {
  std::vector<web::NetInterface> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  std::map<std::string, std::string> macs;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_PACKET) continue;
    const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
    std::string mac;
    for (int k = 0; k < 6; ++k) {
      char part[4];
      std::snprintf(part, sizeof part, "%s%02x", k == 0 ? "" : ":",
                    k < ll->sll_halen ? ll->sll_addr[k] : 0);
      mac += part;
    }
    macs[i->ifa_name] = mac;
  }
  const auto gateways = Gateways();
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr) continue;
    const int family = i->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    web::NetInterface n;
    n.name = i->ifa_name;
    n.v6 = family == AF_INET6;
    n.address = Text(i->ifa_addr);
    n.netmask = Text(i->ifa_netmask);
    n.mac = macs.count(n.name) != 0 ? macs[n.name] : "00:00:00:00:00:00";
    const auto g = gateways.find(n.name);
    n.gateway = n.v6 ? "::" : g != gateways.end() ? g->second : "0.0.0.0";
    out.push_back(std::move(n));
  }
  freeifaddrs(list);
  return out;
}

}  // namespace kolvane::server
