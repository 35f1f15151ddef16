// The settings file under the system's own profile functions (the Windows build, under Wine)
// holds, after every step of what the program writes, the same bytes as our profile rules
// (platform/profile.cpp, what the Linux build writes) give for the same steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/files.h"
#include "platform/profile.h"
#include "settings/keys.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

class ProfileBytes : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir = std::filesystem::temp_directory_path() / ("upgrade-profile-" + std::to_string(rd()));
    std::filesystem::create_directory(dir);
    path = dir.string() + platform::PathSeparator() + settings::kFileName;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  // One write as the program makes it, through the settings keys, and the same write in
  // our rules' model of the file.
  void Write(const char* key, const std::string& value) {
    if (model.empty()) model = settings::kFirstLine;  // EnsureSettingsFile's first line
    model = platform::profile::StoreValue(model, settings::kSection, key, value);
    if (std::string(key) == settings::kKeyLanguage) settings::WriteLanguage(path.c_str(), value == "1" ? 1 : 0);
    if (std::string(key) == settings::kKeyLastAdapter) settings::WriteLastAdapter(path.c_str(), value);
    if (std::string(key) == settings::kKeyArchiveTool) settings::WriteArchiveToolPath(path.c_str(), value);
    ASSERT_EQ(Read(path), model) << key << "=" << value;
  }

  std::filesystem::path dir;
  std::string path;
  std::string model;
};

}  // namespace

TEST_F(ProfileBytes, AFirstStartThenAdaptersLanguagesAndAChosenArchiveTool) {
  Write("rar", "C:\\Program Files\\WinRAR\\WinRAR.exe");
  Write("language", "0");
  EXPECT_EQ(Read(path), "[ip]\r\nrar=C:\\Program Files\\WinRAR\\WinRAR.exe\r\nlanguage=0\r\n");
  Write("last", "Intel(R) PRO/1000 MT Network Connection...IP:192.168.1.20");
  Write("language", "1");
  Write("last", "v0...IP:10.77.0.1");
  Write("rar", "D:\\Tools\\WinRAR\\WinRAR.exe");
  Write("language", "0");
  Write("last", "");  // an adapter entry that is empty
  Write("last", std::string(300, 'x'));
  EXPECT_EQ(settings::ReadLanguage(path.c_str()), 0);
  EXPECT_EQ(settings::ReadLastAdapter(path.c_str()), std::string(255, 'x'));  // cut when read
}

TEST_F(ProfileBytes, TheLanguageFirstThenTheOtherKeys) {
  Write("language", "1");
  Write("last", "Realtek PCIe GbE Family Controller...IP:0.0.0.0");
  Write("rar", "C:\\Program Files (x86)\\WinRAR\\WinRAR.exe");
  Write("last", "Realtek PCIe GbE Family Controller...IP:10.0.0.7");
  EXPECT_EQ(settings::ReadLanguage(path.c_str()), 1);
  EXPECT_EQ(settings::ReadLastAdapter(path.c_str()), "Realtek PCIe GbE Family Controller...IP:10.0.0.7");
}

TEST_F(ProfileBytes, AValueWithBlanksAndEqualSignsKeepsThem) {
  Write("last", "eth0 = the first port ...IP:10.0.0.1");
  Write("rar", "C:\\a=b\\WinRAR.exe");
  EXPECT_EQ(settings::ReadLastAdapter(path.c_str()), "eth0 = the first port ...IP:10.0.0.1");
}
