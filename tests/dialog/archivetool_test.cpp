// The archive tool's location at start-up, on the headless host: the usual place, the
// stored path, the prompt and the file dialog again and again, the cancel that ends the
// program, and the platform's usual place.
#include <cstdio>
#include <fstream>
#include <functional>

#include "flow_support.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/profile.h"

using namespace flow;
using platform::headless::Owner;

namespace {

constexpr const char kFilter[] = "WinRAR execution (*.exe)|*.exe|All Files(*.*)|*.*|";
constexpr const char kEnglishPrompt[] =
    "Running upgrade.exe needs WinRAR.exe.\nPlease install it at first, and select the path of WinRAR.exe.\n"
    "If you already installed WinRAR.exe, please choose its path.";
constexpr const char kChinesePrompt[] =
    "组播升级工具中有项功能依赖于WinRAR.\n请先安装它, 然后选择WinRAR.exe的详细路径.\n"
    "如果您已经安装了WinRAR, 请直接选择WinRAR.exe的详细路径.";

class ArchiveToolTest : public FlowTestBase {
 protected:
  std::string Settings() const { return ScratchFolder::Read(dir.Path("ip.bak")); }
  // Runs the window; answers whether it was shown.
  bool Start() {
    bool shown = false;
    Run([&](HeadlessWindow& w) {
      shown = true;
      w.PressEscape();
    });
    return shown;
  }
  void NoDefault() { g_strDefaultRar = dir.Path("not-installed/rar"); }
  std::size_t Prompts() const {
    std::size_t n = 0;
    for (const auto& b : host.MessageBoxes())
      if (b.caption == "Notify" || b.caption == "提醒") ++n;
    return n;
  }
};

}  // namespace

TEST_F(ArchiveToolTest, FoundAtItsUsualPlaceWithoutAnyPrompt) {
  ASSERT_FALSE(std::filesystem::exists(dir.Path("ip.bak")));
  EXPECT_TRUE(Start());
  EXPECT_TRUE(host.MessageBoxes().empty());
  EXPECT_TRUE(host.FileDialogs().empty());
  // The settings file was made for it; the language follows from the switch's first run.
  EXPECT_EQ(Settings(), "[ip]\r\nrar=" + g_strDefaultRar + "\r\nlanguage=0\r\n");
}

TEST_F(ArchiveToolTest, AnEmptyValueCountsAsNotSet) {
  ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nrar=\r\n");
  EXPECT_TRUE(Start());
  EXPECT_TRUE(host.MessageBoxes().empty());
  EXPECT_EQ(Settings(), "[ip]\r\nrar=" + g_strDefaultRar + "\r\nlanguage=0\r\n");
}

TEST_F(ArchiveToolTest, NothingFoundAndCancelledEndsWithZeroAndNoSettingsFile) {
  NoDefault();
  EXPECT_EXIT(
      {
        ExpectingExit();
        Start();
      },
      ::testing::ExitedWithCode(0),
      "^create 102\nbox 102 Notify: Running upgrade.exe needs WinRAR.exe.\nPlease install it at first, and select the path "
      "of WinRAR.exe.\nIf you already installed WinRAR.exe, please choose its path.\nfile 102 WinRAR execution .*\nexit 0\n$");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("ip.bak")));
}

TEST_F(ArchiveToolTest, PromptThenChoiceThenTheStartGoesOn) {
  NoDefault();
  const std::string chosen = dir.Path("WinRAR.exe");
  ScratchFolder::Write(chosen, "x");
  host.AnswerFileDialog(chosen);
  EXPECT_TRUE(Start());
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  EXPECT_EQ(host.MessageBoxes()[0].caption, "Notify");
  EXPECT_EQ(host.MessageBoxes()[0].text, kEnglishPrompt);
  EXPECT_EQ(host.MessageBoxes()[0].owner, Owner::Dialog);
  EXPECT_FALSE(host.MessageBoxes()[0].ownerVisible);  // before the window is shown
  ASSERT_EQ(host.FileDialogs().size(), 1u);
  EXPECT_EQ(host.FileDialogs()[0].filter, kFilter);
  EXPECT_EQ(Settings(), "[ip]\r\nrar=" + chosen + "\r\nlanguage=0\r\n");
}

TEST_F(ArchiveToolTest, APathThatDoesNotExistIsStoredAndAskedForAgain) {
  NoDefault();
  const std::string chosen = dir.Path("rar-here");
  ScratchFolder::Write(chosen, "x");
  host.AnswerFileDialog(dir.Path("typed-but-absent.exe"));
  host.AnswerFileDialog(chosen);
  EXPECT_TRUE(Start());
  EXPECT_EQ(Prompts(), 2u);
  EXPECT_EQ(host.FileDialogs().size(), 2u);
  EXPECT_EQ(Settings(), "[ip]\r\nrar=" + chosen + "\r\nlanguage=0\r\n");
}

TEST_F(ArchiveToolTest, AStoredPathSinceRemovedPromptsEvenWhenTheUsualPlaceHasIt) {
  ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nrar=" + dir.Path("removed.exe") + "\r\n");
  const std::string chosen = dir.Path("again.exe");
  ScratchFolder::Write(chosen, "x");
  host.AnswerFileDialog(chosen);
  EXPECT_TRUE(Start());
  EXPECT_EQ(Prompts(), 1u);
  EXPECT_EQ(Settings(), "[ip]\r\nrar=" + chosen + "\r\nlanguage=0\r\n");  // not the usual place
}

TEST_F(ArchiveToolTest, AStoredFolderPasses) {
  std::filesystem::create_directory(dir.Path("WinRAR"));
  ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nrar=" + dir.Path("WinRAR") + "\r\n");
  NoDefault();
  EXPECT_TRUE(Start());
  EXPECT_TRUE(host.MessageBoxes().empty());
  EXPECT_TRUE(host.FileDialogs().empty());
}

TEST_F(ArchiveToolTest, TheChinesePromptWithLanguageOne) {
  NoDefault();
  ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nlanguage=1\r\n");
  const std::string chosen = dir.Path("WinRAR.exe");
  ScratchFolder::Write(chosen, "x");
  host.AnswerFileDialog(chosen);
  EXPECT_TRUE(Start());
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  EXPECT_EQ(host.MessageBoxes()[0].caption, "提醒");
  EXPECT_EQ(host.MessageBoxes()[0].text, kChinesePrompt);
  ASSERT_EQ(host.FileDialogs().size(), 1u);
  EXPECT_EQ(host.FileDialogs()[0].filter, kFilter);  // the filter stays in English
}

TEST_F(ArchiveToolTest, APathLongerThan255CharactersIsKeptWhole) {
  NoDefault();
  const std::string folder = dir.Path(std::string(200, 'd'));
  std::filesystem::create_directory(folder);
  const std::string chosen = folder + "/" + std::string(150, 'r') + ".exe";
  ScratchFolder::Write(chosen, "x");
  ASSERT_GT(chosen.size(), 255u);
  host.AnswerFileDialog(chosen);
  EXPECT_TRUE(Start());
  EXPECT_EQ(Prompts(), 1u);
  EXPECT_EQ(Settings(), "[ip]\r\nrar=" + chosen + "\r\nlanguage=0\r\n");
  // The next start finds it stored, without a prompt.
  dir.FreshRuntime();
  EXPECT_TRUE(Start());
  EXPECT_EQ(Prompts(), 1u);
}

TEST_F(ArchiveToolTest, APathLongerThanTheBufferIsNotStored) {
  NoDefault();
  const std::string tooLong = "/" + std::string(kArchiveToolPathSize, 'x');
  const std::string chosen = dir.Path("WinRAR.exe");
  ScratchFolder::Write(chosen, "x");
  host.AnswerFileDialog(tooLong);
  host.AnswerFileDialog(chosen);
  EXPECT_TRUE(Start());
  EXPECT_EQ(Prompts(), 2u);
  EXPECT_EQ(Settings(), "[ip]\r\nrar=" + chosen + "\r\nlanguage=0\r\n");
}

TEST_F(ArchiveToolTest, ASecondCopyIsRefusedBeforeTheArchiveToolIsLookedFor) {
  NoDefault();
  // The first copy holds the marker (in a death test's own process, as on Windows, the
  // parent holds it already).
  ASSERT_NE(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::Failed);
  ASSERT_EQ(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::AlreadyExists);
  EXPECT_EXIT(
      {
        ExpectingExit();
        Start();
      },
      ::testing::ExitedWithCode(0), "^create 102\nbox 102 Error: One instance of upgrade tool is running!\nexit 0\n$");
}

// Where the settings file cannot be written, the chosen path is used for the run: one
// prompt, one note in the run's language naming the folder, and the main window with that
// path in force. (A folder without write permission does not stop every user, so the
// cases are ones that stop any user.)
TEST_F(ArchiveToolTest, WhereTheSettingsCannotBeKeptTheChoiceServesTheRunAfterOneNote) {
  const std::string longFolder = dir.Path(std::string(150, 'd')) + platform::PathSeparator() + std::string(100, 'e');
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::string folder;  // the folder the note names, the current one during the run
    const char* caption;
    const char* noteStart;
    bool bReadOnlyFile = false;
  } cases[] = {
      {"ip.bak is a folder", [&] { std::filesystem::create_directory(dir.Path("ip.bak")); }, dir.Dir(), "Notify",
       "The settings cannot be saved in this folder:\n"},
      {"a read-only settings file in Chinese",
       [&] {
         ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nlanguage=1\r\n");
         std::filesystem::permissions(dir.Path("ip.bak"), std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::group_read |
                                                              std::filesystem::perms::others_read);
       },
       dir.Dir(), "提醒", "无法在此文件夹中保存设置:\n", true},
      {"a folder path too long for the settings path",
       [&] {
         std::filesystem::create_directories(longFolder);
         std::filesystem::current_path(longFolder);
       },
       longFolder, "Notify", "The settings cannot be saved in this folder:\n"},
  };
  NoDefault();
  const std::string chosen = dir.Path("WinRAR.exe");
  ScratchFolder::Write(chosen, "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.FreshRuntime();
    std::error_code ec;
    std::filesystem::permissions(dir.Path("ip.bak"), std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir.Path("ip.bak"), ec);
    c.prepare();
    // The system's profile functions write a read-only file for a user whom permissions do
    // not stop (root under Wine); our own rules leave such a file alone for anyone.
    if (c.bReadOnlyFile && platform::ProfileFunctionsAreTheSystems() &&
        std::ofstream(dir.Path("ip.bak"), std::ios::app).good()) {
      std::printf("(%s: not a case for this user here)\n", c.name);
      continue;
    }
    HeadlessHost boxes;
    boxes.AnswerFileDialog(chosen);
    std::string inForce = "(not shown)";
    {
      CWorkDlg dlg;
      boxes.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
        inForce = static_cast<CWorkDlg&>(w.Dialog()).ArchiveToolPath();
        w.PressEscape();
      });
      dlg.DoModal();
    }
    std::filesystem::current_path(dir.Dir());
    EXPECT_EQ(inForce, chosen);
    EXPECT_EQ(boxes.FileDialogs().size(), 1u);
    ASSERT_EQ(boxes.MessageBoxes().size(), 2u);  // the prompt, then the note
    const auto& note = boxes.MessageBoxes()[1];
    EXPECT_EQ(boxes.MessageBoxes()[0].caption, c.caption);
    EXPECT_EQ(note.caption, c.caption);
    EXPECT_EQ(note.text.rfind(c.noteStart + c.folder + "\n", 0), 0u) << note.text;
    EXPECT_EQ(note.owner, Owner::Dialog);
    EXPECT_FALSE(note.ownerVisible);
  }
}

// A chosen path that does not exist still brings the prompt back, but the note is said once.
TEST_F(ArchiveToolTest, TheNoteIsSaidOnceAlsoWhenTheChoiceMustBeMadeAgain) {
  NoDefault();
  std::filesystem::create_directory(dir.Path("ip.bak"));
  const std::string chosen = dir.Path("WinRAR.exe");
  ScratchFolder::Write(chosen, "x");
  host.AnswerFileDialog(dir.Path("typed-but-absent.exe"));
  host.AnswerFileDialog(chosen);
  EXPECT_TRUE(Start());
  EXPECT_EQ(Prompts(), 3u);  // prompt, note, prompt
  ASSERT_EQ(host.MessageBoxes().size(), 3u);
  EXPECT_EQ(host.MessageBoxes()[0].text, kEnglishPrompt);
  EXPECT_NE(host.MessageBoxes()[1].text, kEnglishPrompt);
  EXPECT_EQ(host.MessageBoxes()[2].text, kEnglishPrompt);
  EXPECT_EQ(host.FileDialogs().size(), 2u);
}

TEST(ArchiveToolDefault, TheUsualPlaceOfEachPlatform) {
  EXPECT_STREQ(DefaultArchiveToolPathFor('\\'), "C:\\Program Files\\WinRAR\\WinRAR.exe");
  EXPECT_STREQ(DefaultArchiveToolPathFor('/'), "/usr/bin/rar");
  EXPECT_STREQ(DefaultArchiveToolPath(), platform::PathSeparator() == '/' ? "/usr/bin/rar"
                                                                         : "C:\\Program Files\\WinRAR\\WinRAR.exe");
}
