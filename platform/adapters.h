// The system's network adapter list (the stand-in for IP Helper's GetAdaptersInfo).
//
// Read afresh on every call, in a stable order: on Windows the order GetAdaptersInfo
// gives; on Linux the interfaces in interface-index order, leaving out those that cannot
// carry an IPv4 multicast stream (loopback, no IFF_MULTICAST), as Windows lists only
// network adapters.
#pragma once

#include <string>
#include <vector>

#include "platform/utf8.h"

namespace platform {

struct AdapterInfo {
  std::string description;  // what the operator reads: on Linux the interface name, then the model
  std::string ipv4;         // first IPv4 address, dotted text; "0.0.0.0" when it has none
  std::string name;         // the system's short name of the interface ("eth0"; on Windows the GUID)
  unsigned index = 0;       // the system's interface index
};

enum class AdapterListStatus {
  Ok,          // at least one adapter was listed
  NoAdapters,  // the system has no adapter (GetAdaptersInfo's ERROR_NO_DATA)
  Error,       // the list could not be read
};

AdapterListStatus ListAdapters(std::vector<AdapterInfo>& out);

}  // namespace platform

namespace platform {

inline constexpr std::size_t kAdapterDescriptionCut = 45;
inline constexpr std::size_t kAdapterAddressCut = 37;

// The longest start of a description (UTF-8) that takes at most maxBytes bytes in the code
// page the system gives descriptions in, without splitting a character: on Linux UTF-8
// itself; on Windows the ANSI code page, so that an entry holds what the system's 8-bit
// description held (and matches an entry stored from it).
std::string CutAdapterDescription(const std::string& description, std::size_t maxBytes);

// The text the adapter box shows for an adapter: its description cut to 45 bytes (fewer
// where the 45th would split a character), "...IP:", and its address cut to 37 bytes
// ("Ethernet Adapter...IP:192.168.1.20"). Both are C texts: each ends at its first zero
// byte, if it holds one.
inline std::string AdapterEntryText(const AdapterInfo& a) {
  const std::string description(a.description.c_str());
  const std::string address(a.ipv4.c_str());
  return CutAdapterDescription(description, kAdapterDescriptionCut) + "...IP:" +
         address.substr(0, kAdapterAddressCut);
}

}  // namespace platform
