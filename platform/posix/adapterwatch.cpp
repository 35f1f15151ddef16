// Following the chosen adapter on Linux: looked up by interface name, woken by rtnetlink.
#include "platform/adapterwatch.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace platform {

bool FindAdapterByName(const std::string& name, AdapterInfo* out, bool* linkUp) {
  const unsigned index = if_nametoindex(name.c_str());
  if (index == 0) return false;
  ifaddrs* addrs = nullptr;
  if (getifaddrs(&addrs) != 0) return false;
  AdapterInfo info;
  info.name = name;
  info.description = name;
  info.index = index;
  info.ipv4 = "0.0.0.0";
  bool haveAddr = false;
  unsigned flags = 0;
  for (ifaddrs* a = addrs; a != nullptr; a = a->ifa_next) {
    if (name != a->ifa_name) continue;
    flags |= a->ifa_flags;
    if (!haveAddr && a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET) {
      char text[INET_ADDRSTRLEN] = {};
      const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
      if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) != nullptr) {
        info.ipv4 = text;
        haveAddr = true;
      }
    }
  }
  freeifaddrs(addrs);
  // An interface with no address of any family is not in getifaddrs' list: it has no
  // address, and its flags are read from the socket layer.
  if (flags == 0) {
    ifreq req{};
    name.copy(req.ifr_name, IFNAMSIZ - 1);
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s >= 0) {
      if (ioctl(s, SIOCGIFFLAGS, &req) == 0) flags = static_cast<unsigned short>(req.ifr_flags);
      close(s);
    }
  }
  // IFF_RUNNING: up with its carrier. A datagram sent without one goes nowhere, and the
  // system may still report it sent.
  *linkUp = (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0;
  *out = std::move(info);
  return true;
}

struct AdapterChangeWatch::Impl {
  int fd = -1;
};

AdapterChangeWatch::AdapterChangeWatch() : impl_(new Impl) {
  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (fd < 0) return;
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd);
    return;
  }
  impl_->fd = fd;
}

AdapterChangeWatch::~AdapterChangeWatch() {
  if (impl_->fd >= 0) close(impl_->fd);
  delete impl_;
}

bool AdapterChangeWatch::Notifies() const { return impl_->fd >= 0; }

bool AdapterChangeWatch::Wait(int timeoutMs, bool (*stop)()) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (stop != nullptr && stop()) return false;
    const auto leftUs = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
    if (leftUs <= 0) return false;
    const int slice = static_cast<int>(std::min<long long>((leftUs + 999) / 1000, kStopCheckMs));
    if (impl_->fd < 0) {
      poll(nullptr, 0, slice);
      continue;
    }
    pollfd p{impl_->fd, POLLIN, 0};
    if (poll(&p, 1, slice) > 0 && (p.revents & POLLIN) != 0) {
      // Every message queued so far is one notice: read them all.
      char buf[8192];
      bool any = false;
      for (;;) {
        const ssize_t n = recv(impl_->fd, buf, sizeof buf, 0);
        if (n > 0 || (n < 0 && errno == ENOBUFS)) {  // ENOBUFS: notices were lost, so something changed
          any = true;
          continue;
        }
        break;
      }
      if (any) return true;
    }
  }
}

}  // namespace platform
