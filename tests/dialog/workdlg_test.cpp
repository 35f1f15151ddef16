// CWorkDlg on the headless host: start-up order, control states, keys, the system menu and
// the About box, painting while minimised, the adapter box, and the application object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app/work.h"
#include "exit_guard.h"
#include "platform/app.h"
#include "platform/headless/headless_host.h"
#include "platform/instance.h"
#include "res/artwork.h"
#include "scratch.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

using platform::headless::HeadlessHost;
using platform::headless::HeadlessWindow;
using platform::headless::Owner;

namespace {

std::vector<platform::AdapterInfo> g_fakeAdapters;
platform::AdapterListStatus g_fakeStatus = platform::AdapterListStatus::Ok;

platform::AdapterListStatus FakeList(std::vector<platform::AdapterInfo>& out) {
  out = g_fakeAdapters;
  return g_fakeStatus;
}

// The archive tool's usual place in these tests: a file in the test's scratch folder.
std::string g_strDefaultRar;
const char* DefaultRar() { return g_strDefaultRar.c_str(); }

platform::AdapterInfo Adapter(const std::string& description, const std::string& ip) {
  platform::AdapterInfo a;
  a.description = description;
  a.ipv4 = ip;
  return a;
}

class WorkDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetTransmissionState();
    g_fakeAdapters = {Adapter("eth0 Intel", "10.0.0.12"), Adapter("eth0 Intel", "10.0.0.1"), Adapter("wlan0", "0.0.0.0")};
    g_fakeStatus = platform::AdapterListStatus::Ok;
    g_pfnListAdapters = &FakeList;
    g_strDefaultRar = dir.Path("rar");
    ScratchFolder::Write(g_strDefaultRar, "archiver");
    g_pfnDefaultArchiveToolPath = &DefaultRar;
  }
  void TearDown() override {
    g_pfnListAdapters = &platform::ListAdapters;
    g_pfnDefaultArchiveToolPath = &DefaultArchiveToolPath;
    ResetTransmissionState();
  }
  std::string SettingsBytes() const { return ScratchFolder::Read(dir.Path("ip.bak")); }
  // What a start without a settings file writes: the archive tool found at its usual place,
  // then the language of the switch's first run.
  std::string FirstStartBytes() const { return "[ip]\r\nrar=" + g_strDefaultRar + "\r\nlanguage=0\r\n"; }

  ScratchFolder dir;  // current directory and runtime directory of this test
  HeadlessHost host;
};

// Index of the first log line that begins with `head`; -1 when none does.
long LogIndex(const HeadlessHost& h, const std::string& head) {
  const auto& log = h.Log();
  for (std::size_t i = 0; i < log.size(); ++i)
    if (log[i].rfind(head, 0) == 0) return static_cast<long>(i);
  return -1;
}

}  // namespace

TEST_F(WorkDlgTest, StartsWithTheControlStatesOfItsFirstMoment) {
  CWorkDlg dlg;
  bool ran = false;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    ran = true;
    struct Row {
      int id;
      bool enabled;
      bool visible;
    } rows[] = {
        {IDC_BTN_START, false, true},      {IDC_BTN_STOP, false, true},       {IDC_BTN_OPEN, true, true},
        {IDC_BTN_REFRESH, true, true},     {IDC_COMBO_NIC, true, true},       {IDC_COMBO_LANGUAGE, true, true},
        {IDC_CHECK_FORCE, true, true},     {IDC_STATIC_FORCE, true, true},    {IDC_EDIT_PATH, false, true},
        {IDC_EDIT_SENDTIME, false, true},  {IDC_EDIT_PACKETNO, false, true},  {IDC_COMBO_POLICY, true, false},
        {IDC_STATIC_POLICY, true, false},  {IDC_PROGRESS, true, true},        {IDC_STATIC_VERSION, true, true},
    };
    for (const Row& r : rows) {
      EXPECT_EQ(w.Control(r.id).enabled, r.enabled) << r.id;
      EXPECT_EQ(w.Control(r.id).visible, r.visible) << r.id;
    }
    EXPECT_EQ(w.Control(IDC_CHECK_FORCE).check, 0);
    for (int id : {IDC_EDIT_PATH, IDC_EDIT_SENDTIME, IDC_EDIT_PACKETNO, IDC_STATIC_VERSION}) EXPECT_EQ(w.Control(id).text, "");
    EXPECT_EQ(w.Control(IDC_PROGRESS).pos, 0);
    // The language box lists English first; the policy box keeps its template order.
    EXPECT_EQ(w.Control(IDC_COMBO_LANGUAGE).items, (std::vector<std::string>{"English", "中文"}));
    EXPECT_EQ(w.Control(IDC_COMBO_POLICY).items, (std::vector<std::string>{"Modem&Router", "Router"}));
    EXPECT_EQ(w.Control(IDC_COMBO_POLICY).curSel, 0);
    // The template's English captions.
    EXPECT_EQ(w.Control(IDC_BTN_START).text, "Start");
    EXPECT_EQ(w.Control(IDC_STATIC_NIC).text, "Network card");
    EXPECT_EQ(w.Control(IDC_CHECK_FORCE).text, "YES");
    // The focus is on the first tab stop, the adapter box.
    EXPECT_EQ(w.Focus(), IDC_COMBO_NIC);
    EXPECT_EQ(w.BigIcon(), res::AppIcon());
    EXPECT_EQ(w.SmallIcon(), res::AppIcon());
    w.PressEscape();
  });
  EXPECT_EQ(dlg.DoModal(), platform::IDCANCEL);
  EXPECT_TRUE(ran);
  EXPECT_EQ(g_nPolicy.load(), 1);
  EXPECT_EQ(std::string(g_szGroupAddr), "224.0.0.119");  // the multicast defaults were set
  EXPECT_EQ(dlg.FileKindOf("trx"), 1);
}

TEST_F(WorkDlgTest, FileKindTableHoldsItsThreeRows) {
  CWorkDlg dlg;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    struct Row {
      const char* ext;
      int kind;
    } rows[] = {{"trx", 1}, {"bin", 2}, {"BIN", 2}, {"TRX", 0}, {"Bin", 0}, {"exe", 0}, {"", 0}};
    for (const Row& r : rows) EXPECT_EQ(dlg.FileKindOf(r.ext), r.kind) << r.ext;
    w.PressEscape();
  });
  dlg.DoModal();
}

TEST_F(WorkDlgTest, EveryStepRunsBeforeTheWindowIsShown) {
  ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nlanguage=1\r\nlast=wlan0\r\n");
  CWorkDlg dlg;
  int shownSelection = -2;
  int languageAtShow = -1;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    shownSelection = w.Control(IDC_COMBO_NIC).curSel;
    languageAtShow = g_nLanguage;
    w.PressEscape();
  });
  dlg.DoModal();
  EXPECT_EQ(languageAtShow, 1);        // the stored language, read by InitSettings
  EXPECT_EQ(shownSelection, 2);        // the adapter box filled and reselected before showing
  EXPECT_LT(LogIndex(host, "create 102"), LogIndex(host, "show 102"));
  // Start-up added the archive tool's place and rewrote the language with the same value.
  EXPECT_EQ(SettingsBytes(), "[ip]\r\nlanguage=1\r\nlast=wlan0\r\nrar=" + g_strDefaultRar + "\r\n");
}

TEST_F(WorkDlgTest, EnterNeverClosesTheWindowEscapeAndTheCloseBoxDo) {
  struct Row {
    const char* name;
    std::function<void(HeadlessWindow&)> act;
    bool closes;
  } rows[] = {
      {"Enter on the adapter box", [](HeadlessWindow& w) { w.SetFocus(IDC_COMBO_NIC); w.PressEnter(); }, false},
      {"Enter on the check box", [](HeadlessWindow& w) { w.SetFocus(IDC_CHECK_FORCE); w.PressEnter(); }, false},
      {"Enter on Refresh", [](HeadlessWindow& w) { w.SetFocus(IDC_BTN_REFRESH); w.PressEnter(); }, false},
      {"Escape", [](HeadlessWindow& w) { w.PressEscape(); }, true},
      {"close box", [](HeadlessWindow& w) { w.CloseBox(); }, true},
      {"Close of the system menu", [](HeadlessWindow& w) { w.SystemCommand(platform::SC_CLOSE); }, true},
  };
  for (const Row& r : rows) {
    dir.FreshRuntime();
    CWorkDlg dlg;
    bool ended = false;
    host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
      r.act(w);
      ended = w.Ended();
    });
    dlg.DoModal();
    EXPECT_EQ(ended, r.closes) << r.name;
  }
}

TEST_F(WorkDlgTest, EnterOnRefreshPressesIt) {
  CWorkDlg dlg;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).items.size(), 3u);
    g_fakeAdapters.pop_back();
    w.SetFocus(IDC_BTN_REFRESH);
    w.PressEnter();
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).items.size(), 2u);
    w.PressEscape();
  });
  dlg.DoModal();
}

TEST_F(WorkDlgTest, SystemMenuEndsWithTheAboutEntry) {
  CWorkDlg dlg;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    const auto& menu = w.SystemMenu();
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_TRUE(menu[0].separator);
    EXPECT_FALSE(menu[1].separator);
    EXPECT_EQ(menu[1].id, 16u);
    EXPECT_EQ(menu[1].text, "About KAV(&A)...");
    w.PressEscape();
  });
  dlg.DoModal();
}

TEST_F(WorkDlgTest, AboutOpensForCommandsThatDifferFromSixteenInTheLowBits) {
  struct Row {
    unsigned nID;
    bool about;
  } rows[] = {{16, true}, {17, true}, {0x1F, true}, {0x20, false}, {0x00, false}, {platform::SC_MINIMIZE, false}};
  for (const Row& r : rows) {
    dir.FreshRuntime();
    CWorkDlg dlg;
    std::string version;
    host.OnShow(IDD_ABOUTBOX, [&](HeadlessWindow& about) {
      for (int key = -1000; key > -1010; --key)
        if (about.HasControl(key) && about.Control(key).text.rfind("Ver ", 0) == 0) version = about.Control(key).text;
      about.PressEnter();  // the default button OK ends it
      EXPECT_TRUE(about.Ended());
      EXPECT_EQ(about.Result(), platform::IDOK);
    });
    host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
      w.SystemCommand(r.nID);
      w.PressEscape();
    });
    dlg.DoModal();
    EXPECT_EQ(!version.empty(), r.about) << r.nID;
    if (r.about) {
      EXPECT_EQ(version, "Ver 1.1.0");
    }
    // A driver that was not used stays queued; drop it for the next row.
    if (!r.about) {
      CAboutDlg drain;
      drain.DoModal();
    }
  }
}

TEST_F(WorkDlgTest, MinimisedItPaintsItsIconInTheMiddle) {
  CWorkDlg dlg;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    w.Paint();
    EXPECT_TRUE(w.IconDrawings().empty());
    EXPECT_EQ(w.DefaultPaints(), 1);
    w.SystemCommand(platform::SC_MINIMIZE);
    EXPECT_TRUE(w.IsIconic());
    w.Paint();
    ASSERT_EQ(w.IconDrawings().size(), 1u);
    platform::ClientSize c = w.GetClientSize();
    EXPECT_EQ(w.IconDrawings()[0].x, (c.cx - 32 + 1) / 2);
    EXPECT_EQ(w.IconDrawings()[0].y, (c.cy - 32 + 1) / 2);
    EXPECT_EQ(w.IconDrawings()[0].icon, res::AppIcon());
    EXPECT_EQ(w.IconBackgroundErasures(), 1);
    EXPECT_EQ(w.QueryDragIcon(), reinterpret_cast<std::intptr_t>(res::AppIcon()));
    w.PressEscape();
  });
  dlg.DoModal();
}

std::string Repeat(const std::string& piece, int n) {
  std::string all;
  for (int i = 0; i < n; ++i) all += piece;
  return all;
}

TEST(AdapterTable, EntriesAreCutAndZeroFilled) {
  struct Row {
    platform::AdapterInfo a;
    std::string entry;
  } rows[] = {
      {Adapter("Ethernet Adapter", "192.168.1.20"), "Ethernet Adapter...IP:192.168.1.20"},
      {Adapter("wlan0", "0.0.0.0"), "wlan0...IP:0.0.0.0"},
      {Adapter(std::string(60, 'D'), "10.1.2.3"), std::string(45, 'D') + "...IP:10.1.2.3"},
      {Adapter(std::string("ab\0cd", 5), "1.2.3.4"), "ab...IP:1.2.3.4"},
      {Adapter("x", std::string(50, '9')), "x...IP:" + std::string(37, '9')},
      // 45 bytes would end inside the fifteenth three-byte character: the cut keeps 14 whole.
      {Adapter("A" + Repeat("网", 20), "1.1.1.1"), "A" + Repeat("网", 14) + "...IP:1.1.1.1"},
  };
  g_fakeAdapters.clear();
  for (const Row& r : rows) g_fakeAdapters.push_back(r.a);
  for (int i = 0; i < 8; ++i) g_fakeAdapters.push_back(Adapter("extra" + std::to_string(i), "10.9.9." + std::to_string(i)));
  g_fakeStatus = platform::AdapterListStatus::Ok;
  g_pfnListAdapters = &FakeList;
  std::memset(g_aAdapterNames, 'Z', sizeof g_aAdapterNames);
  EXPECT_EQ(EnumAdapters(), 0);
  for (std::size_t j = 0; j < std::size(rows); ++j) EXPECT_EQ(std::string(g_aAdapterNames[j]), rows[j].entry) << j;
  EXPECT_EQ(std::string(g_aAdapterNames[9]), "extra3...IP:10.9.9.3");  // only the first 10
  for (std::size_t j = 0; j < kAdapterEntries; ++j) {
    std::size_t len = std::strlen(g_aAdapterNames[j]);
    for (std::size_t k = len; k < kAdapterEntrySize; ++k) ASSERT_EQ(g_aAdapterNames[j][k], '\0');
  }

  g_fakeAdapters.resize(2);
  EXPECT_EQ(EnumAdapters(), 0);
  EXPECT_EQ(g_aAdapterNames[2][0], '\0');

  for (auto status : {platform::AdapterListStatus::Error, platform::AdapterListStatus::NoAdapters}) {
    g_fakeStatus = status;
    EXPECT_EQ(EnumAdapters(), 15);
    for (std::size_t j = 0; j < kAdapterEntries; ++j) EXPECT_EQ(g_aAdapterNames[j][0], '\0');
  }
  g_pfnListAdapters = &platform::ListAdapters;
}

TEST_F(WorkDlgTest, AdapterBoxReselectsTheRememberedAdapterByPrefix) {
  struct Row {
    const char* name;
    const char* settings;  // nullptr: no settings file
    int selected;
  } rows[] = {
      {"no settings file", nullptr, 0},
      {"no key last", "[ip]\r\nlanguage=0\r\n", 0},
      {"exact", "[ip]\r\nlast=wlan0...IP:0.0.0.0\r\n", 2},
      {"other letter case", "[ip]\r\nlast=WLAN0...ip:0.0.0.0\r\n", 2},
      {"a prefix of the first item", "[ip]\r\nlast=eth0 Intel...IP:10.0.0.1\r\n", 0},
      {"not in the list", "[ip]\r\nlast=eth9...IP:1.1.1.1\r\n", 0},
  };
  for (const Row& r : rows) {
    std::filesystem::remove(dir.Path("ip.bak"));
    if (r.settings) ScratchFolder::Write(dir.Path("ip.bak"), r.settings);
    dir.FreshRuntime();
    CWorkDlg dlg;
    int sel = -2;
    std::vector<std::string> items;
    host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
      sel = w.Control(IDC_COMBO_NIC).curSel;
      items = w.Control(IDC_COMBO_NIC).items;
      w.PressEscape();
    });
    dlg.DoModal();
    EXPECT_EQ(sel, r.selected) << r.name;
    EXPECT_EQ(items, (std::vector<std::string>{"eth0 Intel...IP:10.0.0.12", "eth0 Intel...IP:10.0.0.1", "wlan0...IP:0.0.0.0"}))
        << r.name;
    // Start-up never stores an adapter.
    EXPECT_EQ(SettingsBytes().find("last=") != std::string::npos,
              r.settings != nullptr && std::string(r.settings).find("last=") != std::string::npos)
        << r.name;
  }
}

TEST_F(WorkDlgTest, SelectingAnAdapterStoresItAndRefreshReselectsIt) {
  CWorkDlg dlg;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_NIC, 1));
    EXPECT_EQ(SettingsBytes(), FirstStartBytes() + "last=eth0 Intel...IP:10.0.0.1\r\n");
    // Refresh with the same list: the remembered text is a prefix of item 0, which wins.
    ASSERT_TRUE(w.Click(IDC_BTN_REFRESH));
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).curSel, 0);
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_NIC, 2));
    EXPECT_EQ(SettingsBytes(), FirstStartBytes() + "last=wlan0...IP:0.0.0.0\r\n");
    // The adapters change order: Refresh finds the remembered one at its new place.
    std::reverse(g_fakeAdapters.begin(), g_fakeAdapters.end());
    ASSERT_TRUE(w.Click(IDC_BTN_REFRESH));
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).curSel, 0);
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).items[0], "wlan0...IP:0.0.0.0");
    // The list cannot be read any more: the box is empty with nothing selected.
    g_fakeStatus = platform::AdapterListStatus::Error;
    ASSERT_TRUE(w.Click(IDC_BTN_REFRESH));
    EXPECT_TRUE(w.Control(IDC_COMBO_NIC).items.empty());
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).curSel, platform::CB_ERR);
    EXPECT_EQ(SettingsBytes(), FirstStartBytes() + "last=wlan0...IP:0.0.0.0\r\n");  // a refill stores nothing
    w.PressEscape();
  });
  dlg.DoModal();
}

// --- the second copy ---------------------------------------------------------------------

class SecondCopyTest : public WorkDlgTest {};

TEST_F(SecondCopyTest, EnglishRefusalThenExitZeroWithoutShowingTheWindow) {
  // The first copy holds the marker (in a death test's own process, as on Windows, the
  // parent holds it already).
  ASSERT_NE(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::Failed);
  ASSERT_EQ(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::AlreadyExists);
  ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nlanguage=0\r\n");
  EXPECT_EXIT(
      {
        ExpectingExit();
        CWorkDlg dlg;
        dlg.DoModal();
      },
      ::testing::ExitedWithCode(0), "^create 102\nbox 102 Error: One instance of upgrade tool is running!\nexit 0\n$");
  EXPECT_EQ(SettingsBytes(), "[ip]\r\nlanguage=0\r\n");
}

TEST_F(SecondCopyTest, ChineseRefusal) {
  // The first copy holds the marker (in a death test's own process, as on Windows, the
  // parent holds it already).
  ASSERT_NE(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::Failed);
  ASSERT_EQ(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::AlreadyExists);
  ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nlanguage=1\r\n");
  EXPECT_EXIT(
      {
        ExpectingExit();
        CWorkDlg dlg;
        dlg.DoModal();
      },
      ::testing::ExitedWithCode(0), "^create 102\nbox 102 错误: 已经有一个升级工具的实例在运行!\nexit 0\n$");
}

TEST_F(SecondCopyTest, AStoredLanguageOtherThanZeroOrOneRefusesInEnglish) {
  // The first copy holds the marker (in a death test's own process, as on Windows, the
  // parent holds it already).
  ASSERT_NE(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::Failed);
  ASSERT_EQ(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::AlreadyExists);
  for (const char* value : {"2", "-1", "7x"}) {
    ScratchFolder::Write(dir.Path("ip.bak"), std::string("[ip]\r\nlanguage=") + value + "\r\n");
    EXPECT_EXIT(
        {
          ExpectingExit();
          CWorkDlg dlg;
          dlg.DoModal();
        },
        ::testing::ExitedWithCode(0), "^create 102\nbox 102 Error: One instance of upgrade tool is running!\nexit 0\n$")
        << value;
  }
}

TEST_F(SecondCopyTest, TheFirstCopyRunsOnUnaffected) {
  CWorkDlg dlg;
  bool shown = false;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    shown = true;
    // A later copy in this logon is refused while this one holds the marker.
    EXPECT_EQ(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::AlreadyExists);
    w.PressEscape();
  });
  dlg.DoModal();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(host.MessageBoxes().empty());
}

// --- the application object --------------------------------------------------------------

namespace {
bool FailingSocketInit() { return false; }
}  // namespace

TEST_F(WorkDlgTest, SocketStartFailureShowsOnlyWindowsInitError) {
  platform::SetSocketInitForTesting(&FailingSocketInit);
  theApp.m_strAppName = "upgrade";
  EXPECT_FALSE(theApp.InitInstance());
  platform::SetSocketInitForTesting(nullptr);
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  EXPECT_EQ(host.MessageBoxes()[0].text, "Windows init error");
  EXPECT_EQ(host.MessageBoxes()[0].caption, "upgrade");
  EXPECT_EQ(host.MessageBoxes()[0].owner, Owner::Application);
  EXPECT_EQ(LogIndex(host, "create"), -1);  // no window was made
  // No single-instance test was made: the marker is still free.
  EXPECT_EQ(platform::CreateInstanceMarker("KAV"), platform::InstanceMarker::Created);
}

TEST_F(WorkDlgTest, InitInstanceRunsTheMainDialogAndReturnsFalse) {
  platform::CDialog* mainWnd = nullptr;
  host.OnShow(IDD_WORK_DIALOG, [&](HeadlessWindow& w) {
    mainWnd = theApp.m_pMainWnd;
    EXPECT_EQ(mainWnd, &w.Dialog());
    w.PressEscape();
  });
  EXPECT_FALSE(theApp.InitInstance());
  EXPECT_NE(mainWnd, nullptr);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
  EXPECT_GE(LogIndex(host, "destroy 102"), 0);
}
