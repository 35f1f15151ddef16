// The settings file's bytes after each operation, and its path.
#include <gtest/gtest.h>

#include "platform/profile.h"
#include "scratch.h"
#include "settings/keys.h"

namespace {

struct Settings {
  ScratchFolder dir;
  char path[256];
  Settings() { EXPECT_TRUE(settings::MakeSettingsPath(path, sizeof path)); }
  std::string Bytes() const { return ScratchFolder::Read(path); }
};

}  // namespace

TEST(SettingsPath, IsTheCurrentDirectoryAndIpBak) {
  Settings s;
  EXPECT_EQ(std::string(s.path), s.dir.Path("ip.bak"));
}

TEST(SettingsPath, AFolderTooDeepLeavesNoPath) {
  ScratchFolder dir;
  std::string deep = dir.Dir();
  while (deep.size() < 250) {
    deep += "/" + std::string(40, 'd');
    std::filesystem::create_directory(deep);
  }
  std::filesystem::current_path(deep);
  char path[256];
  EXPECT_FALSE(settings::MakeSettingsPath(path, sizeof path));
  EXPECT_STREQ(path, "");
  settings::WriteLanguage(path, 1);  // silently lost
  EXPECT_EQ(settings::ReadLanguage(path), 0);
}

TEST(SettingsFile, FirstStartWritesTheSectionLineFirst) {
  Settings s;
  EXPECT_EQ(settings::ReadLanguage(s.path), 0);
  EXPECT_EQ(settings::ReadLastAdapter(s.path), "");
  EXPECT_FALSE(std::filesystem::exists(s.path));  // reading creates nothing
  settings::EnsureSettingsFile(s.path);
  EXPECT_EQ(s.Bytes(), std::string("[ip]\r\n"));
  settings::WriteArchiveToolPath(s.path, "C:\\Program Files\\WinRAR\\WinRAR.exe");
  settings::WriteLanguage(s.path, 0);
  EXPECT_EQ(s.Bytes(), "[ip]\r\nrar=C:\\Program Files\\WinRAR\\WinRAR.exe\r\nlanguage=0\r\n");
  EXPECT_EQ(s.dir.Entries(), 1);  // no temporary file left
}

TEST(SettingsFile, EnsureLeavesAnExistingFileAlone) {
  Settings s;
  ScratchFolder::Write(s.path, "hand written");
  settings::EnsureSettingsFile(s.path);
  EXPECT_EQ(s.Bytes(), "hand written");
}

TEST(SettingsFile, LanguageWritesOnlyZeroOrOne) {
  Settings s;
  settings::WriteLanguage(s.path, 2);
  EXPECT_EQ(s.Bytes(), "[ip]\r\n");  // created, nothing written
  settings::WriteLanguage(s.path, 1);
  EXPECT_EQ(settings::ReadLanguage(s.path), 1);
  settings::WriteLanguage(s.path, 0);
  EXPECT_EQ(s.Bytes(), "[ip]\r\nlanguage=0\r\n");
}

TEST(SettingsFile, LastWrittenTwiceKeepsOneLine) {
  Settings s;
  settings::WriteLanguage(s.path, 0);
  settings::WriteLastAdapter(s.path, "eth0...IP:10.0.0.1");
  settings::WriteLastAdapter(s.path, "eth1...IP:10.0.1.1");
  EXPECT_EQ(s.Bytes(), "[ip]\r\nlanguage=0\r\nlast=eth1...IP:10.0.1.1\r\n");
  EXPECT_EQ(settings::ReadLastAdapter(s.path), "eth1...IP:10.0.1.1");
}

TEST(SettingsFile, HandEditedFiles) {
  struct Row {
    const char* name;
    std::string before;
    std::int32_t language;
    std::string last;
    std::string afterLast;  // the bytes after WriteLastAdapter("new")
    bool oursOnly = false;  // the bytes follow our rules; the system's functions keep their own
  } rows[] = {
      {"blanks", "[ip]\r\n  language = 1 \r\n last =  old \r\n", 1, "old", "[ip]\r\n  language = 1 \r\nlast=new\r\n", true},
      {"comments", "; settings\r\n[ip]\r\n;language=1\r\nlanguage=0\r\n", 0, "",
       "; settings\r\n[ip]\r\n;language=1\r\nlanguage=0\r\nlast=new\r\n"},
      {"letter case", "[IP]\r\nLanguage=1\r\nLAST=Old\r\n", 1, "Old", "[IP]\r\nLanguage=1\r\nlast=new\r\n", true},
      {"duplicates", "[ip]\r\nlanguage=1\r\nlanguage=0\r\nlast=a\r\nlast=b\r\n", 1, "a",
       "[ip]\r\nlanguage=1\r\nlanguage=0\r\nlast=new\r\nlast=b\r\n"},
      {"no final newline", "[ip]\r\nlanguage=1", 1, "", "[ip]\r\nlanguage=1\r\nlast=new\r\n"},
      {"no section line", "language=1\r\n", 0, "", "language=1\r\n[ip]\r\nlast=new\r\n"},
      {"other language value", "[ip]\r\nlanguage=7\r\n", 7, "", "[ip]\r\nlanguage=7\r\nlast=new\r\n"},
      {"very long value", "[ip]\r\nlast=" + std::string(400, 'L') + "\r\n", 0, std::string(255, 'L'), "[ip]\r\nlast=new\r\n"},
  };
  for (const Row& r : rows) {
    Settings s;
    ScratchFolder::Write(s.path, r.before);
    EXPECT_EQ(settings::ReadLanguage(s.path), r.language) << r.name;
    EXPECT_EQ(settings::ReadLastAdapter(s.path), r.last) << r.name;
    settings::WriteLastAdapter(s.path, "new");
    if (r.oursOnly && platform::ProfileFunctionsAreTheSystems()) continue;
    EXPECT_EQ(s.Bytes(), r.afterLast) << r.name;
  }
}

TEST(SettingsFile, AFolderOfThatNameReadsAsDefaultsAndIsNotReplaced) {
  Settings s;
  std::filesystem::create_directory(s.path);
  settings::WriteLanguage(s.path, 1);
  EXPECT_TRUE(std::filesystem::is_directory(s.path));
  EXPECT_EQ(settings::ReadLanguage(s.path), 0);
}
