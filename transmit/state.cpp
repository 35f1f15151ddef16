#include "transmit/state.h"

#include <cstring>

#include "transmit/datagram.h"

std::atomic<std::int32_t> g_bSending{0};
std::atomic<std::int32_t> g_nRunState{RUN_STARTED};
std::atomic<std::int32_t> g_nResult{0};
std::atomic<std::int32_t> g_nLanguage{0};
std::atomic<std::int32_t> g_nPolicy{3};
std::atomic<std::int32_t> g_nFilePolicy{3};
std::atomic<std::uint16_t> g_bForceUpgrade{0};
std::atomic<std::uint32_t> g_dwPassCount{0};
std::atomic<std::uint32_t> g_dwPacketNo{0};
std::atomic<std::uint32_t> g_dwFileLength{0};
std::atomic<std::uint32_t> g_dwFileCrc{0};
std::atomic<std::uint32_t> g_dwGroupAddr{0};
std::atomic<std::int32_t> g_bAdapterWait{0};
std::atomic<std::uint64_t> g_qwDatagramsSent{0};
std::atomic<std::uint32_t> g_dwRetryCount{0};

char g_szFilePath[kFilePathSize];
char g_szGroupAddr[kGroupAddrSize];
char g_szInterval[kIntervalSize];
char g_szNicAddr[kNicAddrSize];

std::atomic<PassDoneHook> g_pfnPassDone{nullptr};

void ResetTransmissionState() {
  g_bSending = 0;
  g_nRunState = RUN_STARTED;
  g_nResult = 0;
  g_nLanguage = 0;
  g_nPolicy = 3;
  g_nFilePolicy = 3;
  g_bForceUpgrade = 0;
  g_dwPassCount = 0;
  g_dwPacketNo = 0;
  g_dwFileLength = 0;
  g_dwFileCrc = 0;
  g_dwGroupAddr = 0;
  g_bAdapterWait = 0;
  g_qwDatagramsSent = 0;
  g_dwRetryCount = 0;
  std::memset(g_szFilePath, 0, sizeof g_szFilePath);
  std::memset(g_szGroupAddr, 0, sizeof g_szGroupAddr);
  std::memset(g_szInterval, 0, sizeof g_szInterval);
  std::memset(g_szNicAddr, 0, sizeof g_szNicAddr);
  g_pfnPassDone = nullptr;
  g_hdrTemplate = SDatagramHeader{};
  std::memset(g_aDatagram, 0, sizeof g_aDatagram);
  std::memset(g_aChunk, 0, sizeof g_aChunk);
}
