// The fixture builder: its sparse file picture, and upgrade-mkfile's switches, each checked by
// running the tool and inspecting what it wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "inspect/analysis.h"
#include "inspect/image.h"
#include "inspect/package.h"
#include "tests/inspect/support.h"
#include "tools/mkfile/builder.h"
#include "tools/mkfile/numbers.h"

namespace {

TEST(FileImage, RunsMergeAndCut) {
  const struct {
    const char* name;
    void (*build)(mkfile::CFileImage&);
    mkfile::Bytes expected;
  } rows[] = {
      {"two runs with a gap", [](mkfile::CFileImage& f) { f.Put(1, {1, 2}); f.Put(5, {3}); }, {0, 1, 2, 0, 0, 3}},
      {"overwrite across runs",
       [](mkfile::CFileImage& f) {
         f.Put(0, {1, 1});
         f.Put(4, {2, 2});
         f.Put(1, {9, 9, 9, 9});
       },
       {1, 9, 9, 9, 9, 2}},
      {"cut inside a run", [](mkfile::CFileImage& f) { f.Put(0, {1, 2, 3, 4}); f.Resize(2); }, {1, 2}},
      {"grow with zeros", [](mkfile::CFileImage& f) { f.Put(0, {7}); f.Resize(3); }, {7, 0, 0}},
      {"empty run extends the size", [](mkfile::CFileImage& f) { f.Put(4, {}); }, {0, 0, 0, 0}},
      {"fill with a gap before it", [](mkfile::CFileImage& f) { f.Fill(2, 3, 7); }, {0, 0, 7, 7, 7}},
      {"run over a fill", [](mkfile::CFileImage& f) { f.Fill(0, 5, 7); f.Put(1, {1, 2}); }, {7, 1, 2, 7, 7}},
      {"fill over runs and a fill",
       [](mkfile::CFileImage& f) {
         f.Put(0, {1, 2, 3, 4, 5, 6});
         f.Fill(4, 4, 9);
         f.Fill(1, 2, 8);
       },
       {1, 8, 8, 4, 9, 9, 9, 9}},
      {"cut inside a fill", [](mkfile::CFileImage& f) { f.Fill(1, 10, 6); f.Resize(3); }, {0, 6, 6}},
      {"empty fill extends the size", [](mkfile::CFileImage& f) { f.Fill(3, 0, 6); }, {0, 0, 0}},
  };
  inspect_test::ScratchDir dir;
  for (const auto& row : rows) {
    mkfile::CFileImage f;
    row.build(f);
    EXPECT_EQ(f.Flatten(), row.expected) << row.name;
    const std::string path = dir.Write("f", f);
    EXPECT_EQ(std::filesystem::file_size(path), row.expected.size()) << row.name;
  }
}

TEST(MkfileNumbers, OneReaderForEveryNumber) {
  constexpr std::uint64_t kNone = ~0ull;  // refused
  const struct {
    const char* text;
    std::uint64_t max;
    std::uint64_t value;
  } rows[] = {
      {"0", 255, 0},
      {"255", 255, 255},
      {"256", 255, kNone},
      {"300", 255, kNone},
      {"0xFF", 255, 255},
      {"0x100", 255, kNone},
      {"0XfF", 255, 255},
      {"007", 255, 7},  // decimal, not octal
      {"1K", 1024, 1024},
      {"1K", 1023, kNone},
      {"64K", mkfile::kMaxFileSize, 65536},
      {"3M", mkfile::kMaxFileSize, 3u << 20},
      {"2G", mkfile::kMaxFileSize, 2ull << 30},
      {"0x10K", mkfile::kMaxFileSize, 16384},
      {"4294967295", mkfile::kMaxU32, 4294967295u},
      {"4294967296", mkfile::kMaxU32, kNone},
      {"4G", mkfile::kMaxU32, kNone},
      {"9223372036854775807", mkfile::kMaxFileSize, 9223372036854775807ull},
      {"9223372036854775808", mkfile::kMaxFileSize, kNone},
      {"18446744073709551615", ~0ull - 1, kNone},
      {"18446744073709551616", ~0ull - 1, kNone},  // wraps to 0 in a careless reader
      {"17179869184G", mkfile::kMaxFileSize, kNone},  // wraps in the scaling
      {"8589934592G", mkfile::kMaxFileSize, kNone},  // 2^63
      {"8589934591G", mkfile::kMaxFileSize, 8589934591ull << 30},
      {"8589934591M", mkfile::kMaxFileSize, 8589934591ull << 20},
      {"", 255, kNone},
      {"-1", 255, kNone},
      {" -1", mkfile::kMaxFileSize, kNone},
      {"+1", 255, kNone},
      {" 1", 255, kNone},
      {"1 ", 255, kNone},
      {"1KK", mkfile::kMaxFileSize, kNone},
      {"K", mkfile::kMaxFileSize, kNone},
      {"1k", mkfile::kMaxFileSize, kNone},
      {"1T", mkfile::kMaxFileSize, kNone},
      {"12Q", mkfile::kMaxFileSize, kNone},
      {"0x", 255, kNone},
      {"0xG", mkfile::kMaxFileSize, kNone},
      {"0x1g", 255, kNone},
      {"1.5", 255, kNone},
      {"1e3", mkfile::kMaxFileSize, kNone},
  };
  for (const auto& row : rows) {
    const auto got = mkfile::ParseNumber(row.text, row.max);
    EXPECT_EQ(got.value_or(kNone), row.value) << '"' << row.text << "\" with maximum " << row.max;
  }
}

// Double quotes: both the POSIX shell and the Windows command processor take them.
std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// The exit status in what std::system returns: a wait status on POSIX systems (status << 8),
// the status itself on Windows; the tool's statuses are 0 to 2.
int ExitStatus(int rc) { return rc > 255 ? (rc >> 8) & 0xFF : rc; }

// Runs upgrade-mkfile with `args` and returns its exit status.
int Mkfile(const std::string& args) {
  // Its lines (one per refusal) go to the test's output. The program's path (the build
  // folder's, without blanks) is not quoted: the Windows command processor drops the first
  // and the last quote of a command line that begins with one.
  const std::string command = std::string(UPGRADE_MKFILE_PATH) + " " + args;
  const int rc = std::system(command.c_str());
  return rc == -1 ? -1 : ExitStatus(rc);
}

TEST(MkfileTool, SwitchesReachTheFile) {
  inspect_test::ScratchDir dir;
  const std::string out = dir.Path("out.bin");
  const std::string q = Quote(out);
  enum Check { kPackage, kImage, kTrx };
  const struct {
    std::string args;
    Check check;
    int result;
    std::string version;
    std::string trace;  // the start of the trace
  } rows[] = {
      {"package " + q + " --version 9.1 --unit BOOT --unit ROUTER --unit MODEM", kPackage, 1, "9.1", ""},
      {"package " + q + " --unit ROUTER,info=0", kPackage, 1, "1.0.0",
       "upgrade file have not unit file :BOOT.\r\n upgrade file have not file:BOOT\r\n"
       " upgrade file have not file:ROUTER\r\n"},
      {"package " + q + " --unit BOOT,formats=1/2", kPackage, 0, "1.0.0",
       "upgrade file type is error,can not upgrade difference format packet\r\n"},
      {"package " + q + " --unit BOOT,formats=1/1,spoil=entry1", kPackage, 0, "1.0.0",
       "upgrade file format  destroy.crc verify falied.file:BOOT,srcCRC:"},
      {"package " + q + " --unit BOOT,spoil=unit", kPackage, 0, "1.0.0",
       "upgrade file header destroy.crc verify falied.file:BOOT,srcCRC:"},
      {"package " + q + " --unit MODEM,spoil=fmthdr", kPackage, 0, "1.0.0",
       "upgrade file have not unit file :BOOT.\r\n upgrade file have not file:BOOT\r\n"
       "upgrade file have not unit file :ROUTER.\r\n upgrade file have not file:ROUTER\r\n"
       "upgrade file format header destroy"},
      {"package " + q + " --unit BOOT,spoil=infohdr", kPackage, 0, "1.0.0", "upgrade file info header destroy"},
      {"package " + q + " --unit BOOT,info=100,spoil=info", kPackage, 0, "1.0.0", "upgrade file info data destroy"},
      {"package " + q + " --unit BOOT,infolen=5000", kPackage, 0, "1.0.0", "upgrade file info data destroy"},
      {"package " + q + " --unit BOOT,count=3", kPackage, 0, "1.0.0", "upgrade file format  destroy"},
      {"package " + q + " --name UPGPKG --unit BOOT", kPackage, 0, "", "upgrade file header lossed.\r\n"},
      {"package " + q + " --bad-header-crc", kPackage, 0, "", "upgrade file header destroy.crc verify falied.file:UPGPKG 1.0\r\n"},
      {"package " + q + " --truncate 9", kPackage, 0, "", "upgrade file header lossed.\r\n"},
      {"package " + q + " --truncate 10", kPackage, 0, "", "upgrade file header destroy.crc verify falied.file:UPGPKG 1.0\r\n"},
      {"package " + q + " --first-offset 0x1000 --size 64K", kPackage, 1, "1.0.0",
       "upgrade file have not unit file :BOOT."},
      {"image " + q + " --unit 98,3,info=A:B:1.2 --unit 98,0", kImage, 1, "1.2", "the imageTotalLen is 296!\n"},
      {"image " + q + " --unit 98,0,info=A,B:3 --trailing 10", kImage, 0, "", "the imageTotalLen is 202!\nfread fail!\n"},
      {"image " + q + " --unit 98,0,magic=0x11111111,info=A:1", kImage, 0, "", "the imageTotalLen is 192!\n"},
      {"image " + q + " --unit 98,0,info=A:7 --size 1M", kImage, 1, "7", "the imageTotalLen is 1048576!\n"},
      {"trx " + q + " --version 4.4.4", kTrx, 1, "Version: 4.4.4", ""},
      {"trx " + q + " --tag Q700", kTrx, 0, "Error", ""},
      {"trx " + q + " --size 1048575", kTrx, 0, "Size", ""},
  };
  for (const auto& row : rows) {
    std::filesystem::remove(out);
    ASSERT_EQ(Mkfile(row.args), 0) << row.args;
    inspect_test::TraceCapture trace;
    char version[256] = {};
    int result = 0;
    std::string text;
    switch (row.check) {
      case kPackage: result = inspect::VerifyUpgradeFile(out.c_str(), version, sizeof version); text = version; break;
      case kImage: result = inspect::ParseImageFile(out.c_str(), version, sizeof version); text = version; break;
      case kTrx:
        text = inspect::GetTrxVersion(out.c_str(), 0);
        result = text.rfind("Version: ", 0) == 0 ? 1 : 0;
        break;
    }
    EXPECT_EQ(result, row.result) << row.args;
    EXPECT_EQ(text, row.version) << row.args;
    const std::string traced = trace.Take();
    EXPECT_EQ(traced.substr(0, row.trace.size()), row.trace) << row.args << "\n" << traced;
  }
}

TEST(MkfileTool, BadSwitchesAreRefused) {
  inspect_test::ScratchDir dir;
  const std::string q = Quote(dir.Path("x.bin"));
  const std::string missing = Quote(dir.Path("no-such-folder/x.bin"));
  const std::string folder = Quote(dir.Path(""));
  const struct {
    std::string args;
    int status;
  } rows[] = {
      // Usage errors, each named by its option: status 2.
      {"package " + q + " --unit BOOT,spoil=entry5", 2},
      {"package " + q + " --unit BOOT,bogus=1", 2},
      {"package " + q + " --unit BOOT,info=-1", 2},
      {"package " + q + " --unit BOOT,info=65M", 2},
      {"package " + q + " --unit BOOT,infobyte=300", 2},
      {"package " + q + " --size \" -1\"", 2},
      {"package " + q + " --size 18446744073709551616", 2},
      {"package " + q + " --size 17179869184G", 2},
      {"package " + q + " --first-offset 0x100000000", 2},
      {"package " + q + " --truncate 65", 2},  // beyond the 64-byte file: it only cuts
      {"image " + q + " --unit 98", 2},
      {"image " + q + " --unit 98,0,fill=256", 2},
      {"image " + q + " --trailing-byte 0x100", 2},
      {"trx " + q + " --size 12Q", 2},
      {"seeds nothing " + q, 2},
      {"", 2},
      // Files that cannot be written: status 1.
      {"package " + missing, 1},
      {"package " + folder, 1},
      {"seeds package " + q, 1},  // x.bin is made by the first row below
  };
  ASSERT_EQ(Mkfile("trx " + q + " --size 100"), 0);
  for (const auto& row : rows) EXPECT_EQ(Mkfile(row.args), row.status) << row.args;
  EXPECT_EQ(std::filesystem::file_size(dir.Path("x.bin")), 100u) << "a refused build changed the file";
}

// Cuts that never grow, fills written in blocks where they belong, and nothing left beside
// the file.
TEST(MkfileTool, TruncateCutsAndFillsArriveWhole) {
  inspect_test::ScratchDir dir;
  const std::string out = dir.Path("f.bin");
  ASSERT_EQ(Mkfile("package " + Quote(out) + " --unit BOOT --truncate 100"), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 100u);
  ASSERT_EQ(Mkfile("package " + Quote(out) + " --truncate 64"), 0);  // the whole file: no change
  EXPECT_EQ(std::filesystem::file_size(out), 64u);
  ASSERT_EQ(Mkfile("image " + Quote(out) + " --unit 98,10,fill=0xA5 --trailing 300K --trailing-byte 0x3C --size 400K"), 0);
  std::FILE* f = std::fopen(out.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  mkfile::Bytes got(400 * 1024);
  const std::size_t n = std::fread(got.data(), 1, got.size() + 1, f);
  std::fclose(f);
  ASSERT_EQ(n, got.size());
  const std::size_t chainEnd = 92 + 108;  // the unit's 98 + 10, rounded to 4
  EXPECT_EQ(got[92 + 98], 0xA5);
  EXPECT_EQ(got[92 + 107], 0xA5);
  EXPECT_EQ(std::count(got.begin() + chainEnd, got.begin() + chainEnd + 300 * 1024, 0x3C), 300 * 1024);
  EXPECT_EQ(std::count(got.begin() + chainEnd + 300 * 1024, got.end(), 0), static_cast<long>(got.size() - chainEnd - 300 * 1024));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), std::filesystem::directory_iterator()), 1);
}

}  // namespace
