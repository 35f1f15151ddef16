// BSD sockets behind platform/socket.h.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

int Fd(Socket s) { return static_cast<int>(s); }

int SetIntOption(Socket s, int level, int option, int value) {
  return setsockopt(Fd(s), level, option, &value, sizeof value) == 0 ? 0 : -1;
}

sockaddr_in IPv4(std::uint32_t addr, std::uint16_t port) {
  sockaddr_in sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = addr;
  sa.sin_port = port;
  return sa;
}

// Waits at most timeoutMs for a datagram: 1 when one is there, 0 when the time ran out or a
// signal came, -1.
int WaitReadable(Socket s, int timeoutMs) {
  pollfd p{Fd(s), POLLIN, 0};
  const int r = poll(&p, 1, timeoutMs);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r > 0 ? 1 : 0;
}

}  // namespace

int SocketStartup(std::uint8_t, std::uint8_t, std::uint8_t* grantedMajor, std::uint8_t* grantedMinor) {
  if (grantedMajor) *grantedMajor = 2;
  if (grantedMinor) *grantedMinor = 2;
  return 0;
}

void SocketCleanup() {}

Socket OpenUdpSocket() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kInvalidSocket : static_cast<Socket>(fd);
}

int SetReuseAddress(Socket s, int value) { return SetIntOption(s, SOL_SOCKET, SO_REUSEADDR, value); }

int BindIPv4(Socket s, std::uint32_t addr, std::uint16_t port) {
  sockaddr_in sa = IPv4(addr, port);
  return bind(Fd(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int JoinMulticastGroup(Socket s, std::uint32_t group, std::uint32_t ifaceAddr) {
  ip_mreq mreq;
  std::memset(&mreq, 0, sizeof mreq);
  mreq.imr_multiaddr.s_addr = group;
  mreq.imr_interface.s_addr = ifaceAddr;
  return setsockopt(Fd(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) == 0 ? 0 : -1;
}

int JoinMulticastGroupOnIndex(Socket s, std::uint32_t group, unsigned ifaceIndex) {
  ip_mreqn mreq;
  std::memset(&mreq, 0, sizeof mreq);
  mreq.imr_multiaddr.s_addr = group;
  mreq.imr_ifindex = static_cast<int>(ifaceIndex);
  return setsockopt(Fd(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) == 0 ? 0 : -1;
}

int SetMulticastTtl(Socket s, int ttl) { return SetIntOption(s, IPPROTO_IP, IP_MULTICAST_TTL, ttl); }

int SetMulticastLoop(Socket s, int on) { return SetIntOption(s, IPPROTO_IP, IP_MULTICAST_LOOP, on); }

int SetMulticastInterface(Socket s, std::uint32_t ifaceAddr) {
  in_addr a;
  a.s_addr = ifaceAddr;
  return setsockopt(Fd(s), IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a) == 0 ? 0 : -1;
}

int PinMulticastInterface(Socket s, std::uint32_t ifaceAddr, unsigned ifaceIndex) {
  ip_mreqn m{};
  m.imr_address.s_addr = ifaceAddr;
  m.imr_ifindex = static_cast<int>(ifaceIndex);
  return setsockopt(Fd(s), IPPROTO_IP, IP_MULTICAST_IF, &m, sizeof m) == 0 ? 0 : -1;
}

long SendTo(Socket s, const void* data, std::size_t len, std::uint32_t addr, std::uint16_t port) {
  sockaddr_in sa = IPv4(addr, port);
  ssize_t n;
  do {
    n = sendto(Fd(s), data, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<long>(n);
}

long ReceiveFrom(Socket s, void* buf, std::size_t len, int timeoutMs, std::uint32_t* fromAddr) {
  const int r = WaitReadable(s, timeoutMs);
  if (r <= 0) return r;
  sockaddr_in from;
  socklen_t fromLen = sizeof from;
  ssize_t n = recvfrom(Fd(s), buf, len, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) return errno == EINTR || errno == EAGAIN ? 0 : -1;
  if (fromAddr) *fromAddr = from.sin_addr.s_addr;
  return static_cast<long>(n);
}

int SetMulticastAll(Socket s, int on) { return SetIntOption(s, IPPROTO_IP, IP_MULTICAST_ALL, on); }

int SetPacketInfo(Socket s, int on) { return SetIntOption(s, IPPROTO_IP, IP_PKTINFO, on); }

long ReceiveWithInfo(Socket s, void* buf, std::size_t len, int timeoutMs, SReceiveInfo* info) {
  const int r = WaitReadable(s, timeoutMs);
  if (r <= 0) return r;
  sockaddr_in from;
  std::memset(&from, 0, sizeof from);
  iovec iov{buf, len};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
  msghdr msg;
  std::memset(&msg, 0, sizeof msg);
  msg.msg_name = &from;
  msg.msg_namelen = sizeof from;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t n = recvmsg(Fd(s), &msg, MSG_TRUNC);
  if (n < 0) return errno == EINTR || errno == EAGAIN ? 0 : -1;
  if (info) {
    *info = SReceiveInfo{};
    info->fromAddr = from.sin_addr.s_addr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo pi;
      std::memcpy(&pi, CMSG_DATA(c), sizeof pi);
      info->toAddr = pi.ipi_addr.s_addr;
      info->ifaceIndex = static_cast<unsigned>(pi.ipi_ifindex);
    }
  }
  return static_cast<long>(n);
}

void ShutdownBoth(Socket s) { (void)shutdown(Fd(s), SHUT_RDWR); }

void CloseSocket(Socket s) { (void)close(Fd(s)); }

std::uint32_t InetAddr(const char* text) {
  in_addr a;
  if (text == nullptr || inet_aton(text, &a) == 0) return kAddrNone;
  return a.s_addr;
}

std::uint16_t HostToNet16(std::uint16_t v) { return htons(v); }

}  // namespace platform
