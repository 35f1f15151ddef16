// Following the chosen adapter on Windows: looked up by its name (the GUID GetAdaptersInfo
// gives), woken by the IP Helper's change notices.
#include "platform/adapterwatch.h"

#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

bool FindAdapterByName(const std::string& name, AdapterInfo* out, bool* linkUp) {
  ULONG size = 0;
  DWORD r = GetAdaptersInfo(nullptr, &size);
  if (r != ERROR_SUCCESS && r != ERROR_BUFFER_OVERFLOW) return false;
  auto* head = static_cast<IP_ADAPTER_INFO*>(std::malloc(size));
  if (head == nullptr) return false;
  bool found = false;
  if (GetAdaptersInfo(head, &size) == ERROR_SUCCESS) {
    for (const IP_ADAPTER_INFO* a = head; a != nullptr && !found; a = a->Next) {
      if (name != std::string(a->AdapterName, strnlen(a->AdapterName, sizeof a->AdapterName))) continue;
      AdapterInfo info;
      info.name = name;
      info.description = name;
      info.index = a->Index;
      info.ipv4.assign(a->IpAddressList.IpAddress.String,
                       strnlen(a->IpAddressList.IpAddress.String, sizeof a->IpAddressList.IpAddress.String));
      if (info.ipv4.empty()) info.ipv4 = "0.0.0.0";
      // The system takes the addresses off an adapter whose cable is out, so an address is
      // the sign of a usable link here.
      *linkUp = true;
      *out = std::move(info);
      found = true;
    }
  }
  std::free(head);
  return found;
}

struct AdapterChangeWatch::Impl {
  HANDLE event = nullptr;
  HANDLE interfaceNotice = nullptr;
  HANDLE addressNotice = nullptr;
};

namespace {

void WINAPI OnInterfaceChange(PVOID context, PMIB_IPINTERFACE_ROW, MIB_NOTIFICATION_TYPE) {
  SetEvent(static_cast<HANDLE>(context));
}

void WINAPI OnAddressChange(PVOID context, PMIB_UNICASTIPADDRESS_ROW, MIB_NOTIFICATION_TYPE) {
  SetEvent(static_cast<HANDLE>(context));
}

}  // namespace

AdapterChangeWatch::AdapterChangeWatch() : impl_(new Impl) {
  impl_->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (impl_->event == nullptr) return;
  if (NotifyIpInterfaceChange(AF_INET, OnInterfaceChange, impl_->event, FALSE, &impl_->interfaceNotice) != NO_ERROR)
    impl_->interfaceNotice = nullptr;
  if (NotifyUnicastIpAddressChange(AF_INET, OnAddressChange, impl_->event, FALSE, &impl_->addressNotice) != NO_ERROR)
    impl_->addressNotice = nullptr;
}

AdapterChangeWatch::~AdapterChangeWatch() {
  // Cancelling waits for a running callback, so the event outlives every use of it.
  if (impl_->interfaceNotice != nullptr) CancelMibChangeNotify2(impl_->interfaceNotice);
  if (impl_->addressNotice != nullptr) CancelMibChangeNotify2(impl_->addressNotice);
  if (impl_->event != nullptr) CloseHandle(impl_->event);
  delete impl_;
}

bool AdapterChangeWatch::Notifies() const {
  return impl_->interfaceNotice != nullptr || impl_->addressNotice != nullptr;
}

bool AdapterChangeWatch::Wait(int timeoutMs, bool (*stop)()) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  for (;;) {
    if (stop != nullptr && stop()) return false;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(end - now, kStopCheckMs));
    if (impl_->event == nullptr) {
      Sleep(slice);
      continue;
    }
    if (WaitForSingleObject(impl_->event, slice) == WAIT_OBJECT_0 && Notifies()) return true;
  }
}

}  // namespace platform
