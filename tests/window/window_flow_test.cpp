// The operator flow in the Qt window, offscreen: a file chosen through the real file
// dialog, its version shown, the language switched both ways (Chinese shown by the window's
// fonts), and, inside the private test segment only, a transmission from v0 with the pass
// count, the datagram number and the bar moving. Screenshots go to the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <cstdlib>

#include "window_support.h"
#include "platform/dialog.h"
#include "platform/qt/qt_host.h"
#include "tools/mkfile/builder.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

#ifndef UPGRADE_SHOTS_DIR
#define UPGRADE_SHOTS_DIR "."
#endif

namespace {


// Outside the segment the window lists adapters of the test's making; inside it, the
// segment's own (v0 is the sender's).
platform::AdapterListStatus FakeList(std::vector<platform::AdapterInfo>& out) {
  out.clear();
  for (auto [d, ip] : {std::pair{"eth0 Intel Corporation 82574L", "192.168.1.20"}, std::pair{"wlan0", "0.0.0.0"}}) {
    platform::AdapterInfo a;
    a.description = d;
    a.ipv4 = ip;
    out.push_back(a);
  }
  return platform::AdapterListStatus::Ok;
}

int SegmentSender() {
  std::vector<platform::AdapterInfo> all;
  platform::ListAdapters(all);
  bool device = false;
  int sender = -1;
  for (std::size_t i = 0; i < all.size() && i < kAdapterEntries; ++i) {
    if (all[i].name == "v0") sender = static_cast<int>(i);
    if (all[i].name == "v1") device = true;
  }
  return device ? sender : -1;
}

mkfile::CFileImage Package(const char* version = "2.4.1") {
  mkfile::SPackagePlan p;
  p.strVersion = version;
  for (const char* name : {"BOOT", "ROUTER", "MODEM"}) {
    mkfile::SUnitPlan u;
    u.strName = name;
    p.units.push_back(u);
  }
  p.qwSize = 3000000;  // 2930 datagrams: about three seconds a pass
  return mkfile::BuildPackage(p);
}

class WindowFlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    window_test::InstallOffscreenHost("window_flow_test");
  }
  void SetUp() override {
    ResetTransmissionState();
    window_test::PlaceArchiveTool(dir);
    path = dir.Path("upgrade.bin");
    ASSERT_TRUE(Package().WriteTo(path));
  }
  void TearDown() override {
    g_bSending = 0;
    g_nRunState = RUN_STOPPED;
    for (int i = 0; i < 2000 && TransmissionWorkersRunning() > 0; ++i) QTest_Wait(1);
    g_pfnListAdapters = &platform::ListAdapters;
    g_pfnDefaultArchiveToolPath = &DefaultArchiveToolPath;
    ResetTransmissionState();
  }
  static void QTest_Wait(int ms) { QApplication::processEvents(QEventLoop::AllEvents, ms); }

  // Presses Open and answers the real file dialog with `file`; returns the dialog's filters.
  QStringList ChooseThroughTheFileDialog(platform::qt::WindowProbe& w, const std::string& file) {
    QStringList filters;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      // Tried on every tick until the dialog is gone: it may refuse the answer while it is
      // still reading the folder.
      if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        if (filters.isEmpty()) filters = d->nameFilters();
        // The operator types the full path into the name field and confirms.
        if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit")) edit->setText(QString::fromStdString(file));
        static_cast<QDialog*>(d)->accept();  // as the Open button of the dialog does
      }
    });
    poll.start(20);
    Click(w, IDC_BTN_OPEN);
    return filters;
  }
  static void Click(platform::qt::WindowProbe& w, int id) {
    ASSERT_TRUE(w.ControlEnabled(id)) << id;
    w.Dialog().Dispatch(platform::EventKind::Command, id);
  }
  // The operator picks an entry of a combo box.
  static void Select(platform::qt::WindowProbe& w, int id, int index) {
    ASSERT_TRUE(w.ControlEnabled(id)) << id;
    ASSERT_EQ(w.Dialog().Window()->ComboSetCurSel(id, index), index);
    w.Dialog().Dispatch(platform::EventKind::SelChange, id);
  }
  static void Shot(platform::qt::WindowProbe& w, const char* name) {
    w.ProcessEvents(50);
    EXPECT_TRUE(w.SaveScreenshot(std::string(UPGRADE_SHOTS_DIR "/") + name)) << name;
  }
  // Every character of the control's text has a glyph in one of the families the label's
  // font falls back through (so none shows as an empty box).
  static bool Drawable(platform::qt::WindowProbe& w, int id) {
    const QString text = QString::fromStdString(w.ControlText(id));
    for (QWidget* top : QApplication::topLevelWidgets()) {
      for (QLabel* l : top->findChildren<QLabel*>()) {
        if (l->text() != text) continue;
        for (const char32_t c : text.toUcs4()) {
          if (c == U' ') continue;
          bool found = false;
          for (const QString& family : l->font().families()) {
            QFont f(family);
            if (QFontInfo(f).family() == family && QFontMetrics(f).inFontUcs4(c)) found = true;
          }
          if (!found) return false;
        }
        return true;
      }
    }
    return false;
  }

  ScratchFolder dir;
  std::string path;
};

}  // namespace

TEST_F(WindowFlowTest, IdleInEnglishAndInChinese) {
  g_pfnListAdapters = &FakeList;
  bool probed = false;
  platform::qt::OnShow(IDD_WORK_DIALOG, [&](platform::qt::WindowProbe& w) {
    probed = true;
    const QStringList filters = ChooseThroughTheFileDialog(w, path);
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].startsWith("Upgrade Files (*.bin)")) << filters[0].toStdString();
    EXPECT_TRUE(filters[1].startsWith("All Files(*.*)")) << filters[1].toStdString();
    EXPECT_EQ(w.ControlText(IDC_EDIT_PATH), path);
    EXPECT_EQ(w.ControlText(IDC_STATIC_VERSION), "Version: 2.4.1");
    EXPECT_TRUE(w.ControlEnabled(IDC_BTN_START));
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_STOP));
    Shot(w, "idle_en.png");

    Select(w, IDC_COMBO_LANGUAGE, 1);
    EXPECT_EQ(w.ControlText(IDC_STATIC_VERSION), "版本: 2.4.1");
    EXPECT_EQ(w.ControlText(IDC_BTN_START), "开始");
    EXPECT_EQ(w.ControlText(IDC_STATIC_NIC), "网卡(IP)");
    EXPECT_EQ(w.ControlText(IDC_GROUP_FILEINFO), "升级文件信息");
    EXPECT_EQ(w.ControlText(IDC_CHECK_FORCE), "是");
    EXPECT_EQ(w.ControlText(IDC_COMBO_LANGUAGE), "中文");
    EXPECT_TRUE(Drawable(w, IDC_STATIC_NIC));
    EXPECT_TRUE(Drawable(w, IDC_STATIC_VERSION));
    Shot(w, "idle_zh.png");

    Select(w, IDC_COMBO_LANGUAGE, 0);
    EXPECT_EQ(w.ControlText(IDC_STATIC_VERSION), "Version: 2.4.1");
    EXPECT_EQ(w.ControlText(IDC_BTN_START), "Start");
    w.PressKey("Escape");
  });
  CWorkDlg dlg;
  dlg.DoModal();
  EXPECT_TRUE(probed);
  EXPECT_NE(ScratchFolder::Read(dir.Path("ip.bak")).find("language=0\r\n"), std::string::npos);
}

// The version line is a static text: '&' marks a mnemonic on the screen, but the text read
// back for the language switch keeps it, so switching never loses a character.
TEST_F(WindowFlowTest, AnAmpersandInTheVersionSurvivesTheLanguageSwitch) {
  g_pfnListAdapters = &FakeList;
  ASSERT_TRUE(Package("R&D 2.4").WriteTo(path));
  bool probed = false;
  platform::qt::OnShow(IDD_WORK_DIALOG, [&](platform::qt::WindowProbe& w) {
    probed = true;
    ChooseThroughTheFileDialog(w, path);
    EXPECT_EQ(w.ControlText(IDC_STATIC_VERSION), "Version: R&D 2.4");
    for (int round = 0; round < 2; ++round) {
      Select(w, IDC_COMBO_LANGUAGE, 1);
      EXPECT_EQ(w.ControlText(IDC_STATIC_VERSION), "版本: R&D 2.4") << round;
      Select(w, IDC_COMBO_LANGUAGE, 0);
      EXPECT_EQ(w.ControlText(IDC_STATIC_VERSION), "Version: R&D 2.4") << round;
    }
    w.PressKey("Escape");
  });
  CWorkDlg dlg;
  dlg.DoModal();
  EXPECT_TRUE(probed);
}

TEST_F(WindowFlowTest, SendingInEnglishAndInChinese) {
  const int sender = SegmentSender();
  if (sender < 0) GTEST_SKIP() << "sends only inside the private test segment of tests/e2e/netns.sh";
  bool probed = false;
  platform::qt::OnShow(IDD_WORK_DIALOG, [&](platform::qt::WindowProbe& w) {
    probed = true;
    ChooseThroughTheFileDialog(w, path);
    ASSERT_EQ(w.ControlText(IDC_STATIC_VERSION), "Version: 2.4.1");
    Select(w, IDC_COMBO_NIC, sender);
    ASSERT_EQ(w.ControlText(IDC_COMBO_NIC).rfind("v0...IP:10.77.0.1", 0), 0u) << w.ControlText(IDC_COMBO_NIC);
    Click(w, IDC_BTN_START);
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_START));
    EXPECT_TRUE(w.ControlEnabled(IDC_BTN_STOP));
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_OPEN));
    EXPECT_FALSE(w.ControlEnabled(IDC_COMBO_NIC));
    w.ProcessEvents(1200);  // the timer shows the datagram number and the bar
    EXPECT_EQ(g_bSending.load(), 1);
    EXPECT_GT(std::stoul(w.ControlText(IDC_EDIT_PACKETNO)), 100u);
    EXPECT_EQ(w.ControlText(IDC_EDIT_SENDTIME), "0");
    Shot(w, "sending_en.png");

    Select(w, IDC_COMBO_LANGUAGE, 1);  // also while sending
    EXPECT_EQ(w.ControlText(IDC_BTN_STOP), "停止");
    EXPECT_EQ(w.ControlText(IDC_STATIC_VERSION), "版本: 2.4.1");
    // Past the end of the first pass: about 2.6 s at the pace, longer on a loaded machine.
    for (int i = 0; i < 100 && w.ControlText(IDC_EDIT_SENDTIME) == "0"; ++i) w.ProcessEvents(100);
    EXPECT_EQ(w.ControlText(IDC_EDIT_SENDTIME), "1");
    Shot(w, "sending_zh.png");

    Click(w, IDC_BTN_STOP);
    EXPECT_TRUE(w.ControlEnabled(IDC_BTN_START));
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_STOP));
    EXPECT_TRUE(w.ControlEnabled(IDC_BTN_OPEN));
    EXPECT_TRUE(w.ControlEnabled(IDC_COMBO_NIC));
    for (int i = 0; i < 1000 && TransmissionWorkersRunning() > 0; ++i) w.ProcessEvents(1);
    EXPECT_EQ(TransmissionWorkersRunning(), 0);
    EXPECT_EQ(g_nResult.load(), 0);
    w.PressKey("Escape");
  });
  CWorkDlg dlg;
  dlg.DoModal();
  EXPECT_TRUE(probed);
}
