#include "transmit/sender.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/openfile.h"
#include "res/texts.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/pacing.h"
#include "transmit/state.h"

namespace {

// The whole-file CRC reads the file in pieces of this size.
constexpr std::size_t kCrcReadSize = 1u << 20;

void ShowFileUnreadable() {
  const int lang = g_nLanguage.load();
  const char* text = texts::MessageText(texts::Message::FileUnreadable, lang);
  const char* caption = texts::CaptionText(texts::Caption::Error, lang);
  if (text != nullptr && caption != nullptr) platform::ShowUnownedMessageBox(text, caption);
}

// Sends g_aDatagram whole; false when the system did not take all 1060 bytes.
bool SendDatagram(platform::Socket s, std::uint32_t destAddr, std::uint16_t destPort) {
  return platform::SendTo(s, g_aDatagram, kDatagramSize, destAddr, destPort) ==
         static_cast<long>(kDatagramSize);
}

}  // namespace

std::uint32_t NextCounterValue(std::uint32_t v) {
  ++v;
  return v == 0xFFFFFFFFu ? 0u : v;
}

std::int32_t SetTransmissionDefaults() {
  std::memset(g_szGroupAddr, 0, sizeof g_szGroupAddr);
  std::memset(g_szInterval, 0, sizeof g_szInterval);
  std::strncpy(g_szGroupAddr, kGroupAddress, sizeof g_szGroupAddr - 1);
  std::strncpy(g_szInterval, kInterval, sizeof g_szInterval - 1);
  return 0;
}

std::int32_t GetAdapterAddrByIndex(std::int32_t index) {
  std::vector<platform::AdapterInfo> adapters;
  if (platform::ListAdapters(adapters) != platform::AdapterListStatus::Ok) return TX_ERR_ADAPTERS;
  for (std::size_t i = 0; i < adapters.size() && i < static_cast<std::size_t>(kAdaptersConsidered); ++i) {
    if (static_cast<std::int64_t>(i) == index) {
      std::memset(g_szNicAddr, 0, sizeof g_szNicAddr);
      std::strncpy(g_szNicAddr, adapters[i].ipv4.c_str(), sizeof g_szNicAddr - 1);
    }
  }
  return 0;
}

std::int32_t OpenMulticastSocket(platform::Socket* pSocket, const char* nicAddr) {
  if (std::strcmp(nicAddr, "0.0.0.0") == 0) return TX_ERR_NIC_ADDR;
  const std::uint32_t adapterAddr = platform::InetAddr(nicAddr);

  std::uint8_t major = 0, minor = 0;
  if (platform::SocketStartup(2, 2, &major, &minor) != 0) return TX_ERR_SOCKET;
  if (major != 2 || minor != 2) {
    platform::SocketCleanup();
    return TX_ERR_SOCKET;
  }
  const platform::Socket s = platform::OpenUdpSocket();
  *pSocket = s;
  if (s == platform::kInvalidSocket) {
    platform::SocketCleanup();
    return TX_ERR_SOCKET;
  }
  auto fail = [s] {
    CloseMulticastSocket(s);
    return TX_ERR_SOCKET;
  };
  if (platform::SetReuseAddress(s, 1) != 0) return fail();
  if (platform::BindIPv4(s, adapterAddr, platform::HostToNet16(kUpgradePort)) != 0) return fail();

  // Only a group address (first octet 224 to 239) gets the multicast options.
  const std::uint32_t group = g_dwGroupAddr.load();
  std::uint8_t octets[4];
  std::memcpy(octets, &group, sizeof octets);
  if (octets[0] < 224 || octets[0] > 239) return 0;

  if (platform::JoinMulticastGroup(s, group, adapterAddr) != 0) return fail();
  if (platform::SetMulticastTtl(s, kMulticastTtl) != 0) return fail();
  (void)platform::SetMulticastLoop(s, 0);
  if (platform::SetMulticastInterface(s, adapterAddr) != 0) return fail();
  return 0;
}

std::int32_t CloseMulticastSocket(platform::Socket s) {
  platform::ShutdownBoth(s);
  platform::CloseSocket(s);
  platform::SocketCleanup();
  return 0;
}

std::int32_t GetFileLength(std::FILE* f) {
  long end = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1L;
  std::fseek(f, 0, SEEK_SET);
  if (end < 0 || static_cast<unsigned long>(end) > static_cast<unsigned long>(INT32_MAX)) return -1;
  return static_cast<std::int32_t>(end);
}

std::int32_t ComputeFileCrc(std::FILE* f) {
  if (f == nullptr) return TX_ERR_ARG;
  const std::int32_t length = GetFileLength(f);
  if (length <= 0) return TX_ERR_READ;

  // Read in bounded pieces rather than whole: the same CRC without the file in memory.
  const std::size_t pieceSize = std::min(static_cast<std::size_t>(length), kCrcReadSize);
  std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[pieceSize]);
  if (!piece) return TX_ERR_MEMORY;

  // Crc32NoFinalXor continued over pieces is the bitwise NOT of the common CRC-32.
  std::uint32_t crc = 0;
  std::size_t left = static_cast<std::size_t>(length);
  while (left > 0) {
    const std::size_t want = std::min(left, pieceSize);
    const std::size_t got = std::fread(piece.get(), 1, want, f);
    crc = Crc32Update(crc, piece.get(), static_cast<std::uint32_t>(got));
    if (got != want) return TX_ERR_READ;
    left -= got;
  }
  g_dwFileCrc = ~crc;
  return 0;
}

std::int32_t ReadChunk(std::FILE* f, std::uint32_t offset, std::uint8_t* buf, std::uint32_t len) {
  if (buf == nullptr || len == 0) return TX_ERR_ARG;
  if (static_cast<std::uint32_t>(GetFileLength(f)) <= offset) {
    std::memset(buf, 0, len);  // a file that shrank below this chunk: no stale bytes go out
    return TX_ERR_READ;
  }
  std::size_t got = 0;
  if (std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0) got = std::fread(buf, 1, len, f);
  if (got < len) std::memset(buf + got, 0, len - got);
  return static_cast<std::int32_t>(got);
}

std::int32_t SendFileLoop(platform::Socket s) {
  const std::uint32_t destAddr = platform::InetAddr(g_szGroupAddr);
  const std::uint16_t destPort = platform::HostToNet16(kUpgradePort);

  std::FILE* f = platform::OpenFileForReading(g_szFilePath);
  if (f == nullptr) {
    ShowFileUnreadable();
    CloseMulticastSocket(s);
    return TX_ERR_OPEN;
  }
  if (ComputeFileCrc(f) != 0) {
    CloseMulticastSocket(s);
    std::fclose(f);
    return TX_ERR_CRC;
  }
  g_dwPassCount = 0;
  g_hdrTemplate.dwFileCrc = g_dwFileCrc.load();
  const auto pause = static_cast<std::uint32_t>(std::strtoul(g_szInterval, nullptr, 10));

  while (g_bSending.load() == 1) {
    std::uint32_t offset = 0;
    g_dwFileLength = g_hdrTemplate.dwTotalLen;
    g_dwPacketNo = 0;
    g_hdrTemplate.byPolicy = static_cast<std::uint8_t>(g_nPolicy.load());
    g_hdrTemplate.wForceFlag = g_bForceUpgrade.load();

    while (g_bSending.load() == 1) {
      const std::uint32_t packetNo = g_dwPacketNo.load();
      const std::uint32_t remainder = g_dwFileLength.load() - packetNo * static_cast<std::uint32_t>(kChunkSize);
      const bool last = remainder <= kChunkSize;
      const std::uint32_t len = last ? remainder : static_cast<std::uint32_t>(kChunkSize);

      ReadChunk(f, offset, g_aChunk, len);
      g_hdrTemplate.dwPacketNo = packetNo;
      g_hdrTemplate.dwDataLen = len;
      BuildDatagram(g_aChunk, g_hdrTemplate, len);
      if (!SendDatagram(s, destAddr, destPort)) {
        CloseMulticastSocket(s);
        std::fclose(f);
        g_bSending = 0;
        return TX_RETRY;
      }
      if (last) {
        const std::uint32_t passes = NextCounterValue(g_dwPassCount.load());
        g_dwPassCount = passes;
        if (PassDoneHook hook = g_pfnPassDone.load()) hook(passes);
        break;
      }
      offset += static_cast<std::uint32_t>(kChunkSize);
      g_dwPacketNo = NextCounterValue(packetNo);
      WaitMilliseconds(pause);
    }
    WaitMilliseconds(pause);
  }
  CloseMulticastSocket(s);
  std::fclose(f);
  return TX_OK;
}

std::uint32_t TransmissionThreadProc(std::intptr_t param) {
  std::int32_t result = 0;
  for (;;) {
    if (g_nRunState.load() == RUN_STOPPED) return static_cast<std::uint32_t>(result);
    std::memset(g_szNicAddr, 0, sizeof g_szNicAddr);
    (void)GetAdapterAddrByIndex(static_cast<std::int32_t>(param));
    g_dwGroupAddr = platform::InetAddr(g_szGroupAddr);

    platform::Socket s = platform::kInvalidSocket;
    result = OpenMulticastSocket(&s, g_szNicAddr);
    if (result == 0) {
      g_bSending = 1;
      // A Stop that came while the socket was being set up cleared the flag before it was
      // set here; it has stored the stop state first, so it is seen now and nothing is sent.
      if (g_nRunState.load() == RUN_STOPPED) {
        g_bSending = 0;
        CloseMulticastSocket(s);
        return static_cast<std::uint32_t>(result);
      }
      result = SendFileLoop(s);
      g_nResult = result;
      if (result != TX_RETRY) return static_cast<std::uint32_t>(result);
    }
  }
}
