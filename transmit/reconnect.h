// What keeps a transmission on the adapter the operator chose, and calm while it cannot send:
// the chosen adapter by identity, the back-off between set-up attempts, the one-sender-per-
// adapter mark, and the stamp of the file that was checked.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/adapters.h"
#include "platform/filestamp.h"
#include "platform/sendlock.h"

// The adapter a transmission was started on, by what stays true of it while the adapter list
// changes: its system name (Linux: the interface name; Windows: the adapter's GUID). An
// empty name names no adapter: the worker then waits and never sends.
struct SChosenAdapter {
  std::string strName;
  std::string strDescription;  // as the list gave it when it was chosen, for messages
};

// The adapter at `index` among the first ten of `list` (none for any other index).
SChosenAdapter ChosenAdapterAt(const std::vector<platform::AdapterInfo>& list, std::int32_t index);

// The adapter the window's box showed as `shownText` at `index`: the list's entry at that index
// when its description is the one shown, else the one entry of the first ten whose description
// is (the list changed since the box was filled), else none. Only descriptions are compared:
// the address part of a shown entry may be older than the adapter's address.
SChosenAdapter ChosenAdapterShown(const std::vector<platform::AdapterInfo>& list, std::int32_t index,
                                  const std::string& shownText);

// Hands the chosen adapter to the next worker that starts. Written by the starting thread
// before the worker exists, as the header template is; the worker takes it at its start. A
// worker that finds none takes the adapter its index names at that moment.
void SetChosenAdapter(const SChosenAdapter& chosen);
SChosenAdapter TakeChosenAdapter(std::int32_t index);

// Set-up attempts that keep failing are spaced: the first retry after kRetryFirstMs, each
// next one twice as late, never later than kRetryMaxMs; after a set-up that sent, retries
// start fast again. A notice that an adapter changed ends a wait early.
inline constexpr int kRetryFirstMs = 50;
// Whether a waiting worker wakes on the system's notice of adapter changes (true unless a
// benchmark turns it off to measure the plain back-off).
inline std::atomic<bool> g_bWakeOnAdapterNotices{true};
inline constexpr int kRetryMaxMs = 1000;
int NextRetryDelayMs(int previousMs);

// While sending, the chosen adapter is looked at again every this many datagrams (about a
// second): gone, without its address or without its link, the send loop ends as after a
// datagram that could not be sent.
inline constexpr std::uint32_t kAdapterCheckEvery = 1024;

// The mark that no other sender on this host sends on the chosen adapter; held by the
// starter and handed to the worker, which lets go of it when it ends.
void SetSendLock(std::unique_ptr<platform::AdapterSendLock> lock);
std::unique_ptr<platform::AdapterSendLock> TakeSendLock();

// The stamp of the file as MeasureBinFile measured it at Start: the send loop sends only while
// the file is still that one.
void SetCheckedFileStamp(const platform::FileStamp& stamp);
bool CheckedFileStamp(platform::FileStamp* out);
void ClearCheckedFileStamp();
