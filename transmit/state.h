// Process-wide transmission state shared by the window and the worker, the result codes
// and the run states.
//
// Each shared number is a std::atomic of its stated width: read and written whole, with no
// lock. The texts are plain buffers, written only while no worker reads them (the adapter
// address text is the worker's own).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Result codes: 32-bit signed, 0 for success.
enum : std::int32_t {
  TX_OK = 0,
  TX_ERR_ARG = 1,
  TX_ERR_OPEN = 2,
  TX_ERR_READ = 3,
  TX_ERR_CHANGED = 5,  // the file is no longer the one measured at Start: nothing more is sent
  TX_ERR_CRC = 9,
  TX_ERR_SOCKET = 10,
  TX_ERR_MEMORY = 11,
  TX_ERR_ADAPTERS = 15,
  TX_ERR_NIC_ADDR = 16,
  TX_RETRY = 20,
};

// Run states, in the same number space as the results but never one of them.
enum : std::int32_t {
  RUN_STARTED = 21,
  RUN_STOPPED = 22,
};

inline constexpr std::size_t kFilePathSize = 2049;
inline constexpr std::size_t kGroupAddrSize = 16;
inline constexpr std::size_t kIntervalSize = 32;
inline constexpr std::size_t kNicAddrSize = 16;

extern std::atomic<std::int32_t> g_bSending;     // keep-sending flag, 0 or 1
extern std::atomic<std::int32_t> g_nRunState;    // RUN_STARTED or RUN_STOPPED
extern std::atomic<std::int32_t> g_nResult;      // the last send loop's result
extern std::atomic<std::int32_t> g_nLanguage;    // 0 English, 1 Chinese
extern std::atomic<std::int32_t> g_nPolicy;      // upgrade policy (1 while the dialog runs)
extern std::atomic<std::int32_t> g_nFilePolicy;  // the policy the chosen file fits; 3: none
extern std::atomic<std::uint16_t> g_bForceUpgrade;  // 0 or 1
extern std::atomic<std::uint32_t> g_dwPassCount;    // completed passes
extern std::atomic<std::uint32_t> g_dwPacketNo;     // current datagram within the pass
extern std::atomic<std::uint32_t> g_dwFileLength;   // bytes sent per pass
extern std::atomic<std::uint32_t> g_dwFileCrc;      // whole-file CRC
extern std::atomic<std::uint32_t> g_dwGroupAddr;    // group address, network byte order
// 1 while the worker waits for its adapter: a socket set-up failed (adapter gone, no
// address, link down) and no set-up has succeeded since; 0 otherwise. Written by the worker
// only; the window and the command line read it to say that nothing is being sent.
extern std::atomic<std::int32_t> g_bAdapterWait;
// Datagrams sent whole since the process started, by every worker: how the command line and
// the worker itself tell whether a set-up led to any sending.
extern std::atomic<std::uint64_t> g_qwDatagramsSent;
// Send loops ended by a datagram that could not be sent (result TX_RETRY), by every worker
// since the process started: how a reader tells that one failed without taking g_nResult
// back (the window leaves TX_RETRY there).
extern std::atomic<std::uint32_t> g_dwRetryCount;

extern char g_szFilePath[kFilePathSize];
extern char g_szGroupAddr[kGroupAddrSize];
extern char g_szInterval[kIntervalSize];
extern char g_szNicAddr[kNicAddrSize];

static_assert(std::atomic<std::int32_t>::is_always_lock_free);
static_assert(std::atomic<std::uint16_t>::is_always_lock_free);

// Called by the send loop on the worker after each completed pass, with the new pass count;
// none by default. The command line uses it to stop after a number of passes.
using PassDoneHook = void (*)(std::uint32_t passCount);
extern std::atomic<PassDoneHook> g_pfnPassDone;

// Puts every shared variable, text and datagram buffer back to its value at process start.
// For tests, and only while no worker runs.
void ResetTransmissionState();
