// Which Linux interfaces the adapter list holds: those that can carry the sender's IPv4
// multicast stream. Loopback never leaves the machine, and an interface without
// IFF_MULTICAST (an ifb, a WireGuard tunnel) cannot send to the group; Windows' list, which
// holds only network adapters, has neither.
#pragma once

namespace platform {

// flags: the interface's flags word as SIOCGIFFLAGS and getifaddrs give it (IFF_*).
bool CarriesMulticastStream(unsigned flags);

}  // namespace platform
