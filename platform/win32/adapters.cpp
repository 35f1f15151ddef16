// IP Helper's GetAdaptersInfo behind platform/adapters.h, in the order it gives.
#include "platform/adapters.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdlib>
#include <string>

#include "platform/win32/text.h"

namespace platform {

using win32::AnsiToUtf8;

// Descriptions came from the ANSI code page, so they go back into it without loss; the cut
// is counted there and steps back over a double-byte character's lead byte. A text the code
// page cannot hold (none from the system) is cut as UTF-8.
std::string CutAdapterDescription(const std::string& description, std::size_t maxBytes) {
  if (description.size() <= maxBytes) return description;
  const std::wstring wide = win32::Widen(description);
  if (wide.empty()) return CutUtf8(description, maxBytes);
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return CutUtf8(description, maxBytes);
  std::string ansi(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), ansi.data(), n,
                      nullptr, nullptr);
  std::size_t cut = 0;
  while (cut < ansi.size()) {
    const std::size_t step = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(ansi[cut])) ? 2 : 1;
    if (cut + step > maxBytes) break;
    cut += step;
  }
  return AnsiToUtf8(ansi.substr(0, cut));
}

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
    // The system gives descriptions in the ANSI code page; the program holds UTF-8.
    info.description = AnsiToUtf8(std::string(a->Description, strnlen(a->Description, sizeof a->Description)));
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
