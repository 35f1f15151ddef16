// The Linux adapter list: the interfaces that can carry an IPv4 multicast stream, in
// interface-index order.
#include "platform/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include <algorithm>
#include <fstream>
#include <map>

#include "platform/posix/adapter_filter.h"

namespace platform {

bool CarriesMulticastStream(unsigned flags) {
  return (flags & IFF_LOOPBACK) == 0 && (flags & IFF_MULTICAST) != 0;
}

namespace {

// The flags of an interface that getifaddrs did not list; 0 (not listed) when they cannot
// be read.
unsigned InterfaceFlags(const std::string& name) {
  ifreq req{};
  if (name.size() >= sizeof req.ifr_name) return 0;
  std::memcpy(req.ifr_name, name.data(), name.size());
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  const int rc = ioctl(fd, SIOCGIFFLAGS, &req);
  close(fd);
  return rc == 0 ? static_cast<unsigned short>(req.ifr_flags) : 0u;
}

// The device's model as udev recorded it ("ID_MODEL_FROM_DATABASE=..."), or "".
std::string UdevModel(unsigned index) {
  std::ifstream in("/run/udev/data/n" + std::to_string(index));
  std::string line;
  std::string fallback;
  while (std::getline(in, line)) {
    if (line.rfind("E:ID_MODEL_FROM_DATABASE=", 0) == 0) return line.substr(25);
    if (line.rfind("E:ID_MODEL=", 0) == 0) fallback = line.substr(11);
  }
  return fallback;
}

}  // namespace

AdapterListStatus ListAdapters(std::vector<AdapterInfo>& out) {
  out.clear();
  ifaddrs* addrs = nullptr;
  if (getifaddrs(&addrs) != 0) return AdapterListStatus::Error;

  struct Entry {
    std::string ipv4 = "0.0.0.0";
    unsigned flags = 0;
    bool haveFlags = false;
    bool haveAddr = false;
  };
  std::map<std::string, Entry> byName;
  for (ifaddrs* a = addrs; a != nullptr; a = a->ifa_next) {
    Entry& e = byName[a->ifa_name];
    e.flags = a->ifa_flags;
    e.haveFlags = true;
    // getifaddrs lists an interface's IPv4 addresses in the order they were added: the
    // first one is the primary address.
    if (!e.haveAddr && a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET) {
      char text[INET_ADDRSTRLEN] = {};
      const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
      if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) != nullptr) {
        e.ipv4 = text;
        e.haveAddr = true;
      }
    }
  }
  freeifaddrs(addrs);

  // Interfaces that getifaddrs leaves out (no address of any family) are still adapters.
  if (struct if_nameindex* names = if_nameindex()) {
    for (struct if_nameindex* n = names; n->if_index != 0; ++n) byName.try_emplace(n->if_name);
    if_freenameindex(names);
  }

  for (auto& [name, e] : byName) {
    if (!e.haveFlags) e.flags = InterfaceFlags(name);
    if (!CarriesMulticastStream(e.flags)) continue;
    unsigned index = if_nametoindex(name.c_str());
    if (index == 0) continue;  // went away while we looked
    AdapterInfo info;
    info.name = name;
    info.index = index;
    info.ipv4 = e.ipv4;
    std::string model = UdevModel(index);
    info.description = model.empty() ? name : name + " " + model;
    out.push_back(std::move(info));
  }
  std::sort(out.begin(), out.end(),
            [](const AdapterInfo& a, const AdapterInfo& b) { return a.index < b.index; });
  return out.empty() ? AdapterListStatus::NoAdapters : AdapterListStatus::Ok;
}

// Interface names and models are UTF-8, the system's own 8-bit encoding.
std::string CutAdapterDescription(const std::string& description, std::size_t maxBytes) {
  return CutUtf8(description, maxBytes);
}

}  // namespace platform
