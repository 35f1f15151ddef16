// The file analysis: kind by extension, size limits at both edges, structure, the version
// line in both languages, the "file is invalid" box and the policy the file fits.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "inspect/analysis.h"
#include "inspect/filekind.h"
#include "tests/inspect/support.h"
#include "tools/mkfile/builder.h"

namespace {

using inspect::EVersionOutcome;
using mkfile::CFileImage;

constexpr int kEn = 0;
constexpr int kZh = 1;

CFileImage Trx(std::uint64_t size, std::string tag = "Q770", std::string version = "1.2.3") {
  return mkfile::BuildTrx({size, std::move(tag), std::move(version)});
}

mkfile::SPackagePlan Package(std::uint64_t size) {
  mkfile::SPackagePlan p;
  p.strVersion = "PKG-3.4";
  mkfile::SUnitPlan boot;
  boot.strName = "BOOT";
  mkfile::SUnitPlan modem;
  modem.strName = "MODEM";
  p.units = {boot, modem};
  p.qwSize = size;
  return p;
}

CFileImage Pkg(std::uint64_t size) { return mkfile::BuildPackage(Package(size)); }

CFileImage Image(std::uint64_t size, std::string info = "APP:Q770:5.6.7") {
  mkfile::SImagePlan s;
  mkfile::SImageUnitPlan u;
  u.dwDataLen = 1000;
  u.strInfo = std::move(info);
  s.units = {u, u};
  s.qwSize = size;
  return mkfile::BuildImage(s);
}

CFileImage Zeros(std::uint64_t size) {
  CFileImage f;
  f.Resize(size);
  return f;
}

struct Box {
  std::string text, caption;
};

struct Row {
  const char* name;
  std::string ext;  // the file is written as "f.<ext>" (no dot when empty)
  std::function<std::optional<CFileImage>()> make;  // nullopt: no file at that path
  int language;
  EVersionOutcome outcome;
  std::string line;  // the version line afterwards
  int policy;
  std::vector<Box> boxes;
  std::optional<std::string> trace;  // compared when given
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const std::string kFailEn = "Analyse file version failed! Please check your file!";
const std::string kFailZh = "获取版本号失败，请检查你的文件!";
const std::string kSizeEn = "The size of firmware file seems wrong!";
const std::string kSizeZh = "firmware文件的大小有异常!";
const std::vector<Box> kInvalidEn = {{"the file is invalid!", "Error"}};
const std::vector<Box> kInvalidZh = {{"文件校验错误", "错误"}};

using F = std::function<std::optional<CFileImage>()>;
F File(std::function<CFileImage()> f) {
  return [f]() -> std::optional<CFileImage> { return f(); };
}
std::optional<CFileImage> NoFile() { return std::nullopt; }

const std::vector<Row>& Rows() {
  using O = EVersionOutcome;
  static const std::vector<Row> rows = {
      // "trx" files
      {"trx 1.2.3 in English", "trx", File([] { return Trx(0x100000); }), kEn, O::Version, "Version: 1.2.3", 2, {},
       ""},
      {"trx 1.2.3 in Chinese", "trx", File([] { return Trx(0x100000); }), kZh, O::Version, "版本: 1.2.3", 2, {}, ""},
      {"trx of exactly 1 MiB - 1", "trx", File([] { return Trx(1048575); }), kEn, O::SizeWrong, kSizeEn, 2, {}, ""},
      {"trx of exactly 10 MiB", "trx", File([] { return Trx(10485760); }), kEn, O::Version, "Version: 1.2.3", 2, {},
       ""},
      {"trx of 10 MiB + 1", "trx", File([] { return Trx(10485761); }), kZh, O::SizeWrong, kSizeZh, 2, {}, ""},
      {"trx without the model tag", "trx", File([] { return Trx(0x100000, "Q771"); }), kEn, O::Error, kFailEn, 2,
       {}, ""},
      {"trx with the tag in small letters", "trx", File([] { return Trx(0x100000, "q770"); }), kZh, O::Error,
       kFailZh, 2, {}, ""},
      {"trx tag followed by more text", "trx", File([] { return Trx(0x200000, "Q770-EU-rev2"); }), kEn, O::Version,
       "Version: 1.2.3", 2, {}, ""},
      {"trx with an empty version field", "trx", File([] { return Trx(0x100000, "Q770", ""); }), kEn, O::Version,
       "Version: ", 2, {}, ""},
      {"trx version of 32 bytes without NUL", "trx",
       File([] { return Trx(0x100000, "Q770", std::string(32, '8')); }), kEn, O::Version,
       "Version: " + std::string(32, '8'), 2, {}, ""},
      {"trx that is missing", "trx", NoFile, kEn, O::Error, kFailEn, 2, {}, ""},
      {"trx of the wrong size and no tag", "trx", File([] { return Zeros(100); }), kEn, O::SizeWrong, kSizeEn, 2,
       {}, ""},
      // "bin" files
      {"bin package of 64 KiB", "bin", File([] { return Pkg(65536); }), kEn, O::Version, "Version: PKG-3.4", 1, {},
       "upgrade file have not unit file :ROUTER.\r\n upgrade file have not file:ROUTER\r\n"},
      {"BIN package in Chinese", "BIN", File([] { return Pkg(65536); }), kZh, O::Version, "版本: PKG-3.4", 1, {},
       std::nullopt},
      {"bin of 64 KiB - 1", "bin", File([] { return Pkg(65535); }), kEn, O::SizeWrong, kSizeEn, 1, {}, ""},
      {"bin of exactly 150 MiB", "bin", File([] { return Pkg(157286400); }), kEn, O::Version, "Version: PKG-3.4",
       1, {}, std::nullopt},
      {"bin of 150 MiB + 1", "bin", File([] { return Pkg(157286401); }), kZh, O::SizeWrong, kSizeZh, 1, {}, ""},
      {"bin image unit file", "bin", File([] { return Image(70000); }), kEn, O::Version, "Version: 5.6.7", 1, {},
       "upgrade file header lossed.\r\nVerify upg file header failed.\r\nthe imageTotalLen is 70000!\n"},
      {"bin image unit file without a colon", "bin", File([] { return Image(70000, "APP"); }), kEn, O::Error,
       kFailEn, 1, kInvalidEn,
       "upgrade file header lossed.\r\nVerify upg file header failed.\r\nthe imageTotalLen is 70000!\n"},
      {"bin of zeros in English", "bin", File([] { return Zeros(65536); }), kEn, O::Error, kFailEn, 1, kInvalidEn,
       "upgrade file header lossed.\r\nVerify upg file header failed.\r\nthe imageTotalLen is 65536!\n"},
      {"BIN of zeros in Chinese", "BIN", File([] { return Zeros(65536); }), kZh, O::Error, kFailZh, 1, kInvalidZh,
       std::nullopt},
      {"bin package whose BOOT fails", "bin", File([] {
         mkfile::SPackagePlan p = Package(65536);
         p.units[0].formats = {{2, false}};
         return mkfile::BuildPackage(p);
       }),
       kEn, O::Error, kFailEn, 1, kInvalidEn,
       "upgrade file type is error,can not upgrade difference format packet\r\n Read unit file data "
       "failed,file:BOOT\r\nVerify cfe upg file header failed.\r\nthe imageTotalLen is 65536!\n"},
      {"bin that is missing", "bin", NoFile, kEn, O::Error, kFailEn, 1, {}, ""},
      // extensions of no kind
      {"valid trx named TRX", "TRX", File([] { return Trx(0x100000); }), kEn, O::Error, kFailEn, 3, {}, ""},
      {"valid package named Bin", "Bin", File([] { return Pkg(65536); }), kZh, O::Error, kFailZh, 3, {}, ""},
      {"valid package named exe", "exe", File([] { return Pkg(65536); }), kEn, O::Error, kFailEn, 3, {}, ""},
      {"valid package without an extension", "", File([] { return Pkg(65536); }), kEn, O::Error, kFailEn, 3, {},
       ""},
      // a language other than 0 and 1: no texts, no box
      {"trx in language 2", "trx", File([] { return Trx(0x100000); }), 2, O::Version, "1.2.3", 2, {}, ""},
      {"bin of zeros in language 2", "bin", File([] { return Zeros(65536); }), 2, O::Error, "", 1, {},
       std::nullopt},
      {"package version Error in language 2", "bin", File([] {
         mkfile::SPackagePlan p = Package(65536);
         p.strVersion = "Error";
         return mkfile::BuildPackage(p);
       }),
       2, O::Version, "Error", 1, {}, std::nullopt},
  };
  return rows;
}

class FileAnalysis : public ::testing::TestWithParam<Row> {};

TEST_P(FileAnalysis, VersionLinePolicyAndBox) {
  const Row& row = GetParam();
  inspect_test::ScratchDir dir;
  const std::string name = row.ext.empty() ? "f" : "f." + row.ext;
  std::string path = dir.Path(name);
  if (auto image = row.make()) path = dir.Write(name, *image);
  std::vector<Box> boxes;
  inspect_test::TraceCapture trace;
  const inspect::SFileAnalysis result = inspect::AnalyseFile(
      path.c_str(), inspect::FileExtensionOf(path), row.language,
      [&boxes](const char* text, const char* caption) { boxes.push_back({text, caption}); });
  EXPECT_EQ(result.eOutcome, row.outcome);
  EXPECT_EQ(result.Accepted(), row.outcome == EVersionOutcome::Version);
  EXPECT_EQ(result.strVersionLine, row.line);
  EXPECT_EQ(result.nFilePolicy, row.policy);
  ASSERT_EQ(boxes.size(), row.boxes.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].text, row.boxes[i].text);
    EXPECT_EQ(boxes[i].caption, row.boxes[i].caption);
  }
  const std::string traced = trace.Take();
  if (row.trace) {
    EXPECT_EQ(traced, *row.trace);
  }
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return std::to_string(info.index) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(Rows, FileAnalysis, ::testing::ValuesIn(Rows()), RowName);

TEST(VersionRoutines, ReturnSizeErrorOrTheVersionLine) {
  inspect_test::ScratchDir dir;
  const std::string trx = dir.Write("a.trx", Trx(0x100000));
  const std::string trxSmall = dir.Write("s.trx", Trx(0xFFFFF));
  const std::string trxNoTag = dir.Write("n.trx", Trx(0x100000, "X770"));
  const std::string pkg = dir.Write("p.bin", Pkg(65536));
  const std::string small = dir.Write("s.bin", Pkg(4096));
  const std::string zeros = dir.Write("z.bin", Zeros(65536));
  const std::string missing = dir.Path("missing.bin");
  const auto quiet = [](const char*, const char*) {};
  inspect_test::TraceCapture trace;
  const struct {
    std::string got, expected;
  } rows[] = {
      {inspect::GetTrxVersion(trx.c_str(), kEn), "Version: 1.2.3"},
      {inspect::GetTrxVersion(trx.c_str(), kZh), "版本: 1.2.3"},
      {inspect::GetTrxVersion(trxSmall.c_str(), kEn), "Size"},
      {inspect::GetTrxVersion(trxNoTag.c_str(), kEn), "Error"},
      {inspect::GetTrxVersion(missing.c_str(), kEn), "Error"},
      {inspect::GetBinVersion(pkg.c_str(), kEn, quiet), "Version: PKG-3.4"},
      {inspect::GetBinVersion(pkg.c_str(), kZh, quiet), "版本: PKG-3.4"},
      {inspect::GetBinVersion(small.c_str(), kEn, quiet), "Size"},
      {inspect::GetBinVersion(zeros.c_str(), kEn, quiet), "Error"},
      {inspect::GetBinVersion(missing.c_str(), kEn, quiet), "Error"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.got, row.expected);
}

TEST(VersionRoutines, CheckBinFileTriesThePackageFirst) {
  inspect_test::ScratchDir dir;
  // A package that also holds an image unit header at offset 92: the package gives the version.
  mkfile::CFileImage both = Pkg(65536);
  {
    mkfile::SImagePlan s;
    mkfile::SImageUnitPlan u;
    u.strInfo = "IMG:9.9";
    s.units = {u};
    const mkfile::Bytes image = mkfile::BuildImage(s).Flatten();
    both.Put(92, mkfile::Bytes(image.begin() + 92, image.end()));
  }
  const struct {
    std::string path;
    int result;
    std::string version;
    std::size_t boxes;
  } rows[] = {
      {dir.Write("p.bin", Pkg(65536)), 1, "PKG-3.4", 0},
      {dir.Write("i.bin", Image(65536)), 1, "5.6.7", 0},
      {dir.Write("z.bin", Zeros(10)), 0, "kept", 1},
      {dir.Path("missing.bin"), 0, "kept", 0},
  };
  for (const auto& row : rows) {
    inspect_test::TraceCapture trace;
    std::size_t boxes = 0;
    std::string version = "kept";
    EXPECT_EQ(inspect::CheckBinFile(row.path.c_str(), version, kEn, [&boxes](const char*, const char*) { ++boxes; }),
              row.result);
    EXPECT_EQ(version, row.version);
    EXPECT_EQ(boxes, row.boxes);
  }
  // The package damaged in its BOOT unit: the image unit header then gives the version.
  inspect_test::TraceCapture trace;
  std::string version;
  const std::string damaged = dir.Write("b.bin", both);
  EXPECT_EQ(inspect::CheckBinFile(damaged.c_str(), version, kEn, [](const char*, const char*) {}), 1);
  EXPECT_EQ(version, "9.9");
}

TEST(FileKindTable, ExtensionsAndKinds) {
  const struct {
    const char* ext;
    int kind;
    int policy;
  } rows[] = {
      {"trx", 1, 2}, {"bin", 2, 1}, {"BIN", 2, 1}, {"TRX", 0, 3}, {"Trx", 0, 3}, {"Bin", 0, 3},
      {"bIN", 0, 3}, {"exe", 0, 3}, {"", 0, 3},    {"bin ", 0, 3}, {".bin", 0, 3},
  };
  const std::map<std::string, int> map = inspect::MakeFileKindMap();
  EXPECT_EQ(map.size(), 3u);
  for (const auto& row : rows) {
    EXPECT_EQ(inspect::FileKindOf(row.ext), row.kind) << row.ext;
    EXPECT_EQ(inspect::FileKindOf(map, row.ext), row.kind) << row.ext;
    EXPECT_EQ(inspect::FilePolicyOfKind(row.kind), row.policy) << row.ext;
  }
}

TEST(FileKindTable, ExtensionOfAPath) {
  const struct {
    const char* path;
    const char* ext;
  } rows[] = {
      {"fw.bin", "bin"},           {"/a/b/fw.BIN", "BIN"},   {"a.b.c.trx", "trx"},
      {"noext", ""},               {"/dir.d/file", ""},      {".bin", "bin"},
      {"file.", ""},               {"C:\\x.d\\y.Bin", "Bin"}, {"", ""},
      {"/tmp/a.tar.gz", "gz"},
  };
  for (const auto& row : rows) EXPECT_EQ(inspect::FileExtensionOf(row.path), row.ext) << row.path;
}

}  // namespace
