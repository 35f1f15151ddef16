// Only a regular file opens, and the open never waits: a named pipe without a writer, a
// socket, a device and a folder are refused at once.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/openfile.h"
#include "tests/unit/temp_file.h"

namespace {

class OpenFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("upgrade-open-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(OpenFileTest, OnlyARegularFileOpensAndNothingWaits) {
  const std::string fifoBin = (dir_ / "x.bin").string(), fifoTrx = (dir_ / "x.trx").string();
  ASSERT_EQ(mkfifo(fifoBin.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(fifoTrx.c_str(), 0600), 0);
  const std::string sock = (dir_ / "s.bin").string();
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  sock.copy(addr.sun_path, sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  TempFile regular("firmware");

  const struct {
    std::string path;
    bool opens;
  } rows[] = {
      {fifoBin, false}, {fifoTrx, false}, {sock, false}, {"/dev/zero", false}, {"/dev/null", false},
      {dir_.string(), false}, {(dir_ / "missing.bin").string(), false}, {regular.path(), true},
  };
  for (const auto& r : rows) {
    const auto began = std::chrono::steady_clock::now();
    std::FILE* f = platform::OpenFileForReading(r.path.c_str());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1)) << r.path;
    EXPECT_EQ(f != nullptr, r.opens) << r.path;
    if (f != nullptr) {
      char buf[16] = {};
      EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 8u);  // reads block again, as a file's should
      EXPECT_STREQ(buf, "firmware");
      std::fclose(f);
    }
  }
  close(s);
}

}  // namespace
