// upgrade-cli.exe's Chinese text where a Windows operator reads it: in a console whose code
// page is 936 (Simplified Chinese; console_wine.sh runs this program with Wine's locale
// zh_CN.GBK, so the console starts in it, as on a Chinese Windows), the console shows the characters
// themselves; redirected to a file, the bytes are UTF-8 without a byte-order mark. (Wine
// cannot give a Chinese name to a Linux file in that locale, as no Linux locale of that
// name is installed: the file names here are ASCII; the Unicode names are tested with
// UTF-8 file names in unicode_paths_wine.sh and the dialog tests.)
//   console_cp_test UPGRADE_CLI_EXE
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/win32/text.h"
#include "tools/mkfile/builder.h"

namespace {

std::wstring g_cli;

class ConsoleText : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    root = std::filesystem::temp_directory_path() / ("upgrade-console-" + std::to_string(rd()));
    std::filesystem::create_directories(root);
    file = (root / L"V3.bin").wstring();
    mkfile::SPackagePlan plan;
    plan.strVersion = "V3 测试";
    mkfile::SUnitPlan boot;
    boot.info = mkfile::Bytes(70000, 0x5A);
    plan.units.push_back(boot);
    ASSERT_TRUE(mkfile::BuildPackage(plan).WriteTo(platform::win32::Narrow(file)));
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  // Runs upgrade-cli.exe inspect --lang zh FILE with standard output on `out` (the console
  // when nullptr); its exit status.
  DWORD Inspect(HANDLE out) {
    std::wstring cmd = L"\"" + g_cli + L"\" inspect --lang zh \"" + file + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (out) {
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
      si.hStdOutput = out;
      si.hStdError = out;
    }
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, out ? TRUE : FALSE, 0, nullptr, nullptr, &si, &pi))
      return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD status = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return status;
  }

  std::filesystem::path root;
  std::wstring file;
};

// The screen buffer's lines, trailing blanks cut.
std::vector<std::wstring> ScreenLines(HANDLE screen) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  std::vector<std::wstring> lines;
  if (!GetConsoleScreenBufferInfo(screen, &info)) return lines;
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &read);
    row.resize(read);
    while (!row.empty() && row.back() == L' ') row.pop_back();
    lines.push_back(row);
  }
  return lines;
}

TEST_F(ConsoleText, ChineseShowsInACodePage936Console) {
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  ASSERT_EQ(GetConsoleOutputCP(), 936u) << "run this test with LC_ALL=zh_CN.GBK, on an X display";
  HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(screen, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Inspect(nullptr), 0u);
  const std::vector<std::wstring> lines = ScreenLines(screen);
  CloseHandle(screen);
  FreeConsole();
  bool found = false;
  for (const std::wstring& l : lines) found = found || l == L"版本: V3 测试";
  std::string shown;
  for (const std::wstring& l : lines) shown += platform::win32::Narrow(l) + "\n";
  EXPECT_TRUE(found) << "the console shows:\n" << shown;
}

TEST_F(ConsoleText, UTF8WithoutAByteOrderMarkInAFile) {
  const std::filesystem::path outPath = root / L"out.txt";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  const DWORD status = Inspect(out);
  CloseHandle(out);
  EXPECT_EQ(status, 0u);
  std::ifstream in(outPath, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "a byte-order mark";
  EXPECT_NE(bytes.find("\xE7\x89\x88\xE6\x9C\xAC: V3 \xE6\xB5\x8B\xE8\xAF\x95\n"), std::string::npos) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: console_cp_test UPGRADE_CLI_EXE\n");
    return 2;
  }
  g_cli = platform::win32::Widen(argv[1]);
  return RUN_ALL_TESTS();
}
