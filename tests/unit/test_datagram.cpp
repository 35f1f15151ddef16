// The datagram format, the template and the measuring of a file at Start.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/unit/temp_file.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/state.h"

namespace {

class DatagramTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetTransmissionState(); }
  void TearDown() override { ResetTransmissionState(); }
};

// A 3-byte file "abc" under policy 1 without force: the first 40 bytes of its only datagram.
TEST_F(DatagramTest, WorkedExample) {
  SDatagramHeader h{};
  h.dwMagic = kDatagramMagic;
  h.byImageType = 1;
  h.byPolicy = 1;
  h.wForceFlag = 0;
  h.dwPacketNo = 0;
  h.dwPacketCount = 1;
  h.dwDataLen = 3;
  h.dwTotalLen = 3;
  h.dwFileCrc = 0xCADBBE3D;
  const std::uint8_t data[] = {'a', 'b', 'c'};
  ASSERT_EQ(BuildDatagram(data, h, 3), 0);
  const std::uint8_t expected[40] = {0xeb, 0x52, 0x02, 0x1f, 0xaa, 0x55, 0xa5, 0xb0, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00,
                                     0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                     0x3d, 0xbe, 0xdb, 0xca, 0x00, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00};
  for (std::size_t i = 0; i < 40; ++i) EXPECT_EQ(g_aDatagram[i], expected[i]) << "byte " << i;
  for (std::size_t i = 40; i < kDatagramSize; ++i) ASSERT_EQ(g_aDatagram[i], 0) << "byte " << i;
  EXPECT_EQ(LoadLE32(g_aDatagram), 0x1F0252EBu);
}

// The CRC covers bytes 4 .. 35 + length; the data follows the header, zeros after it, and
// the reserved word is 0 whatever the template holds.
TEST_F(DatagramTest, CrcCoverageAndZeroTail) {
  std::vector<std::uint8_t> chunk(kChunkSize);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(i * 7 + 1);
  SDatagramHeader h{};
  h.dwMagic = kDatagramMagic;
  h.dwReserved = 0xFFFFFFFFu;
  h.wForceFlag = 0x0102;
  h.dwPacketNo = 0x11223344u;
  for (std::uint32_t len : {0u, 1u, 2u, 1023u, 1024u}) {
    std::fill(std::begin(g_aDatagram), std::end(g_aDatagram), std::uint8_t{0xEE});
    h.dwDataLen = len;
    ASSERT_EQ(BuildDatagram(chunk.data(), h, len), 0);
    EXPECT_EQ(LoadLE32(g_aDatagram + kOffCrc), Crc32NoFinalXor(g_aDatagram + 4, len + 32)) << len;
    EXPECT_EQ(LoadLE32(g_aDatagram + kOffReserved), 0u) << len;
    EXPECT_EQ(g_aDatagram[kOffForceFlag], 0x02);
    EXPECT_EQ(g_aDatagram[kOffForceFlag + 1], 0x01);
    EXPECT_EQ(LoadLE32(g_aDatagram + kOffPacketNo), 0x11223344u);
    EXPECT_EQ(LoadLE32(g_aDatagram + kOffDataLen), len);
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.begin() + len, g_aDatagram + kDatagramHeaderSize)) << len;
    for (std::size_t i = kDatagramHeaderSize + len; i < kDatagramSize; ++i)
      ASSERT_EQ(g_aDatagram[i], 0) << "len " << len << " byte " << i;
  }
}

TEST_F(DatagramTest, LengthAboveOneChunkIsCut) {
  std::vector<std::uint8_t> chunk(2048, 0xAB);
  SDatagramHeader h{};
  ASSERT_EQ(BuildDatagram(chunk.data(), h, 2048), 0);
  EXPECT_EQ(LoadLE32(g_aDatagram), Crc32NoFinalXor(g_aDatagram + 4, 1024 + 32));
  EXPECT_EQ(g_aDatagram[kDatagramSize - 1], 0xAB);
}

struct MeasureCase {
  std::size_t size;
  std::uint32_t count;
};

TEST_F(DatagramTest, MeasureBinFileCounts) {
  const MeasureCase cases[] = {{0, 0}, {1, 1}, {1023, 1}, {1024, 1}, {1025, 2}, {2048, 2}, {3000000, 2930}};
  for (const MeasureCase& c : cases) {
    TempFile f(std::string(c.size, 'x'));
    g_hdrTemplate = SDatagramHeader{};
    ASSERT_EQ(MeasureBinFile(f.path().c_str()), 0) << c.size;
    EXPECT_EQ(g_hdrTemplate.dwTotalLen, c.size);
    EXPECT_EQ(g_hdrTemplate.dwPacketCount, c.count) << c.size;
    EXPECT_EQ(g_hdrTemplate.dwDataLen, 1024u);
    EXPECT_EQ(g_hdrTemplate.dwMagic, kDatagramMagic);
    EXPECT_EQ(g_hdrTemplate.byImageType, 1);
    // Measuring touches nothing that belongs to the send loop.
    EXPECT_EQ(g_hdrTemplate.dwFileCrc, 0u);
    EXPECT_EQ(g_hdrTemplate.byPolicy, 0);
  }
}

TEST_F(DatagramTest, MeasureBinFileMissingFile) {
  const std::string missing = (std::filesystem::temp_directory_path() / "no-such-upgrade-file.bin").string();
  EXPECT_EQ(MeasureBinFile(missing.c_str()), TX_ERR_OPEN);
  EXPECT_EQ(g_hdrTemplate.dwMagic, 0u);
}

TEST_F(DatagramTest, ResetRestoresEveryInitialValue) {
  g_bSending = 1;
  g_nRunState = RUN_STOPPED;
  g_nResult = TX_RETRY;
  g_nLanguage = 1;
  g_nPolicy = 1;
  g_nFilePolicy = 2;
  g_bForceUpgrade = 1;
  g_dwPassCount = 5;
  g_dwPacketNo = 6;
  g_dwFileLength = 7;
  g_dwFileCrc = 8;
  g_dwGroupAddr = 9;
  g_szFilePath[0] = g_szGroupAddr[0] = g_szInterval[0] = g_szNicAddr[0] = 'x';
  g_hdrTemplate.dwMagic = 1;
  g_aDatagram[5] = g_aChunk[5] = 1;
  ResetTransmissionState();
  EXPECT_EQ(g_bSending, 0);
  EXPECT_EQ(g_nRunState, RUN_STARTED);
  EXPECT_EQ(g_nResult, 0);
  EXPECT_EQ(g_nLanguage, 0);
  EXPECT_EQ(g_nPolicy, 3);
  EXPECT_EQ(g_nFilePolicy, 3);
  EXPECT_EQ(g_bForceUpgrade, 0);
  EXPECT_EQ(g_dwPassCount, 0u);
  EXPECT_EQ(g_dwPacketNo, 0u);
  EXPECT_EQ(g_dwFileLength, 0u);
  EXPECT_EQ(g_dwFileCrc, 0u);
  EXPECT_EQ(g_dwGroupAddr, 0u);
  EXPECT_EQ(g_szFilePath[0] | g_szGroupAddr[0] | g_szInterval[0] | g_szNicAddr[0], 0);
  EXPECT_EQ(g_hdrTemplate.dwMagic, 0u);
  EXPECT_EQ(g_aDatagram[5] | g_aChunk[5], 0);
}

}  // namespace
