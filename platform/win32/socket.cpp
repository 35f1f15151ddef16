// Winsock 2.2 behind platform/socket.h.
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <cstring>

namespace platform {
namespace {

SOCKET Sock(Socket s) { return static_cast<SOCKET>(s); }

int SetIntOption(Socket s, int level, int option, int value) {
  return setsockopt(Sock(s), level, option, reinterpret_cast<const char*>(&value), sizeof value) == 0 ? 0 : -1;
}

sockaddr_in IPv4(std::uint32_t addr, std::uint16_t port) {
  sockaddr_in sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = addr;
  sa.sin_port = port;
  return sa;
}

// Waits at most timeoutMs for a datagram: 1 when one is there, 0 when the time ran out, -1.
int WaitReadable(Socket s, int timeoutMs) {
  WSAPOLLFD p;
  p.fd = Sock(s);
  p.events = POLLRDNORM;
  p.revents = 0;
  const int r = WSAPoll(&p, 1, timeoutMs);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

}  // namespace

int SocketStartup(std::uint8_t wantMajor, std::uint8_t wantMinor, std::uint8_t* grantedMajor,
                  std::uint8_t* grantedMinor) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(wantMajor, wantMinor), &data) != 0) return -1;
  if (grantedMajor) *grantedMajor = LOBYTE(data.wVersion);
  if (grantedMinor) *grantedMinor = HIBYTE(data.wVersion);
  return 0;
}

void SocketCleanup() { WSACleanup(); }

Socket OpenUdpSocket() {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<Socket>(s);
}

int SetReuseAddress(Socket s, int value) { return SetIntOption(s, SOL_SOCKET, SO_REUSEADDR, value); }

int BindIPv4(Socket s, std::uint32_t addr, std::uint16_t port) {
  sockaddr_in sa = IPv4(addr, port);
  return bind(Sock(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int JoinMulticastGroup(Socket s, std::uint32_t group, std::uint32_t ifaceAddr) {
  ip_mreq mreq;
  std::memset(&mreq, 0, sizeof mreq);
  mreq.imr_multiaddr.s_addr = group;
  mreq.imr_interface.s_addr = ifaceAddr;
  return setsockopt(Sock(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&mreq), sizeof mreq) == 0
             ? 0
             : -1;
}

int JoinMulticastGroupOnIndex(Socket s, std::uint32_t group, unsigned ifaceIndex) {
  // Winsock reads an interface "address" in 0.0.0.0/8 as an interface index.
  return JoinMulticastGroup(s, group, htonl(ifaceIndex));
}

int SetMulticastTtl(Socket s, int ttl) { return SetIntOption(s, IPPROTO_IP, IP_MULTICAST_TTL, ttl); }

int SetMulticastLoop(Socket s, int on) { return SetIntOption(s, IPPROTO_IP, IP_MULTICAST_LOOP, on); }

int SetMulticastInterface(Socket s, std::uint32_t ifaceAddr) {
  in_addr a;
  a.s_addr = ifaceAddr;
  return setsockopt(Sock(s), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&a), sizeof a) == 0 ? 0 : -1;
}

int PinMulticastInterface(Socket, std::uint32_t, unsigned) { return 0; }

long SendTo(Socket s, const void* data, std::size_t len, std::uint32_t addr, std::uint16_t port) {
  sockaddr_in sa = IPv4(addr, port);
  int n = sendto(Sock(s), static_cast<const char*>(data), static_cast<int>(len), 0,
                 reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

long ReceiveFrom(Socket s, void* buf, std::size_t len, int timeoutMs, std::uint32_t* fromAddr) {
  const int r = WaitReadable(s, timeoutMs);
  if (r <= 0) return r;
  sockaddr_in from;
  int fromLen = sizeof from;
  int n = recvfrom(Sock(s), static_cast<char*>(buf), static_cast<int>(len), 0, reinterpret_cast<sockaddr*>(&from),
                   &fromLen);
  if (n == SOCKET_ERROR) {
    // Winsock does not tell a longer datagram's length: say "longer than the buffer".
    if (WSAGetLastError() == WSAEMSGSIZE) n = static_cast<int>(len) + 1;
    else return -1;
  }
  if (fromAddr) *fromAddr = from.sin_addr.s_addr;
  return static_cast<long>(n);
}

int SetMulticastAll(Socket, int on) { return on ? -1 : 0; }

int SetPacketInfo(Socket s, int on) { return SetIntOption(s, IPPROTO_IP, IP_PKTINFO, on); }

long ReceiveWithInfo(Socket s, void* buf, std::size_t len, int timeoutMs, SReceiveInfo* info) {
  const int r = WaitReadable(s, timeoutMs);
  if (r <= 0) return r;
  LPFN_WSARECVMSG recvMsg = nullptr;
  GUID id = WSAID_WSARECVMSG;
  DWORD got = 0;
  if (WSAIoctl(Sock(s), SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &recvMsg, sizeof recvMsg, &got, nullptr,
               nullptr) == SOCKET_ERROR ||
      recvMsg == nullptr)
    return -1;
  sockaddr_in from;
  std::memset(&from, 0, sizeof from);
  WSABUF data{static_cast<ULONG>(len), static_cast<char*>(buf)};
  alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))];
  WSAMSG msg;
  std::memset(&msg, 0, sizeof msg);
  msg.name = reinterpret_cast<sockaddr*>(&from);
  msg.namelen = sizeof from;
  msg.lpBuffers = &data;
  msg.dwBufferCount = 1;
  msg.Control.buf = control;
  msg.Control.len = sizeof control;
  DWORD n = 0;
  if (recvMsg(Sock(s), &msg, &n, nullptr, nullptr) == SOCKET_ERROR) {
    // As ReceiveFrom: a longer datagram is "longer than the buffer".
    if (WSAGetLastError() == WSAEMSGSIZE) n = static_cast<DWORD>(len) + 1;
    else return -1;
  }
  if (info) {
    *info = SReceiveInfo{};
    info->fromAddr = from.sin_addr.s_addr;
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&msg); c != nullptr; c = WSA_CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
      IN_PKTINFO pi;
      std::memcpy(&pi, WSA_CMSG_DATA(c), sizeof pi);
      info->toAddr = pi.ipi_addr.s_addr;
      info->ifaceIndex = static_cast<unsigned>(pi.ipi_ifindex);
    }
  }
  return static_cast<long>(n);
}

void ShutdownBoth(Socket s) { (void)shutdown(Sock(s), SD_BOTH); }

void CloseSocket(Socket s) { (void)closesocket(Sock(s)); }

std::uint32_t InetAddr(const char* text) {
  if (text == nullptr || text[0] == '\0') return kAddrNone;
  return inet_addr(text);
}

std::uint16_t HostToNet16(std::uint16_t v) { return htons(v); }

}  // namespace platform
