#include "tools/devsim/receiver.h"

#include <cstring>

#include "transmit/crc32.h"
#include "transmit/datagram.h"

bool DeviceReceiver::Valid(const std::uint8_t* d, std::size_t len) {
  if (len != kDatagramSize) {
    ++stats_.wrongSize;
    return false;
  }
  const std::uint32_t dataLen = LoadLE32(d + kOffDataLen);
  if (dataLen > kChunkSize) {  // the CRC could not even be computed over it
    ++stats_.badDataLength;
    return false;
  }
  if (Crc32NoFinalXor(d + kOffMagic, dataLen + 32) != LoadLE32(d + kOffCrc)) {
    ++stats_.crcFailures;
    return false;
  }
  if (LoadLE32(d + kOffMagic) != kDatagramMagic) {
    ++stats_.badMagic;
    return false;
  }
  const std::uint32_t count = LoadLE32(d + kOffPacketCount);
  const std::uint32_t total = LoadLE32(d + kOffTotalLen);
  if (count == 0 || count != ::DatagramCount(total) || total > maxFileBytes_) {
    ++stats_.badStream;
    return false;
  }
  const std::uint32_t no = LoadLE32(d + kOffPacketNo);
  if (no >= count) {
    ++stats_.badNumber;
    return false;
  }
  // Every datagram but the last carries 1024 bytes; the last carries the rest.
  const std::uint32_t expected =
      no + 1 < count ? static_cast<std::uint32_t>(kChunkSize) : total - no * static_cast<std::uint32_t>(kChunkSize);
  if (dataLen != expected) {
    ++stats_.badDataLength;
    return false;
  }
  return true;
}

SStreamRecord* DeviceReceiver::Record(const SStreamId& id) {
  for (SStreamRecord& r : streams_)
    if (r.id == id) return &r;
  if (streams_.size() >= kMaxStreams) return nullptr;
  streams_.push_back(SStreamRecord{id});
  return &streams_.back();
}

void DeviceReceiver::Take(const SStreamId& id) {
  if (locked_) {
    if (SStreamRecord* old = Record(id_)) old->chunksHeld = id_.dwCount - missing_;
  }
  locked_ = true;
  id_ = id;
  missing_ = id.dwCount;
  file_.assign(id.dwTotalLen, 0);
  have_.assign(id.dwCount, false);
  havePrevious_ = false;
  passesSeen_ = 0;
  passes_.clear();
  candidateRun_ = 0;
  if (SStreamRecord* r = Record(id)) r->taken = true;
}

void DeviceReceiver::CountPass(std::uint32_t no) {
  const bool newPass = !havePrevious_ || no <= previousNo_;
  if (newPass) {
    if (havePrevious_ && !passes_.empty() && passesSeen_ <= kMaxPasses)
      passes_.back().lost += id_.dwCount - 1 - previousNo_;
    ++passesSeen_;
    if (passes_.size() < kMaxPasses) passes_.push_back(SPassRecord{0, havePrevious_ ? no : 0});
  } else if (passesSeen_ <= kMaxPasses) {
    passes_.back().lost += no - previousNo_ - 1;
  }
  if (passesSeen_ <= kMaxPasses) ++passes_.back().received;
  havePrevious_ = true;
  previousNo_ = no;
}

DeviceReceiver::EFeed DeviceReceiver::Feed(const std::uint8_t* d, std::size_t len) {
  ++stats_.datagrams;
  if (!Valid(d, len)) return EFeed::kRefused;
  const SStreamId id{LoadLE32(d + kOffTotalLen), LoadLE32(d + kOffPacketCount), LoadLE32(d + kOffFileCrc)};
  SStreamRecord* record = Record(id);
  if (record != nullptr) ++record->valid;
  else ++streamsNotRecorded_;

  EFeed result = EFeed::kStored;
  if (!locked_) {
    Take(id);
    result = EFeed::kStarted;
  } else if (!(id == id_)) {
    ++stats_.otherStream;
    if (candidateRun_ > 0 && id == candidate_) {
      ++candidateRun_;
    } else {
      candidate_ = id;
      candidateRun_ = 1;
    }
    if (candidateRun_ < kSwitchAfter) return EFeed::kOtherStream;
    ++stats_.switches;
    Take(id);
    result = EFeed::kSwitched;
  }
  candidateRun_ = 0;  // a datagram of the device's stream ends any run of another

  const std::uint32_t no = LoadLE32(d + kOffPacketNo);
  const std::uint32_t dataLen = LoadLE32(d + kOffDataLen);
  CountPass(no);
  imageType_ = d[kOffImageType];
  policy_ = d[kOffPolicy];
  force_ = static_cast<std::uint16_t>(d[kOffForceFlag] | d[kOffForceFlag + 1] << 8);
  if (have_[no]) {
    ++stats_.duplicates;
    return EFeed::kDuplicate;
  }
  have_[no] = true;
  --missing_;
  ++stats_.accepted;
  if (record != nullptr) record->chunksHeld = id_.dwCount - missing_;
  if (dataLen != 0) std::memcpy(file_.data() + static_cast<std::size_t>(no) * kChunkSize, d + kDatagramHeaderSize, dataLen);
  return result;
}

std::uint32_t DeviceReceiver::ComputedFileCrc() const {
  return Crc32NoFinalXor(file_.data(), static_cast<std::uint32_t>(file_.size()));
}

bool DeviceReceiver::FileCrcMatches() const { return Complete() && ComputedFileCrc() == id_.dwFileCrc; }
