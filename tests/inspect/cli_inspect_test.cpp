// `upgrade-cli inspect` and the refusal test of `send`: standard output carries the trace and
// then the version line, the box text goes to standard error, and the exit status tells the
// verdict.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "tests/inspect/support.h"
#include "tools/mkfile/builder.h"
#include "transmit/state.h"

namespace {

struct CommandRun {
  int status = -1;
  std::string out, err;
};

CommandRun Inspect(std::vector<std::string> args) {
  CLI::App app;
  int status = -1;
  AddInspectCommand(app, status);
  args.insert(args.begin(), "inspect");
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  app.parse(reversed);
  CommandRun run;
  run.out = testing::internal::GetCapturedStdout();
  run.err = testing::internal::GetCapturedStderr();
  run.status = status;
  return run;
}

mkfile::CFileImage GoodPackage() {
  mkfile::SPackagePlan p;
  p.strVersion = "7.0.1";
  mkfile::SUnitPlan u;
  u.strName = "ROUTER";
  p.units = {u};
  p.qwSize = 65536;
  return mkfile::BuildPackage(p);
}

mkfile::CFileImage Zeros(std::uint64_t n) {
  mkfile::CFileImage f;
  f.Resize(n);
  return f;
}

const std::string kPkgTrace =
    "upgrade file have not unit file :BOOT.\r\n upgrade file have not file:BOOT\r\n"
    "upgrade file have not unit file :MODEM.\r\n upgrade file have not file:MODEM\r\n";
const std::string kZeroTrace =
    "upgrade file header lossed.\r\nVerify upg file header failed.\r\nthe imageTotalLen is 65536!\n";

TEST(InspectCommand, OutputErrorAndStatus) {
  inspect_test::ScratchDir dir;
  const std::string pkg = dir.Write("p.bin", GoodPackage());
  const std::string zeros = dir.Write("z.BIN", Zeros(65536));
  const std::string small = dir.Write("s.bin", Zeros(100));
  const std::string trx = dir.Write("t.trx", mkfile::BuildTrx({0x100000, "Q770", "2.2"}));
  const std::string upper = dir.Write("t.TRX", mkfile::BuildTrx({0x100000, "Q770", "2.2"}));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } rows[] = {
      {{pkg}, 0, kPkgTrace + "Version: 7.0.1\n", ""},
      {{"--lang", "zh", pkg}, 0, kPkgTrace + "版本: 7.0.1\n", ""},
      {{"--lang", "en", zeros}, 1, kZeroTrace + "Analyse file version failed! Please check your file!\n",
       "the file is invalid!\n"},
      {{"--lang", "zh", zeros}, 1, kZeroTrace + "获取版本号失败，请检查你的文件!\n", "文件校验错误\n"},
      {{small}, 1, "The size of firmware file seems wrong!\n", ""},
      {{trx}, 0, "Version: 2.2\n", ""},
      {{"--lang", "zh", upper}, 1, "获取版本号失败，请检查你的文件!\n", ""},
      {{dir.Path("missing.bin")}, 1, "Analyse file version failed! Please check your file!\n", ""},
  };
  for (const auto& row : rows) {
    const CommandRun run = Inspect(row.args);
    EXPECT_EQ(run.status, row.status) << row.args.back();
    EXPECT_EQ(run.out, row.out) << row.args.back();
    EXPECT_EQ(run.err, row.err) << row.args.back();
  }
}

TEST(InspectCommand, UsageErrors) {
  const std::vector<std::vector<std::string>> rows = {
      {},                             // no file
      {"--lang", "fr", "a.bin"},      // unknown language
      {"--lang"},                     // no value
      {"a.bin", "b.bin"},             // two files
  };
  for (const auto& args : rows) {
    CLI::App app;
    int status = -1;
    AddInspectCommand(app, status);
    std::vector<std::string> all = args;
    all.insert(all.begin(), "inspect");
    std::vector<std::string> reversed(all.rbegin(), all.rend());
    EXPECT_THROW(app.parse(reversed), CLI::ParseError);
    EXPECT_EQ(status, -1);
  }
}

TEST(RefusedLikeStart, WhatTheWindowWouldShow) {
  inspect_test::ScratchDir dir;
  const std::string pkg = dir.Write("p.bin", GoodPackage());
  const std::string zeros = dir.Write("z.bin", Zeros(65536));
  const std::string small = dir.Write("s.bin", Zeros(100));
  const std::string trx = dir.Write("t.trx", mkfile::BuildTrx({0x100000, "Q770", "2.2"}));
  const std::string trxSmall = dir.Write("s.trx", mkfile::BuildTrx({0x1000, "Q770", "2.2"}));
  const std::string exe = dir.Write("p.exe", GoodPackage());
  const struct {
    std::string path;
    int language;
    bool refused;
    std::string message;
    int policy;
  } rows[] = {
      {pkg, 0, false, "", 1},
      {pkg, 1, false, "", 1},
      {trx, 0, true, "Parsing the file failed, maybe caused by unmatched upgrade policy!", 2},
      {trx, 1, true, "解析映像文件失败，可能原因是升级文件和升级策略不匹配!", 2},
      {zeros, 0, true, "the file is invalid!\nAnalyse file version failed! Please check your file!", 1},
      {zeros, 1, true, "文件校验错误\n获取版本号失败，请检查你的文件!", 1},
      {small, 0, true, "The size of firmware file seems wrong!", 1},
      {trxSmall, 1, true, "firmware文件的大小有异常!", 2},
      {exe, 0, true, "Analyse file version failed! Please check your file!", 3},
      {dir.Path("missing.bin"), 0, true, "Analyse file version failed! Please check your file!", 1},
  };
  for (const auto& row : rows) {
    inspect_test::TraceCapture trace;
    std::string message = "stale";
    g_nFilePolicy = 0;
    EXPECT_EQ(RefusedLikeStart(row.path, row.language, message), row.refused) << row.path;
    EXPECT_EQ(message, row.message) << row.path;
    EXPECT_EQ(g_nFilePolicy.load(), row.policy) << row.path;
  }
  g_nFilePolicy = 3;
}

}  // namespace
