// UDP socket operations of the multicast sender and the device simulator.
//
// A thin, neutral layer over the system's socket interface: Winsock 2.2 on Windows,
// BSD sockets on POSIX. Addresses and ports are passed in network byte order, as
// inet_addr and htons give them. Every operation answers 0 for success and -1 for
// failure unless it says otherwise; the caller decides what a failure means.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using Socket = std::intptr_t;
inline constexpr Socket kInvalidSocket = -1;

// The socket layer's start and clean-up pair (WSAStartup / WSACleanup). Start asks for
// version major.minor and reports the version granted as (major, minor); each successful
// start is matched by exactly one clean-up. The POSIX layer needs no start and always
// grants 2.2.
int SocketStartup(std::uint8_t wantMajor, std::uint8_t wantMinor, std::uint8_t* grantedMajor,
                  std::uint8_t* grantedMinor);
void SocketCleanup();

// A UDP socket: family AF_INET, type SOCK_DGRAM, protocol 0. kInvalidSocket on failure.
Socket OpenUdpSocket();

int SetReuseAddress(Socket s, int value);                           // SOL_SOCKET, SO_REUSEADDR
int BindIPv4(Socket s, std::uint32_t addr, std::uint16_t port);      // AF_INET bind
int JoinMulticastGroup(Socket s, std::uint32_t group, std::uint32_t ifaceAddr);  // IP_ADD_MEMBERSHIP
// IP_ADD_MEMBERSHIP on the interface with this system index (for a receiver on an
// interface that has no IPv4 address of its own).
int JoinMulticastGroupOnIndex(Socket s, std::uint32_t group, unsigned ifaceIndex);
int SetMulticastTtl(Socket s, int ttl);                              // IP_MULTICAST_TTL
int SetMulticastLoop(Socket s, int on);                              // IP_MULTICAST_LOOP
int SetMulticastInterface(Socket s, std::uint32_t ifaceAddr);        // IP_MULTICAST_IF
// Ties the socket's multicast datagrams to the interface with this system index, so that they
// leave by that interface or not at all, even where another interface holds the same address
// (Linux: IP_MULTICAST_IF with the interface index). Windows gives one address to one adapter
// only, so IP_MULTICAST_IF by address already names it: there this answers 0 and does nothing.
int PinMulticastInterface(Socket s, std::uint32_t ifaceAddr, unsigned ifaceIndex);

// One datagram to addr:port with no flags; answers the number of bytes the system
// reports sent, or -1.
long SendTo(Socket s, const void* data, std::size_t len, std::uint32_t addr, std::uint16_t port);

// One datagram, waiting at most timeoutMs milliseconds. Answers its full length (the copy
// into buf is cut to len),
// 0 when the time ran out, -1 on error. *fromAddr receives the sender's address.
long ReceiveFrom(Socket s, void* buf, std::size_t len, int timeoutMs, std::uint32_t* fromAddr);

// For a receiver that must hear one interface only. SetMulticastAll(s, 0) turns off Linux's
// IP_MULTICAST_ALL, so that the socket gets a group's datagrams only from the interfaces on
// which it joined the group itself, not from every interface where any socket joined it;
// Winsock delivers only the socket's own memberships and answers 0 without asking.
int SetMulticastAll(Socket s, int on);
// IP_PKTINFO: ReceiveWithInfo then tells the interface a datagram came in on and the
// destination address in its IP header.
int SetPacketInfo(Socket s, int on);

struct SReceiveInfo {
  std::uint32_t fromAddr = 0;  // sender's address (network byte order)
  std::uint32_t toAddr = 0;    // destination address of the IP header (network byte order)
  unsigned ifaceIndex = 0;     // system index of the interface it came in on; 0 when unknown
};
// ReceiveFrom with the arrival details of SetPacketInfo (toAddr and ifaceIndex stay 0 when
// the system gave none). Same answers as ReceiveFrom.
long ReceiveWithInfo(Socket s, void* buf, std::size_t len, int timeoutMs, SReceiveInfo* info);

void ShutdownBoth(Socket s);  // shutdown in both directions; the answer is ignored
void CloseSocket(Socket s);   // closesocket / close; the answer is ignored

// Dotted-decimal text to an address in network byte order, as inet_addr converts it;
// kAddrNone (255.255.255.255) for a text it cannot read, the empty text included.
inline constexpr std::uint32_t kAddrNone = 0xFFFFFFFFu;
std::uint32_t InetAddr(const char* text);
std::uint16_t HostToNet16(std::uint16_t v);  // htons

}  // namespace platform
