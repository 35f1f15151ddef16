#include "tools/devsim/receiver.h"

#include <cstring>

#include "transmit/crc32.h"
#include "transmit/datagram.h"

bool DeviceReceiver::CheckAndLock(const std::uint8_t* d) {
  const std::uint32_t count = LoadLE32(d + kOffPacketCount);
  const std::uint32_t total = LoadLE32(d + kOffTotalLen);
  const std::uint32_t fileCrc = LoadLE32(d + kOffFileCrc);
  if (locked_) return count == count_ && total == total_ && fileCrc == fileCrc_;
  if (count != ::DatagramCount(total) || total > maxFileBytes_) return false;
  locked_ = true;
  count_ = count;
  total_ = total;
  fileCrc_ = fileCrc;
  missing_ = count;
  file_.assign(total, 0);
  have_.assign(count, false);
  return true;
}

void DeviceReceiver::Feed(const std::uint8_t* d, std::size_t len) {
  ++stats_.datagrams;
  if (len != kDatagramSize) {
    ++stats_.wrongSize;
    return;
  }
  const std::uint32_t dataLen = LoadLE32(d + kOffDataLen);
  if (dataLen > kChunkSize) {
    ++stats_.inconsistent;
    return;
  }
  if (Crc32NoFinalXor(d + kOffMagic, dataLen + 32) != LoadLE32(d + kOffCrc)) {
    ++stats_.crcFailures;
    return;
  }
  if (LoadLE32(d + kOffMagic) != kDatagramMagic) {
    ++stats_.badMagic;
    return;
  }
  const std::uint32_t no = LoadLE32(d + kOffPacketNo);
  if (!CheckAndLock(d) || no >= count_) {
    ++stats_.inconsistent;
    return;
  }
  // Every datagram but the last carries 1024 bytes; the last carries the rest.
  const std::uint32_t expected = no + 1 < count_ ? static_cast<std::uint32_t>(kChunkSize)
                                                 : total_ - no * static_cast<std::uint32_t>(kChunkSize);
  if (dataLen != expected) {
    ++stats_.inconsistent;
    return;
  }
  if (!havePrevious_ || no <= previousNo_) ++stats_.passesSeen;
  havePrevious_ = true;
  previousNo_ = no;
  imageType_ = d[kOffImageType];
  policy_ = d[kOffPolicy];
  force_ = static_cast<std::uint16_t>(d[kOffForceFlag] | d[kOffForceFlag + 1] << 8);

  if (have_[no]) {
    ++stats_.duplicates;
    return;
  }
  have_[no] = true;
  --missing_;
  ++stats_.accepted;
  if (dataLen != 0) std::memcpy(file_.data() + static_cast<std::size_t>(no) * kChunkSize, d + kDatagramHeaderSize, dataLen);
}

std::uint32_t DeviceReceiver::ComputedFileCrc() const {
  return Crc32NoFinalXor(file_.data(), static_cast<std::uint32_t>(file_.size()));
}

bool DeviceReceiver::FileCrcMatches() const { return Complete() && ComputedFileCrc() == fileCrc_; }
