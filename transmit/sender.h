// The multicast sender: the worker thread procedure with its retry loop, the socket set-up
// on the chosen adapter, the paced carousel of datagrams, and the small file operations
// the send loop needs. Everything but SetTransmissionDefaults runs on the worker.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "platform/socket.h"
#include "transmit/datagram.h"
#include "transmit/pacing.h"

inline constexpr const char* kGroupAddress = "224.0.0.119";
inline constexpr const char* kInterval = "1ms";
inline constexpr std::uint16_t kUpgradePort = 13456;
inline constexpr int kMulticastTtl = 3;
inline constexpr int kAdaptersConsidered = 10;

// The worker: sets up a socket on the chosen adapter and runs the send loop, again after a
// failed set-up or datagram, until the run state is RUN_STOPPED or the send loop ends for
// good. Returns the last result. The adapter is the one SetChosenAdapter handed over (see
// transmit/reconnect.h), else the one at list index `param` (-1 for none) when the worker
// starts; every set-up looks it up again by its name and takes its current address, and
// while it is gone, without address or without link, attempts are spaced (50 ms doubling to
// 1 s) and woken by the system's notice of adapter changes.
std::uint32_t TransmissionThreadProc(std::intptr_t param);

// Sets the group address and the pause texts; returns 0. Once, at start-up.
std::int32_t SetTransmissionDefaults();

// Copies the address text of adapter `index` (first 10 of the list) into g_szNicAddr;
// returns 0 (also when no adapter has the index) or TX_ERR_ADAPTERS.
std::int32_t GetAdapterAddrByIndex(std::int32_t index);

// Opens a UDP socket bound to nicAddr:13456, joined to the group, TTL 3, loopback off,
// sending from nicAddr. Returns 0 with the socket in *pSocket, TX_ERR_SOCKET or
// TX_ERR_NIC_ADDR; a failure leaves nothing open.
std::int32_t OpenMulticastSocket(platform::Socket* pSocket, const char* nicAddr);

// Shuts the socket down, closes it and ends its socket-layer start; returns 0.
std::int32_t CloseMulticastSocket(platform::Socket s);

// Sends g_szFilePath pass after pass until g_bSending is cleared. Closes the socket before
// it returns, always. Returns TX_OK, TX_ERR_OPEN, TX_ERR_CRC, TX_RETRY, or TX_ERR_CHANGED
// (with g_bSending cleared) when the file is no longer the one MeasureBinFile measured: the open
// file is looked at after every block ChunkReader reads and after any chunk read short, the
// file its name names at every pass.
std::int32_t SendFileLoop(platform::Socket s);

// The file's length (-1 when it cannot be told or does not fit), positioned at the start.
std::int32_t GetFileLength(std::FILE* f);

// Stores Crc32NoFinalXor of the whole file in g_dwFileCrc. Returns 0, TX_ERR_ARG without a
// file, TX_ERR_READ for a length not above 0 or a short read, TX_ERR_MEMORY.
std::int32_t ComputeFileCrc(std::FILE* f);

// Reads up to len bytes at offset into buf and answers how many were read; what the file
// could not supply is zero. TX_ERR_ARG without a buffer or with length 0, TX_ERR_READ when
// the offset is not below the file's length (nothing read in either case).
std::int32_t ReadChunk(std::FILE* f, std::uint32_t offset, std::uint8_t* buf, std::uint32_t len);

// The send loop's reading of the file: kReadAheadChunks chunks at a time with one ReadChunk,
// so that a datagram costs no system call for its chunk (ReadChunk alone makes five: the
// length's seeks and look at the file, the seek to the chunk and the read).
inline constexpr std::uint32_t kReadAheadChunks = 64;
class ChunkReader {
 public:
  enum class Got {
    Held,      // the chunk was in the block already read
    NewBlock,  // a block was read for it: the file is looked at before the chunk goes out
    Short,     // the file could not supply the whole chunk; the rest of it is zero
  };

  explicit ChunkReader(std::FILE* f) : f_(f) {}
  // A pass begins: its first chunk is read afresh.
  void BeginPass();
  // Copies the len bytes (at most a chunk) at offset into buf.
  Got Chunk(std::uint32_t offset, std::uint8_t* buf, std::uint32_t len);

 private:
  std::FILE* f_;
  std::array<std::uint8_t, kReadAheadChunks * kChunkSize> block_;  // 64 KiB, on the worker's stack
  std::uint32_t start_ = 0;  // file offset of the block
  std::uint32_t held_ = 0;   // bytes of it read (0: none)
};

// The pass and datagram counters' increment: 4294967295 is never held, the increment that
// would reach it gives 0.
std::uint32_t NextCounterValue(std::uint32_t v);
