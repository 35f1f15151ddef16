// The private-profile rules over bytes, and the file functions over real files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/profile.h"
#include "scratch.h"

using platform::profile::FindValue;
using platform::profile::ParseInt;
using platform::profile::StoreValue;

TEST(ProfileRead, FollowsTheWindowsRules) {
  struct Row {
    const char* content;
    const char* key;
    bool found;
    const char* value;
  } rows[] = {
      {"[ip]\r\nlanguage=1\r\n", "language", true, "1"},
      {"[ip]\r\nlanguage=1", "language", true, "1"},                       // no final newline
      {"[IP]\r\nLANGUAGE=1\r\n", "language", true, "1"},                   // other letter case
      {"  [ ip ]  \r\n  language  =  1  \r\n", "language", true, "1"},     // blanks around names and values
      {"[ip]\r\nlast=a\r\nlast=b\r\n", "last", true, "a"},                 // the first duplicate wins
      {"[ip]\r\n;last=x\r\n", "last", false, ""},                          // a comment
      {"[ip]\r\n; note\r\nlast=y\r\n", "last", true, "y"},
      {"language=1\r\n", "language", false, ""},                           // no section line
      {"[other]\r\nlanguage=1\r\n[ip]\r\nlast=z\r\n", "language", false, ""},
      {"[other]\r\nlanguage=1\r\n[ip]\r\nlast=z\r\n", "last", true, "z"},
      {"[ip]\r\nrar=\"C:\\Program Files\\WinRAR\\WinRAR.exe\"\r\n", "rar", true, "C:\\Program Files\\WinRAR\\WinRAR.exe"},
      {"[ip]\nlast=unix\n", "last", true, "unix"},                         // LF lines read too
      {"[ip]\r\nlast=\r\n", "last", true, ""},
      {"[ip]\r\nlast=a=b\r\n", "last", true, "a=b"},
      {"", "last", false, ""},
  };
  for (const Row& r : rows) {
    std::string v;
    EXPECT_EQ(FindValue(r.content, "ip", r.key, v), r.found) << r.content;
    if (r.found) {
      EXPECT_EQ(v, r.value) << r.content;
    }
  }
}

TEST(ProfileWrite, ChangesOnlyWhatItMust) {
  struct Row {
    const char* before;
    const char* key;
    const char* value;
    const char* after;
  } rows[] = {
      {"", "language", "0", "[ip]\r\nlanguage=0\r\n"},
      {"[ip]\r\n", "rar", "C:\\WinRAR.exe", "[ip]\r\nrar=C:\\WinRAR.exe\r\n"},
      {"[ip]\r\nrar=x\r\n", "language", "0", "[ip]\r\nrar=x\r\nlanguage=0\r\n"},
      {"[ip]\r\nlast=a\r\nlanguage=0\r\n", "last", "b", "[ip]\r\nlast=b\r\nlanguage=0\r\n"},
      {"[ip]\r\nlanguage=0", "last", "e", "[ip]\r\nlanguage=0\r\nlast=e\r\n"},           // no final newline
      {"[ip]\r\nlanguage=0\r\n\r\n; end\r\n", "last", "e", "[ip]\r\nlanguage=0\r\nlast=e\r\n\r\n; end\r\n"},
      {"[ip]\r\n  LAST = old \r\n", "last", "new", "[ip]\r\nlast=new\r\n"},
      {"[ip]\r\nlast=1\r\nlast=2\r\n", "last", "3", "[ip]\r\nlast=3\r\nlast=2\r\n"},     // the first duplicate
      {"language=1\r\n", "last", "e", "language=1\r\n[ip]\r\nlast=e\r\n"},              // no section line
      {"; mine", "last", "e", "; mine\r\n[ip]\r\nlast=e\r\n"},
      {"[ip]\r\nlast=a\r\n[x]\r\nk=v\r\n", "rar", "r", "[ip]\r\nlast=a\r\nrar=r\r\n[x]\r\nk=v\r\n"},
      {"[x]\r\nk=v\r\n[ip]\r\n", "last", "e", "[x]\r\nk=v\r\n[ip]\r\nlast=e\r\n"},
      {"[ip]\nlast=a\n", "last", "b", "[ip]\nlast=b\n"},                                  // its own line end is kept
  };
  for (const Row& r : rows) EXPECT_EQ(StoreValue(r.before, "ip", r.key, r.value), r.after) << r.before;
}

TEST(ProfileInt, ReadsLikeGetPrivateProfileInt) {
  struct Row {
    const char* text;
    std::uint32_t value;
  } rows[] = {
      {"0", 0}, {"1", 1}, {"-1", 0xFFFFFFFFu}, {"+1", 1}, {"12abc", 12}, {"abc", 0},
      {" 7", 7}, {"2147483648", 0x80000000u}, {"4294967297", 1}, {"-", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(ParseInt(r.text), r.value) << r.text;
}

TEST(ProfileFile, ReadsDefaultsAndCutsLongValues) {
  ScratchFolder dir;
  std::string path = dir.Path("p.ini");
  char buf[256];
  EXPECT_EQ(platform::GetPrivateProfileString("ip", "last", "dflt", buf, sizeof buf, path.c_str()), 4u);
  EXPECT_STREQ(buf, "dflt");
  EXPECT_EQ(platform::GetPrivateProfileInt("ip", "language", 5, path.c_str()), 5u);

  ScratchFolder::Write(path, "[ip]\r\nlast=" + std::string(300, 'x') + "\r\nlanguage=\r\nn=-1\r\n");
  EXPECT_EQ(platform::GetPrivateProfileString("ip", "last", nullptr, buf, sizeof buf, path.c_str()), 255u);
  EXPECT_EQ(std::strlen(buf), 255u);
  EXPECT_EQ(platform::GetPrivateProfileInt("ip", "language", 7, path.c_str()), 7u);  // empty value: default
  EXPECT_EQ(static_cast<int>(platform::GetPrivateProfileInt("ip", "n", 0, path.c_str())), -1);
}

TEST(ProfileFile, WritesWholeFilesAndLeavesNoTemporaryBehind) {
  ScratchFolder dir;
  std::string path = dir.Path("p.ini");
  ASSERT_TRUE(platform::WritePrivateProfileString("ip", "language", "0", path.c_str()));
  ASSERT_TRUE(platform::WritePrivateProfileString("ip", "last", "eth0...IP:10.0.0.1", path.c_str()));
  ASSERT_TRUE(platform::WritePrivateProfileString("ip", "language", "1", path.c_str()));
  EXPECT_EQ(ScratchFolder::Read(path), "[ip]\r\nlanguage=1\r\nlast=eth0...IP:10.0.0.1\r\n");
  EXPECT_EQ(dir.Entries(), 1);
  // A folder cannot be written as a file: the write fails and nothing is left.
  std::filesystem::create_directory(dir.Path("d"));
  EXPECT_FALSE(platform::WritePrivateProfileString("ip", "last", "x", dir.Path("d").c_str()));
  EXPECT_EQ(dir.Entries(), 2);
  // A read-only file is not written, also where its folder is writable (and for root). Where
  // the profile functions are the system's, that is the system's to decide (Wine run by root
  // writes it).
  if (platform::ProfileFunctionsAreTheSystems()) return;
  namespace fs = std::filesystem;
  const std::string ro = dir.Path("ro.ini");
  ScratchFolder::Write(ro, "[ip]\r\nlanguage=0\r\n");
  fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(platform::WritePrivateProfileString("ip", "language", "1", ro.c_str()));
  EXPECT_EQ(ScratchFolder::Read(ro), "[ip]\r\nlanguage=0\r\n");
  EXPECT_EQ(dir.Entries(), 3);
  fs::permissions(ro, fs::perms::owner_write, fs::perm_options::add);  // so that it can be removed
}
