// Opening for reading on Windows: a regular file opens under a name in any script, in any of
// the path forms Windows takes; a folder, the devices and a named pipe are refused at once,
// and the pipe's server sees no client (nothing took its instance).
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/openfile.h"
#include "platform/outputfile.h"
#include "platform/win32/text.h"

namespace {

using platform::win32::Narrow;

class OpenFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    root = std::filesystem::temp_directory_path() / ("upgrade-open-" + std::to_string(rd()));
    std::filesystem::create_directories(root / L"固件 测试");
    file = Narrow((root / L"固件 测试" / L"Prüfung.bin").wstring());
    ASSERT_TRUE(platform::WriteWholeFile(file, "UPG", 3));
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  std::filesystem::path root;
  std::string file;
};

std::string ReadAll(std::FILE* f) {
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  return s;
}

TEST_F(OpenFile, ARegularFileOpensUnderEveryPathForm) {
  const std::string folder = Narrow((root / L"固件 测试").wstring());
  const std::string forms[] = {file, "\\\\?\\" + file, folder + "\\.\\Prüfung.bin", folder + "/Prüfung.bin"};
  for (const std::string& path : forms) {
    std::FILE* f = platform::OpenFileForReading(path.c_str());
    ASSERT_NE(f, nullptr) << path;
    EXPECT_EQ(ReadAll(f), "UPG") << path;
    std::fclose(f);
  }
}

TEST_F(OpenFile, AnythingButARegularFileIsRefused) {
  const std::string folder = Narrow((root / L"固件 测试").wstring());
  const std::string refused[] = {
      folder, folder + "\\", "", "NUL", "nul", "CON", "con.txt", "COM1", "LPT1", "AUX", "PRN", "CONIN$",
      folder + "\\NUL", folder + "\\nul.bin", folder + "\\COM1.bin", "\\\\.\\NUL", "\\\\.\\COM1",
      "\\\\?\\GLOBALROOT\\Device\\Null", folder + "\\missing.bin", "\xFF\xFE.bin" /* not UTF-8 */};
  for (const std::string& path : refused) {
    std::FILE* f = platform::OpenFileForReading(path.c_str());
    EXPECT_EQ(f, nullptr) << path;
    if (f) std::fclose(f);
  }
}

TEST_F(OpenFile, ANamedPipeIsRefusedWithoutTakingItsInstance) {
  const std::wstring name = L"\\\\.\\pipe\\upgrade-open-test-" + std::to_wstring(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 4096,
                                   4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::OpenFileForReading(Narrow(name).c_str()), nullptr);
  EXPECT_EQ(platform::OpenFileForReading("//./pipe/upgrade-open-test-x"), nullptr);
  // No client came: the server's wait for one is still pending.
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(ConnectNamedPipe(server, &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  CancelIo(server);
  CloseHandle(ov.hEvent);
  CloseHandle(server);
}

}  // namespace
