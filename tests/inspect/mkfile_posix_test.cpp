// upgrade-mkfile against what only a POSIX system makes easy to arrange: a FIFO as the
// output, and a write that fails half way (a file size limit) over an existing file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/inspect/support.h"

extern char** environ;

namespace {

// Runs argv and waits at most `seconds`; the exit status, or -1 when it had to be killed.
int RunFor(const std::vector<std::string>& args, double seconds) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -2;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t FilesIn(const std::string& dir) {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

TEST(MkfilePosix, AFifoIsRefusedAtOnce) {
  inspect_test::ScratchDir dir;
  const std::string fifo = dir.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(RunFor({UPGRADE_MKFILE_PATH, "package", fifo}, 10), 1);
  EXPECT_EQ(RunFor({UPGRADE_MKFILE_PATH, "trx", fifo, "--size", "1K"}, 10), 1);
  EXPECT_EQ(RunFor({UPGRADE_MKFILE_PATH, "package", "/dev/null"}, 10), 1);
  EXPECT_EQ(FilesIn(dir.Path("")), 1u);
}

// The write fails half way (the shell's file size limit, with SIGXFSZ ignored so that the
// write answers EFBIG): status 1, the old file byte for byte, no temporary file left.
TEST(MkfilePosix, AFailedWriteLeavesTheOldFile) {
  inspect_test::ScratchDir dir;
  const std::string out = dir.Path("keep.bin");
  ASSERT_EQ(RunFor({UPGRADE_MKFILE_PATH, "package", out, "--unit", "BOOT", "--unit", "ROUTER,info=5000"}, 30), 0);
  const std::string before = Read(out);
  ASSERT_GT(before.size(), 5000u);
  const struct {
    const char* what;
    std::string command;
  } rows[] = {
      {"fill beyond the limit", "image '" + out + "' --unit 98,0 --trailing 2M --trailing-byte 0x33"},
      {"package padded beyond the limit", "package '" + out + "' --unit BOOT --size 1M"},
      {"info data beyond the limit", "package '" + out + "' --unit BOOT,info=1M"},
  };
  for (const auto& row : rows) {
    const std::string script = "trap '' XFSZ; ulimit -f 64; exec '" + std::string(UPGRADE_MKFILE_PATH) + "' " + row.command;
    EXPECT_EQ(RunFor({"/bin/sh", "-c", script}, 30), 1) << row.what;
    EXPECT_EQ(Read(out), before) << row.what;
    EXPECT_EQ(FilesIn(dir.Path("")), 1u) << row.what;
  }
}

}  // namespace
