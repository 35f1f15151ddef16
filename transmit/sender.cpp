#include "transmit/sender.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <new>
#include <vector>

#include "platform/adapterwatch.h"
#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/filestamp.h"
#include "platform/msgbox.h"
#include "platform/openfile.h"
#include "res/texts.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/pacing.h"
#include "transmit/reconnect.h"
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
  if (platform::SendTo(s, g_aDatagram, kDatagramSize, destAddr, destPort) != static_cast<long>(kDatagramSize))
    return false;
  g_qwDatagramsSent.fetch_add(1);
  if (g_bAdapterWait.load() != 0) g_bAdapterWait = 0;
  return true;
}

// The adapter the current send loop sends from, as the worker found it at its set-up: the
// send loop looks at it again now and then. Worker only; an empty name (a send loop started
// without the worker, as tests do) is not looked at.
thread_local SChosenAdapter t_sendingOn;
thread_local std::string t_sendingFrom;

// Whether the adapter still carries the stream: there under its name, up with its link, and
// still holding the address the socket was set up with.
bool SendingAdapterStillThere() {
  if (t_sendingOn.strName.empty()) return true;
  platform::AdapterInfo now;
  bool linkUp = false;
  return platform::FindAdapterByName(t_sendingOn.strName, &now, &linkUp) && linkUp && now.ipv4 == t_sendingFrom;
}

// Whether the file is still the one measured at Start: the open file (cut short or written
// to in place) and, when `byPath`, the file its name names now (replaced, or gone). With no
// measure (a send loop started without Start, as tests do), the file counts as unchanged.
bool FileChangedSinceChecked(std::FILE* f, bool byPath) {
  platform::FileStamp checked;
  if (!CheckedFileStamp(&checked)) return false;
  platform::FileStamp now;
  if (!platform::StampOfOpenFile(f, &now) || !(now == checked)) return true;
  return byPath && (!platform::StampOfPath(g_szFilePath, &now) || !(now == checked));
}

// The whole-file CRC of the checked file, kept between the send loops of one file: a send
// loop that begins again after a reconnect reads the file whole only when it is not the one
// whose CRC is known.
std::mutex g_crcMutex;
bool g_bCrcKnown = false;
platform::FileStamp g_crcStamp;
std::uint32_t g_dwCrcKnown = 0;

std::int32_t FileCrcOfCheckedFile(std::FILE* f) {
  platform::FileStamp checked;
  const bool haveChecked = CheckedFileStamp(&checked);
  {
    std::lock_guard<std::mutex> guard(g_crcMutex);
    if (haveChecked && g_bCrcKnown && g_crcStamp == checked) {
      g_dwFileCrc = g_dwCrcKnown;
      return 0;
    }
  }
  const std::int32_t result = ComputeFileCrc(f);
  if (result == 0 && haveChecked) {
    std::lock_guard<std::mutex> guard(g_crcMutex);
    g_bCrcKnown = true;
    g_crcStamp = checked;
    g_dwCrcKnown = g_dwFileCrc.load();
  }
  return result;
}

bool StopRequested() { return g_nRunState.load() == RUN_STOPPED; }

// A wait of ms milliseconds that Stop ends early; answers false (no change was noticed).
bool WaitUnlessStopped(int ms) {
  const std::int64_t end = platform::CounterNow() + platform::CounterFrequency() * ms / 1000;
  while (!StopRequested() && platform::CounterNow() < end) platform::SleepMs(platform::AdapterChangeWatch::kStopCheckMs);
  return false;
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

void ChunkReader::BeginPass() {
  start_ = 0;
  held_ = 0;
}

ChunkReader::Got ChunkReader::Chunk(std::uint32_t offset, std::uint8_t* buf, std::uint32_t len) {
  if (len == 0) return Got::Held;
  Got got = Got::Held;
  const std::uint64_t end = static_cast<std::uint64_t>(offset) + len;
  if (held_ == 0 || offset < start_ || end > static_cast<std::uint64_t>(start_) + held_) {
    // The block from this chunk on.
    const auto want = static_cast<std::uint32_t>(block_.size());
    std::int32_t read = ReadChunk(f_, offset, block_.data(), want);
    // TX_ERR_READ (the offset at or past the file's end) is also a count of 3 bytes: the
    // file's length tells them apart.
    if (read == TX_ERR_READ && static_cast<std::uint32_t>(GetFileLength(f_)) <= offset) read = 0;
    start_ = offset;
    held_ = read > 0 ? static_cast<std::uint32_t>(read) : 0;
    got = Got::NewBlock;
  }
  const std::uint32_t into = offset - start_;
  const std::uint32_t have = into < held_ ? std::min(len, held_ - into) : 0;
  if (have > 0) std::memcpy(buf, block_.data() + into, have);
  if (have < len) {
    std::memset(buf + have, 0, len - have);
    got = Got::Short;
  }
  return got;
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
  // Another file than the one measured at Start: not a byte of it goes out under the header
  // Start made. The flag is cleared, so the window is idle and the next Start begins afresh.
  auto endChanged = [&] {
    CloseMulticastSocket(s);
    std::fclose(f);
    g_bSending = 0;
    return TX_ERR_CHANGED;
  };
  if (FileChangedSinceChecked(f, true)) return endChanged();
  if (FileCrcOfCheckedFile(f) != 0) {
    CloseMulticastSocket(s);
    std::fclose(f);
    return TX_ERR_CRC;
  }
  g_dwPassCount = 0;
  g_hdrTemplate.dwFileCrc = g_dwFileCrc.load();
  const auto pause = static_cast<std::uint32_t>(std::strtoul(g_szInterval, nullptr, 10));

  std::uint32_t sinceAdapterCheck = 0;
  ChunkReader reader(f);
  while (g_bSending.load() == 1) {
    if (FileChangedSinceChecked(f, true)) return endChanged();
    std::uint32_t offset = 0;
    g_dwFileLength = g_hdrTemplate.dwTotalLen;
    reader.BeginPass();
    g_dwPacketNo = 0;
    g_hdrTemplate.byPolicy = static_cast<std::uint8_t>(g_nPolicy.load());
    g_hdrTemplate.wForceFlag = g_bForceUpgrade.load();

    while (g_bSending.load() == 1) {
      const std::uint32_t packetNo = g_dwPacketNo.load();
      const std::uint32_t remainder = g_dwFileLength.load() - packetNo * static_cast<std::uint32_t>(kChunkSize);
      const bool last = remainder <= kChunkSize;
      const std::uint32_t len = last ? remainder : static_cast<std::uint32_t>(kChunkSize);

      // The open file is looked at after each block read (a file written in place: what was
      // read goes out only if the file was still the checked one after the read) and after a
      // chunk read short (a file cut short), before that chunk goes out. Once a block, as the
      // look costs a round trip to the system that is cheap on Linux and not under Wine.
      if (reader.Chunk(offset, g_aChunk, len) != ChunkReader::Got::Held && FileChangedSinceChecked(f, false))
        return endChanged();
      g_hdrTemplate.dwPacketNo = packetNo;
      g_hdrTemplate.dwDataLen = len;
      BuildDatagram(g_aChunk, g_hdrTemplate, len);
      // Now and then, the adapter is looked at: one that went (or lost its address or its
      // link) ends the send loop as a datagram that could not be sent does, for datagrams
      // sent without a link are reported sent and reach nobody.
      bool adapterGone = false;
      if (++sinceAdapterCheck >= kAdapterCheckEvery) {
        sinceAdapterCheck = 0;
        adapterGone = !SendingAdapterStillThere();
      }
      if (adapterGone || !SendDatagram(s, destAddr, destPort)) {
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
  // The adapter is the one chosen at Start, followed by its name: after the list changed, an
  // index may name another adapter, and nothing is ever sent from one the operator did not
  // choose. The sending mark, when the starter took one, is held until the worker ends.
  const SChosenAdapter chosen = TakeChosenAdapter(static_cast<std::int32_t>(param));
  const std::unique_ptr<platform::AdapterSendLock> sendLock = TakeSendLock();
  std::unique_ptr<platform::AdapterChangeWatch> watch;  // made at the first failure
  int retryDelayMs = 0;
  std::int32_t result = 0;
  struct ClearSendingOn {
    ~ClearSendingOn() {
      t_sendingOn = {};
      g_bAdapterWait = 0;
    }
  } clearOnReturn;

  for (;;) {
    if (StopRequested()) return static_cast<std::uint32_t>(result);
    // The chosen adapter's address now: none (the set-up then fails) while it is gone, and
    // "0.0.0.0" while it has no address or no link.
    std::memset(g_szNicAddr, 0, sizeof g_szNicAddr);
    platform::AdapterInfo adapter;
    bool linkUp = false;
    const bool present = !chosen.strName.empty() && platform::FindAdapterByName(chosen.strName, &adapter, &linkUp);
    if (present) std::strncpy(g_szNicAddr, linkUp ? adapter.ipv4.c_str() : "0.0.0.0", sizeof g_szNicAddr - 1);
    g_dwGroupAddr = platform::InetAddr(g_szGroupAddr);

    platform::Socket s = platform::kInvalidSocket;
    result = present ? OpenMulticastSocket(&s, g_szNicAddr) : TX_ERR_SOCKET;
    if (result == 0 && platform::PinMulticastInterface(s, platform::InetAddr(g_szNicAddr), adapter.index) != 0) {
      CloseMulticastSocket(s);
      result = TX_ERR_SOCKET;
    }
    if (result == 0) {
      g_bSending = 1;
      // A Stop that came while the socket was being set up cleared the flag before it was
      // set here; it has stored the stop state first, so it is seen now and nothing is sent.
      if (StopRequested()) {
        g_bSending = 0;
        CloseMulticastSocket(s);
        return static_cast<std::uint32_t>(result);
      }
      t_sendingOn = chosen;
      t_sendingFrom = g_szNicAddr;
      const std::uint64_t sentBefore = g_qwDatagramsSent.load();
      result = SendFileLoop(s);
      t_sendingOn = {};
      if (result == TX_RETRY) g_dwRetryCount.fetch_add(1);
      g_nResult = result;
      if (result != TX_RETRY) return static_cast<std::uint32_t>(result);
      // It was sending: set up again at once, and slowly again only if that fails.
      if (g_qwDatagramsSent.load() != sentBefore) {
        retryDelayMs = 0;
        continue;
      }
    }
    // Nothing went out: the adapter is gone, has no address or no link, or will not send.
    // Wait before the next attempt, longer each time, and at once when an adapter changes.
    g_bAdapterWait = 1;
    retryDelayMs = NextRetryDelayMs(retryDelayMs);
    if (!watch && g_bWakeOnAdapterNotices.load()) watch = std::make_unique<platform::AdapterChangeWatch>();
    if (watch != nullptr ? watch->Wait(retryDelayMs, &StopRequested) : WaitUnlessStopped(retryDelayMs))
      retryDelayMs = 0;
  }
}
