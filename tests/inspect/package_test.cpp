// The package verifier: each row builds a file, and expects the trace byte for byte, the
// answer and the version text left in the caller's buffer.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "inspect/package.h"
#include "tests/inspect/support.h"
#include "tools/mkfile/builder.h"

namespace {

using inspect_test::CrcOf;
using inspect_test::LoadLE32;
using inspect_test::RecordCrc;
using mkfile::Bytes;
using mkfile::SPackagePlan;
using mkfile::SUnitPlan;

SUnitPlan Unit(const char* name, std::size_t infoLen = 16) {
  SUnitPlan u;
  u.strName = name;
  u.info = Bytes(infoLen, static_cast<std::uint8_t>(0x40 + infoLen));
  return u;
}

SPackagePlan Full() {
  SPackagePlan p;
  p.strVersion = "V2.1.7";
  p.units = {Unit("BOOT"), Unit("ROUTER", 33), Unit("MODEM", 1)};
  return p;
}

// Where the records of unit `i` lie in a file built from `plan` with its default chain.
struct UnitLayout {
  std::size_t unit, format, entry0, info, data;
};
UnitLayout Layout(const SPackagePlan& plan, std::size_t i) {
  std::size_t at = plan.dwFirstUnitOffset.value_or(64);
  for (std::size_t k = 0; k < i; ++k) {
    const SUnitPlan& u = plan.units[k];
    at += 64 + 20 + 24 * u.formats.size() + 52 + u.info.size() + u.dwPayloadLen;
  }
  const std::size_t info = at + 84 + 24 * plan.units[i].formats.size();
  return {at, at + 64, at + 84, info, info + 52};
}

const char* const kUnitFailure[] = {"", "Verify cfe upg file header failed.\r\n",
                                    "Verify router upg file header failed.\r\n",
                                    "Verify modem upg file header failed.\r\n"};

std::string Absent(const std::string& name) {
  return "upgrade file have not unit file :" + name + ".\r\n upgrade file have not file:" + name + "\r\n";
}
std::string EmptyInfo(const std::string& name) { return " upgrade file have not file:" + name + "\r\n"; }
std::string Refused(int unit) {
  return std::string(" Read unit file data failed,file:") + inspect::g_aUnitNames[unit] + "\r\n" + kUnitFailure[unit];
}
std::string CrcLine(const std::string& what, int unit, std::uint32_t src, std::uint32_t dst) {
  return "upgrade file " + what + "destroy.crc verify falied.file:" + inspect::g_aUnitNames[unit] +
         ",srcCRC:" + std::to_string(src) + ",dstCRC:" + std::to_string(dst) + "\r\n";
}
// The CRC line of a record of `len` bytes at `off` whose CRC field is at `crcOff`.
std::string RecordCrcLine(const Bytes& f, const std::string& what, int unit, std::size_t off, std::size_t len,
                          std::size_t crcOff) {
  return CrcLine(what, unit, LoadLE32(f, off + crcOff), RecordCrc(f, off, len, crcOff));
}

const std::string kHeaderLossed = "upgrade file header lossed.\r\nVerify upg file header failed.\r\n";
const std::string kHeaderCrc =
    "upgrade file header destroy.crc verify falied.file:UPGPKG 1.0\r\nVerify upg file header failed.\r\n";
const std::string kDelta = "upgrade file type is error,can not upgrade difference format packet\r\n";

struct Row {
  const char* name;
  std::function<void(SPackagePlan&)> change;  // applied to Full()
  std::function<std::string(const Bytes& file, const SPackagePlan& plan)> trace;
  int result;
  std::string version;  // what the caller's buffer holds afterwards
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::string None(const Bytes&, const SPackagePlan&) { return ""; }

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"all three units", [](SPackagePlan&) {}, None, 1, "V2.1.7"},
      {"no units, file ends at the first unit offset", [](SPackagePlan& p) { p.units.clear(); },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT") + Absent("ROUTER") + Absent("MODEM"); }, 1,
       "V2.1.7"},
      {"no units, first unit offset beyond the end",
       [](SPackagePlan& p) {
         p.units.clear();
         p.dwFirstUnitOffset = 0x00F00000;
       },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT") + Absent("ROUTER") + Absent("MODEM"); }, 1,
       "V2.1.7"},
      {"first unit offset 0xFFFFFFFF",
       [](SPackagePlan& p) {
         p.units.clear();
         p.dwFirstUnitOffset = 0xFFFFFFFFu;
       },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT") + Absent("ROUTER") + Absent("MODEM"); }, 1,
       "V2.1.7"},
      {"only ROUTER and MODEM", [](SPackagePlan& p) { p.units.erase(p.units.begin()); },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT"); }, 1, "V2.1.7"},
      {"only BOOT", [](SPackagePlan& p) { p.units.resize(1); },
       [](const Bytes&, const SPackagePlan&) { return Absent("ROUTER") + Absent("MODEM"); }, 1, "V2.1.7"},
      {"only MODEM", [](SPackagePlan& p) { p.units.erase(p.units.begin(), p.units.begin() + 2); },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT") + Absent("ROUTER"); }, 1, "V2.1.7"},
      {"BOOT with empty info data hides the others", [](SPackagePlan& p) { p.units[0].info.clear(); },
       [](const Bytes&, const SPackagePlan&) { return EmptyInfo("BOOT") + Absent("ROUTER") + Absent("MODEM"); }, 1,
       "V2.1.7"},
      {"ROUTER with empty info data hides MODEM", [](SPackagePlan& p) { p.units[1].info.clear(); },
       [](const Bytes&, const SPackagePlan&) { return EmptyInfo("ROUTER") + Absent("MODEM"); }, 1, "V2.1.7"},
      {"empty info data with a wrong info CRC",
       [](SPackagePlan& p) {
         p.units[0].info.clear();
         p.units[0].bBadInfoCrc = true;
       },
       [](const Bytes& f, const SPackagePlan& s) {
         return CrcLine("info data ", 1, LoadLE32(f, Layout(s, 0).info + 24), 0) + Refused(1);
       },
       0, "V2.1.7"},
      {"unit name in other letter case is absent", [](SPackagePlan& p) { p.units[0].strName = "Boot"; },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT") + Absent("ROUTER") + Absent("MODEM"); }, 1,
       "V2.1.7"},
      {"unit name with a suffix is absent", [](SPackagePlan& p) { p.units[2].strName = "MODEMX"; },
       [](const Bytes&, const SPackagePlan&) { return Absent("MODEM"); }, 1, "V2.1.7"},
      {"units out of order", [](SPackagePlan& p) { std::swap(p.units[0], p.units[1]); },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT") + Absent("MODEM"); }, 1, "V2.1.7"},
      {"package name in small letters", [](SPackagePlan& p) { p.strName = "upgpkg 1.0"; },
       [](const Bytes&, const SPackagePlan&) { return kHeaderLossed; }, 0, ""},
      {"package name with a blank after it", [](SPackagePlan& p) { p.strName = "UPGPKG 1.0 "; },
       [](const Bytes&, const SPackagePlan&) { return kHeaderLossed; }, 0, ""},
      {"package name of 16 bytes without NUL", [](SPackagePlan& p) { p.strName = "UPGPKG 1.0ABCDEF"; },
       [](const Bytes&, const SPackagePlan&) { return kHeaderLossed; }, 0, ""},
      {"bytes after the package name's NUL are not read",
       [](SPackagePlan& p) { p.strName = std::string("UPGPKG 1.0\0junk!", 16); }, None, 1, "V2.1.7"},
      {"package header CRC spoilt", [](SPackagePlan& p) { p.bBadHeaderCrc = true; },
       [](const Bytes&, const SPackagePlan&) { return kHeaderCrc; }, 0, ""},
      {"empty file", [](SPackagePlan& p) { p.qwTruncate = 0; },
       [](const Bytes&, const SPackagePlan&) { return kHeaderLossed; }, 0, ""},
      {"file of 5 bytes", [](SPackagePlan& p) { p.qwTruncate = 5; },
       [](const Bytes&, const SPackagePlan&) { return kHeaderLossed; }, 0, ""},
      {"file of 63 bytes", [](SPackagePlan& p) { p.qwTruncate = 63; },
       [](const Bytes&, const SPackagePlan&) { return kHeaderCrc; }, 0, ""},
      {"version of 40 bytes without NUL", [](SPackagePlan& p) { p.strVersion = std::string(40, '7'); }, None, 1,
       std::string(40, '7')},
      {"empty version", [](SPackagePlan& p) { p.strVersion = ""; }, None, 1, ""},
      {"BOOT unit header CRC spoilt", [](SPackagePlan& p) { p.units[0].bBadUnitCrc = true; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "header ", 1, Layout(s, 0).unit, 64, 60) + Refused(1);
       },
       0, "V2.1.7"},
      {"ROUTER format header CRC spoilt", [](SPackagePlan& p) { p.units[1].bBadFormatHeaderCrc = true; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "format header ", 2, Layout(s, 1).format, 20, 12) + Refused(2);
       },
       0, "V2.1.7"},
      {"MODEM second format entry CRC spoilt",
       [](SPackagePlan& p) { p.units[2].formats = {{1, false}, {0, true}, {2, false}}; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "format  ", 3, Layout(s, 2).entry0 + 24, 24, 20) + Refused(3);
       },
       0, "V2.1.7"},
      {"format type 2 with a right CRC", [](SPackagePlan& p) { p.units[0].formats = {{2, false}}; },
       [](const Bytes&, const SPackagePlan&) { return kDelta + Refused(1); }, 0, "V2.1.7"},
      {"format type 2 with a wrong CRC", [](SPackagePlan& p) { p.units[1].formats = {{2, true}}; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "format  ", 2, Layout(s, 1).entry0, 24, 20) + Refused(2);
       },
       0, "V2.1.7"},
      {"type 2 refused before a spoilt entry is read",
       [](SPackagePlan& p) { p.units[0].formats = {{2, false}, {1, true}}; },
       [](const Bytes&, const SPackagePlan&) { return kDelta + Refused(1); }, 0, "V2.1.7"},
      {"format types 0, 1, 3 and 0xFFFFFFFF pass",
       [](SPackagePlan& p) { p.units[1].formats = {{0, false}, {1, false}, {3, false}, {0xFFFFFFFFu, false}}; },
       None, 1, "V2.1.7"},
      {"no format entries", [](SPackagePlan& p) { p.units[2].formats.clear(); }, None, 1, "V2.1.7"},
      {"five good format entries are all tested",
       [](SPackagePlan& p) { p.units[0].formats = std::vector<mkfile::SFormatPlan>(5); }, None, 1, "V2.1.7"},
      {"type 2 as the seventh entry",
       [](SPackagePlan& p) {
         p.units[0].formats = std::vector<mkfile::SFormatPlan>(7);
         p.units[0].formats[6].dwType = 2;
       },
       [](const Bytes&, const SPackagePlan&) { return kDelta + Refused(1); }, 0, "V2.1.7"},
      {"format count five with four entries",
       [](SPackagePlan& p) {
         p.units[1].formats = std::vector<mkfile::SFormatPlan>(4);
         p.units[1].dwFormatCount = 5;
       },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "format  ", 2, Layout(s, 1).entry0 + 4 * 24, 24, 20) + Refused(2);
       },
       0, "V2.1.7"},
      {"format count 0xFFFFFFFF", [](SPackagePlan& p) { p.units[2].dwFormatCount = 0xFFFFFFFFu; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "format  ", 3, Layout(s, 2).entry0 + 24, 24, 20) + Refused(3);
       },
       0, "V2.1.7"},
      {"ROUTER info header CRC spoilt", [](SPackagePlan& p) { p.units[1].bBadInfoHeaderCrc = true; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "info header ", 2, Layout(s, 1).info, 52, 12) + Refused(2);
       },
       0, "V2.1.7"},
      {"MODEM info data CRC spoilt", [](SPackagePlan& p) { p.units[2].bBadInfoCrc = true; },
       [](const Bytes& f, const SPackagePlan& s) {
         const UnitLayout l = Layout(s, 2);
         return CrcLine("info data ", 3, LoadLE32(f, l.info + 24), CrcOf(f, l.data, 1)) +
                Refused(3);
       },
       0, "V2.1.7"},
      {"info length beyond the end of the file",
       [](SPackagePlan& p) {
         p.units[2].dwInfoLen = 100000;
         p.units[2].dwPayloadLen = 10;
       },
       [](const Bytes& f, const SPackagePlan& s) {
         const UnitLayout l = Layout(s, 2);
         return CrcLine("info data ", 3, LoadLE32(f, l.info + 24), CrcOf(f, l.data, f.size() - l.data)) +
                Refused(3);
       },
       0, "V2.1.7"},
      {"info length 0xFFFFFFFF", [](SPackagePlan& p) { p.units[0].dwInfoLen = 0xFFFFFFFFu; },
       [](const Bytes& f, const SPackagePlan& s) {
         const UnitLayout l = Layout(s, 0);
         return CrcLine("info data ", 1, LoadLE32(f, l.info + 24), CrcOf(f, l.data, f.size() - l.data)) +
                Refused(1);
       },
       0, "V2.1.7"},
      {"info data ends exactly at the end of the file",
       [](SPackagePlan& p) {
         p.units.resize(1);
         p.units[0].dwPayloadLen = 0;
       },
       [](const Bytes&, const SPackagePlan&) { return Absent("ROUTER") + Absent("MODEM"); }, 1, "V2.1.7"},
      {"info data one byte short",
       [](SPackagePlan& p) {
         p.units.resize(1);
         p.units[0].dwPayloadLen = 0;
         p.qwTruncate = 64 + 64 + 20 + 24 + 52 + 15;
       },
       [](const Bytes& f, const SPackagePlan& s) {
         const UnitLayout l = Layout(s, 0);
         return CrcLine("info data ", 1, LoadLE32(f, l.info + 24), CrcOf(f, l.data, 15)) + Refused(1);
       },
       0, "V2.1.7"},
      {"unit header cut inside its name reads as absent", [](SPackagePlan& p) { p.qwTruncate = 64 + 2; },
       [](const Bytes&, const SPackagePlan&) { return Absent("BOOT") + Absent("ROUTER") + Absent("MODEM"); }, 1,
       "V2.1.7"},
      {"unit header cut after its name fails its CRC", [](SPackagePlan& p) { p.qwTruncate = 64 + 30; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "header ", 1, Layout(s, 0).unit, 64, 60) + Refused(1);
       },
       0, "V2.1.7"},
      {"format header cut short",
       [](SPackagePlan& p) { p.qwTruncate = 64 + 64 + 10; },
       [](const Bytes& f, const SPackagePlan& s) {
         return RecordCrcLine(f, "format header ", 1, Layout(s, 0).format, 20, 12) + Refused(1);
       },
       0, "V2.1.7"},
      {"BOOT's next offset pointing at itself", [](SPackagePlan& p) { p.units[0].dwNextUnitOffset = 64; },
       [](const Bytes&, const SPackagePlan&) { return Absent("ROUTER") + Absent("MODEM"); }, 1, "V2.1.7"},
      {"ROUTER's next offset beyond the end", [](SPackagePlan& p) { p.units[1].dwNextUnitOffset = 0x7FFFFFFFu; },
       [](const Bytes&, const SPackagePlan&) { return Absent("MODEM"); }, 1, "V2.1.7"},
      {"ROUTER's next offset 0xFFFFFFFF", [](SPackagePlan& p) { p.units[1].dwNextUnitOffset = 0xFFFFFFFFu; },
       [](const Bytes&, const SPackagePlan&) { return Absent("MODEM"); }, 1, "V2.1.7"},
      {"BOOT's next offset skips ROUTER to MODEM",
       [](SPackagePlan& p) {
         p.units[0].dwNextUnitOffset = static_cast<std::uint32_t>(Layout(p, 2).unit);
       },
       [](const Bytes&, const SPackagePlan&) { return Absent("ROUTER"); }, 1, "V2.1.7"},
  };
  return rows;
}

}  // namespace

class PackageVerifier : public ::testing::TestWithParam<Row> {};

TEST_P(PackageVerifier, TraceResultAndVersion) {
  const Row& row = GetParam();
  SPackagePlan plan = Full();
  row.change(plan);
  const mkfile::CFileImage image = mkfile::BuildPackage(plan);
  const Bytes file = image.Flatten();
  inspect_test::ScratchDir dir;
  const std::string path = dir.Write("package.bin", image);

  inspect_test::TraceCapture trace;
  inspect_test::AllocationCounter blocks;
  char version[256];
  std::memset(version, 0, sizeof version);
  EXPECT_EQ(inspect::VerifyUpgradeFile(path.c_str(), version, sizeof version), row.result);
  EXPECT_EQ(trace.Take(), row.trace(file, plan));
  EXPECT_EQ(std::string(version), row.version);
  // Every block is freed, and none is larger than the file.
  EXPECT_EQ(blocks.Allocated(), blocks.Freed());
  EXPECT_LE(blocks.Largest(), file.size());
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return std::to_string(info.index) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(Rows, PackageVerifier, ::testing::ValuesIn(Rows()), RowName);

TEST(PackageVerifierFile, UnopenablePaths) {
  inspect_test::ScratchDir dir;
  const std::string paths[] = {dir.Path("missing.bin"), dir.Path("")};
  for (const std::string& path : paths) {
    inspect_test::TraceCapture trace;
    char version[16] = "untouched";
    EXPECT_EQ(inspect::VerifyUpgradeFile(path.c_str(), version, sizeof version), 0) << path;
    EXPECT_EQ(trace.Take(), "Open upgrade file failed.\r\n") << path;
    EXPECT_STREQ(version, "untouched");
  }
  inspect_test::TraceCapture trace;
  EXPECT_EQ(inspect::VerifyUpgradeFile(nullptr, nullptr, 0), 0);
  EXPECT_EQ(trace.Take(), "Open upgrade file failed.\r\n");
}

TEST(PackageVerifierFile, FailedAllocationOfInfoData) {
  const struct {
    std::function<void(SPackagePlan&)> change;
    std::string trace;
  } rows[] = {
      {[](SPackagePlan&) {}, "malloc buf failed\r\n" + Refused(1)},
      {[](SPackagePlan& p) { p.units.erase(p.units.begin()); }, Absent("BOOT") + "malloc buf failed\r\n" + Refused(2)},
      {[](SPackagePlan& p) { p.units.resize(1); p.units[0].strName = "MODEM"; },
       Absent("BOOT") + Absent("ROUTER") + "malloc buf failed\r\n" + Refused(3)},
  };
  for (const auto& row : rows) {
    SPackagePlan plan = Full();
    row.change(plan);
    inspect_test::ScratchDir dir;
    const std::string path = dir.Write("p.bin", mkfile::BuildPackage(plan));
    inspect_test::TraceCapture trace;
    inspect_test::AllocationCounter failing(true);
    char version[64] = {};
    EXPECT_EQ(inspect::VerifyUpgradeFile(path.c_str(), version, sizeof version), 0);
    EXPECT_EQ(trace.Take(), row.trace);
    EXPECT_STREQ(version, "V2.1.7");
  }
}

TEST(PackageVerifierFile, VersionCutToTheCallersBuffer) {
  const struct {
    std::size_t size;
    const char* expected;
  } rows[] = {{1, ""}, {4, "V2."}, {7, "V2.1.7"}, {64, "V2.1.7"}};
  inspect_test::ScratchDir dir;
  const std::string path = dir.Write("p.bin", mkfile::BuildPackage(Full()));
  for (const auto& row : rows) {
    inspect_test::TraceCapture trace;
    char version[80];
    std::memset(version, 'x', sizeof version);
    EXPECT_EQ(inspect::VerifyUpgradeFile(path.c_str(), version, row.size), 1);
    EXPECT_STREQ(version, row.expected) << row.size;
    EXPECT_EQ(version[row.size], 'x') << "wrote past the buffer of " << row.size;
  }
}

TEST(PackageVerifierFile, EmptyInfoDataIsNoFailedAllocation) {
  // An allocator that fails every request for zero bytes, as some C libraries do.
  static int zeroRequests = 0;
  zeroRequests = 0;
  inspect::SetInfoAllocator(
      [](std::size_t n) -> void* {
        if (n == 0) {
          ++zeroRequests;
          return nullptr;
        }
        return std::malloc(n);
      },
      std::free);
  SPackagePlan plan = Full();
  plan.units[0].info.clear();
  plan.units[0].strName = "BOOT";
  inspect_test::ScratchDir dir;
  const std::string path = dir.Write("p.bin", mkfile::BuildPackage(plan));
  inspect_test::TraceCapture trace;
  char version[64] = {};
  EXPECT_EQ(inspect::VerifyUpgradeFile(path.c_str(), version, sizeof version), 1);
  inspect::SetInfoAllocator(nullptr, nullptr);
  EXPECT_EQ(zeroRequests, 0);
  EXPECT_EQ(trace.Take(), EmptyInfo("BOOT") + Absent("ROUTER") + Absent("MODEM"));
}
