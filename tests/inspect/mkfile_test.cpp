// The fixture builder: its sparse file picture, and upgrade-mkfile's switches, each checked by
// running the tool and inspecting what it wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "inspect/analysis.h"
#include "inspect/image.h"
#include "inspect/package.h"
#include "tests/inspect/support.h"
#include "tools/mkfile/builder.h"

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

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// The exit status in what std::system returns: a wait status on POSIX systems (status << 8),
// the status itself on Windows; the tool's statuses are 0 to 2.
int ExitStatus(int rc) { return rc > 255 ? (rc >> 8) & 0xFF : rc; }

// Runs upgrade-mkfile with `args` and returns its exit status.
int Mkfile(const std::string& args) {
  const std::string command = Quote(UPGRADE_MKFILE_PATH) + " " + args + " >/dev/null 2>&1";
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
  const struct {
    std::string args;
    int status;
  } rows[] = {
      {"package " + q + " --unit BOOT,spoil=entry5", 1},
      {"package " + q + " --unit BOOT,bogus=1", 1},
      {"package " + q + " --unit BOOT,info=-1", 1},
      {"image " + q + " --unit 98", 1},
      {"trx " + q + " --size 12Q", 1},
      {"seeds nothing " + q, 2},
      {"", 2},
  };
  for (const auto& row : rows) EXPECT_EQ(Mkfile(row.args), row.status) << row.args;
}

}  // namespace
