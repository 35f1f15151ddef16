#include "transmit/reconnect.h"

#include <algorithm>
#include <mutex>

#include "transmit/sender.h"

namespace {

// Taken by the starting thread and the worker at distinct moments; the mutex only keeps a
// worker that outlived a Stop from reading a half-written record.
std::mutex g_chosenMutex;
bool g_bChosenSet = false;
SChosenAdapter g_chosen;
std::unique_ptr<platform::AdapterSendLock> g_pendingLock;

bool g_bStampSet = false;
platform::FileStamp g_checkedStamp;

std::string ShownDescription(const std::string& shownText) {
  const std::size_t cut = shownText.rfind("...IP:");
  return cut == std::string::npos ? shownText : shownText.substr(0, cut);
}

std::string ListedDescription(const platform::AdapterInfo& a) {
  return ShownDescription(platform::AdapterEntryText(a));
}

}  // namespace

SChosenAdapter ChosenAdapterAt(const std::vector<platform::AdapterInfo>& list, std::int32_t index) {
  if (index < 0 || index >= kAdaptersConsidered || static_cast<std::size_t>(index) >= list.size()) return {};
  const platform::AdapterInfo& a = list[static_cast<std::size_t>(index)];
  return {a.name, a.description};
}

SChosenAdapter ChosenAdapterShown(const std::vector<platform::AdapterInfo>& list, std::int32_t index,
                                  const std::string& shownText) {
  const std::string shown = ShownDescription(shownText);
  const SChosenAdapter atIndex = ChosenAdapterAt(list, index);
  if (!atIndex.strName.empty() && ListedDescription(list[static_cast<std::size_t>(index)]) == shown) return atIndex;
  const std::size_t n = std::min(list.size(), static_cast<std::size_t>(kAdaptersConsidered));
  std::int32_t match = -1;
  for (std::size_t i = 0; i < n; ++i) {
    if (ListedDescription(list[i]) != shown) continue;
    if (match >= 0) return {};  // two adapters look the same: neither is taken for the other
    match = static_cast<std::int32_t>(i);
  }
  return match >= 0 ? ChosenAdapterAt(list, match) : SChosenAdapter{};
}

void SetChosenAdapter(const SChosenAdapter& chosen) {
  std::lock_guard<std::mutex> guard(g_chosenMutex);
  g_chosen = chosen;
  g_bChosenSet = true;
}

SChosenAdapter TakeChosenAdapter(std::int32_t index) {
  {
    std::lock_guard<std::mutex> guard(g_chosenMutex);
    if (g_bChosenSet) {
      g_bChosenSet = false;
      return g_chosen;
    }
  }
  std::vector<platform::AdapterInfo> list;
  if (platform::ListAdapters(list) != platform::AdapterListStatus::Ok) return {};
  return ChosenAdapterAt(list, index);
}

int NextRetryDelayMs(int previousMs) {
  if (previousMs <= 0) return kRetryFirstMs;
  return previousMs >= kRetryMaxMs / 2 ? kRetryMaxMs : previousMs * 2;
}

void SetSendLock(std::unique_ptr<platform::AdapterSendLock> lock) {
  std::lock_guard<std::mutex> guard(g_chosenMutex);
  g_pendingLock = std::move(lock);
}

std::unique_ptr<platform::AdapterSendLock> TakeSendLock() {
  std::lock_guard<std::mutex> guard(g_chosenMutex);
  return std::move(g_pendingLock);
}

void SetCheckedFileStamp(const platform::FileStamp& stamp) {
  std::lock_guard<std::mutex> guard(g_chosenMutex);
  g_checkedStamp = stamp;
  g_bStampSet = true;
}

bool CheckedFileStamp(platform::FileStamp* out) {
  std::lock_guard<std::mutex> guard(g_chosenMutex);
  if (g_bStampSet) *out = g_checkedStamp;
  return g_bStampSet;
}

void ClearCheckedFileStamp() {
  std::lock_guard<std::mutex> guard(g_chosenMutex);
  g_bStampSet = false;
}
