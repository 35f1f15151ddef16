// IP Helper's GetAdaptersInfo behind platform/adapters.h, in the order it gives.
#include "platform/adapters.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdlib>

namespace platform {

AdapterListStatus ListAdapters(std::vector<AdapterInfo>& out) {
  out.clear();
  ULONG size = 0;
  DWORD r = GetAdaptersInfo(nullptr, &size);
  if (r == ERROR_NO_DATA) return AdapterListStatus::NoAdapters;
  if (r != ERROR_SUCCESS && r != ERROR_BUFFER_OVERFLOW) return AdapterListStatus::Error;
  auto* head = static_cast<IP_ADAPTER_INFO*>(std::malloc(size));
  if (head == nullptr) return AdapterListStatus::Error;
  r = GetAdaptersInfo(head, &size);
  if (r != ERROR_SUCCESS) {
    std::free(head);
    return r == ERROR_NO_DATA ? AdapterListStatus::NoAdapters : AdapterListStatus::Error;
  }
  for (const IP_ADAPTER_INFO* a = head; a != nullptr; a = a->Next) {
    AdapterInfo info;
    info.description.assign(a->Description, strnlen(a->Description, sizeof a->Description));
    info.ipv4.assign(a->IpAddressList.IpAddress.String,
                     strnlen(a->IpAddressList.IpAddress.String, sizeof a->IpAddressList.IpAddress.String));
    if (info.ipv4.empty()) info.ipv4 = "0.0.0.0";
    info.name.assign(a->AdapterName, strnlen(a->AdapterName, sizeof a->AdapterName));
    info.index = a->Index;
    out.push_back(std::move(info));
  }
  std::free(head);
  return out.empty() ? AdapterListStatus::NoAdapters : AdapterListStatus::Ok;
}

}  // namespace platform
