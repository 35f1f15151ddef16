// One simulated device's view of the upgrade stream: checks each datagram as a device
// would, collects the chunks across passes and verifies the whole file once it is in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ReceiverStats {
  std::uint64_t datagrams = 0;     // every datagram handed in
  std::uint64_t wrongSize = 0;     // not 1060 bytes
  std::uint64_t crcFailures = 0;   // header CRC wrong
  std::uint64_t badMagic = 0;      // magic not 0xB0A555AA
  std::uint64_t inconsistent = 0;  // lengths, count, number or file CRC disagree with the stream
  std::uint64_t duplicates = 0;    // a chunk already held
  std::uint64_t accepted = 0;      // new chunks stored
  std::uint32_t passesSeen = 0;    // passes the stream was seen in (a lower number starts one)
};

class DeviceReceiver {
 public:
  // Streams announcing more than maxFileBytes are counted inconsistent and never stored.
  explicit DeviceReceiver(std::uint32_t maxFileBytes) : maxFileBytes_(maxFileBytes) {}

  void Feed(const std::uint8_t* data, std::size_t len);

  bool Locked() const { return locked_; }  // a first good datagram fixed the stream's lengths
  bool Complete() const { return locked_ && missing_ == 0; }
  std::uint32_t ChunksMissing() const { return locked_ ? missing_ : 0; }
  std::uint32_t DatagramCount() const { return count_; }
  std::uint32_t TotalLength() const { return total_; }
  std::uint32_t AnnouncedFileCrc() const { return fileCrc_; }
  std::uint16_t ForceFlag() const { return force_; }
  std::uint8_t Policy() const { return policy_; }
  std::uint8_t ImageType() const { return imageType_; }
  const ReceiverStats& Stats() const { return stats_; }

  // Once complete: the file, and whether Crc32NoFinalXor of it matches the announced CRC.
  const std::vector<std::uint8_t>& File() const { return file_; }
  bool FileCrcMatches() const;
  std::uint32_t ComputedFileCrc() const;

 private:
  bool CheckAndLock(const std::uint8_t* d);

  std::uint32_t maxFileBytes_;
  bool locked_ = false;
  std::uint32_t count_ = 0, total_ = 0, fileCrc_ = 0, missing_ = 0;
  std::uint8_t imageType_ = 0, policy_ = 0;
  std::uint16_t force_ = 0;
  bool havePrevious_ = false;
  std::uint32_t previousNo_ = 0;
  std::vector<std::uint8_t> file_;
  std::vector<bool> have_;
  ReceiverStats stats_;
};
