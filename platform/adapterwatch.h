// Following one chosen adapter while the system's adapter list changes: looking it up again
// by what stays true about it, and waiting calmly until something about the adapters changes.
#pragma once

#include <string>

#include "platform/adapters.h"

namespace platform {

// The adapter whose system name (platform::AdapterInfo::name: the interface name on Linux,
// the adapter's GUID on Windows) is `name`, as it is now: its index and first IPv4 address
// ("0.0.0.0" when it has none) in *out, and in *linkUp whether it can carry datagrams now
// (up, with its link or carrier; always true where the system does not tell). Cheaper than
// ListAdapters (no descriptions are read). false when no adapter has that name now.
bool FindAdapterByName(const std::string& name, AdapterInfo* out, bool* linkUp);

// The system's notice of adapter and address changes (Linux: an rtnetlink socket on the link
// and IPv4 address groups; Windows: NotifyIpInterfaceChange and
// NotifyUnicastIpAddressChange). Where the system gives none, Wait only waits out its time.
class AdapterChangeWatch {
 public:
  AdapterChangeWatch();
  ~AdapterChangeWatch();
  AdapterChangeWatch(const AdapterChangeWatch&) = delete;
  AdapterChangeWatch& operator=(const AdapterChangeWatch&) = delete;

  // Waits until timeoutMs milliseconds have passed, an adapter or address changed since the
  // last Wait, or stop() answers true (asked at least every kStopCheckMs). Answers true when
  // a change ended the wait.
  static constexpr int kStopCheckMs = 10;
  bool Wait(int timeoutMs, bool (*stop)());

  // Whether the system's notice is in use (false: Wait is a plain sliced sleep).
  bool Notifies() const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace platform
