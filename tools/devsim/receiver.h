// One simulated device's view of the upgrade stream: checks each datagram as a device
// would, collects the chunks of one stream across passes and verifies the whole file once
// it is in.
//
// A stream is its total length, datagram count and file CRC together. The device's stream
// is fixed by the first datagram that passes every check; datagrams of another stream are
// counted and otherwise ignored, until kSwitchAfter of them in a row (no datagram of the
// device's own stream between them) show that the operator is now sending another file:
// then the device drops what it holds and starts over on that stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ReceiverStats {
  std::uint64_t datagrams = 0;      // every datagram handed in
  std::uint64_t wrongSize = 0;      // not 1060 bytes
  std::uint64_t crcFailures = 0;    // header CRC wrong
  std::uint64_t badMagic = 0;       // magic not 0xB0A555AA
  std::uint64_t badStream = 0;      // count 0, total length and count disagree, or above the size limit
  std::uint64_t badNumber = 0;      // datagram number not below the count
  std::uint64_t badDataLength = 0;  // data length not the one the number and the total length give
  std::uint64_t otherStream = 0;    // valid, but of a stream other than the device's
  std::uint64_t duplicates = 0;     // valid, of the device's stream, a chunk already held
  std::uint64_t accepted = 0;       // new chunks stored
  std::uint32_t switches = 0;       // times the device started over on another stream

  std::uint64_t Refused() const { return wrongSize + crcFailures + badMagic + badStream + badNumber + badDataLength; }
};

struct SStreamId {
  std::uint32_t dwTotalLen = 0;
  std::uint32_t dwCount = 0;
  std::uint32_t dwFileCrc = 0;
  bool operator==(const SStreamId&) const = default;
};

// A stream that sent at least one valid datagram.
struct SStreamRecord {
  SStreamId id;
  std::uint64_t valid = 0;       // valid datagrams of it
  bool taken = false;            // the device took it (it is or was the device's stream)
  std::uint32_t chunksHeld = 0;  // chunks the device held of it when it left it, or now
};

// One pass of the device's stream as far as the device heard it: lost counts the numbers
// the sender sent between the first and the last datagram heard (wrapping at a new pass),
// so the pass in which the device started listening and the one in which it completed
// count only their heard stretch.
struct SPassRecord {
  std::uint32_t received = 0;  // valid datagrams of the stream (new chunks and repeats)
  std::uint32_t lost = 0;
};

class DeviceReceiver {
 public:
  enum class EFeed { kRefused, kStored, kDuplicate, kStarted, kSwitched, kOtherStream };

  // Valid datagrams of one other stream in a row that make the device start over on it.
  static constexpr std::uint32_t kSwitchAfter = 8;
  // Streams and passes recorded one by one; beyond these only counted.
  static constexpr std::size_t kMaxStreams = 16;
  static constexpr std::size_t kMaxPasses = 1000;

  // Streams announcing more than maxFileBytes are refused and never stored.
  explicit DeviceReceiver(std::uint32_t maxFileBytes) : maxFileBytes_(maxFileBytes) {}

  EFeed Feed(const std::uint8_t* data, std::size_t len);

  bool Locked() const { return locked_; }  // the device has a stream
  bool Complete() const { return locked_ && missing_ == 0; }
  std::uint32_t ChunksMissing() const { return locked_ ? missing_ : 0; }
  std::uint32_t DatagramCount() const { return id_.dwCount; }
  std::uint32_t TotalLength() const { return id_.dwTotalLen; }
  std::uint32_t AnnouncedFileCrc() const { return id_.dwFileCrc; }
  std::uint16_t ForceFlag() const { return force_; }
  std::uint8_t Policy() const { return policy_; }
  std::uint8_t ImageType() const { return imageType_; }
  const ReceiverStats& Stats() const { return stats_; }

  // The device's stream: its passes (at most kMaxPasses recorded; PassesSeen counts all).
  std::uint32_t PassesSeen() const { return passesSeen_; }
  const std::vector<SPassRecord>& Passes() const { return passes_; }
  // Every stream that sent a valid datagram, in the order first seen (at most kMaxStreams;
  // StreamsNotRecorded counts the rest).
  const std::vector<SStreamRecord>& Streams() const { return streams_; }
  std::uint64_t StreamsNotRecorded() const { return streamsNotRecorded_; }

  // Once complete: the file, and whether Crc32NoFinalXor of it matches the announced CRC.
  const std::vector<std::uint8_t>& File() const { return file_; }
  bool FileCrcMatches() const;
  std::uint32_t ComputedFileCrc() const;

 private:
  // The size, CRC, magic and the stream's own consistency; counts a refusal.
  bool Valid(const std::uint8_t* d, std::size_t len);
  SStreamRecord* Record(const SStreamId& id);
  void Take(const SStreamId& id);
  void CountPass(std::uint32_t no);

  std::uint32_t maxFileBytes_;
  bool locked_ = false;
  SStreamId id_;
  std::uint32_t missing_ = 0;
  std::uint8_t imageType_ = 0, policy_ = 0;
  std::uint16_t force_ = 0;
  bool havePrevious_ = false;
  std::uint32_t previousNo_ = 0;
  std::uint32_t passesSeen_ = 0;
  std::vector<SPassRecord> passes_;
  SStreamId candidate_;
  std::uint32_t candidateRun_ = 0;
  std::vector<SStreamRecord> streams_;
  std::uint64_t streamsNotRecorded_ = 0;
  std::vector<std::uint8_t> file_;
  std::vector<bool> have_;
  ReceiverStats stats_;
};
