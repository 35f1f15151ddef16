// The main window and the About box on the Qt host under the offscreen platform: fixed
// size, controls at their places by dialog units, hidden ones hidden, tab order, the
// context menu standing in for the system menu, keys; screenshots go to the build folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "window_support.h"
#include "platform/dialog.h"
#include "platform/qt/qt_host.h"
#include "res/dialogs.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

#ifndef UPGRADE_SHOTS_DIR
#define UPGRADE_SHOTS_DIR "."
#endif

namespace {

int MulDiv(int a, int b, int c) { return static_cast<int>((static_cast<long long>(a) * b + c / 2) / c); }

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


class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    window_test::InstallOffscreenHost("window_test");
  }
  void SetUp() override {
    ResetTransmissionState();
    g_pfnListAdapters = &FakeList;
    window_test::PlaceArchiveTool(dir);
  }
  void TearDown() override {
    g_pfnListAdapters = &platform::ListAdapters;
    g_pfnDefaultArchiveToolPath = &DefaultArchiveToolPath;
  }
  ScratchFolder dir;
};

}  // namespace

TEST_F(WindowTest, MainWindowOpensAtItsFixedSizeWithItsControlsInPlace) {
  const platform::DialogTemplate& t = res::WorkDialogTemplate();
  bool probed = false;
  platform::qt::OnShow(IDD_WORK_DIALOG, [&](platform::qt::WindowProbe& w) {
    probed = true;
    const int bx = w.BaseUnitX(), by = w.BaseUnitY();
    EXPECT_GE(bx, 4);
    EXPECT_LE(bx, 9);
    EXPECT_GE(by, 12);
    EXPECT_LE(by, 20);
    std::string face = w.FontFamily();
    EXPECT_TRUE(face == "Times New Roman" || face == "Liberation Serif") << face;
    EXPECT_EQ(w.Title(), "Upgrade Tool(ZR880)");
    platform::qt::Rect client = w.ClientRect();
    EXPECT_EQ(client.width, MulDiv(t.cx, bx, 4));
    EXPECT_EQ(client.height, MulDiv(t.cy, by, 8));
    EXPECT_TRUE(w.FixedSize());
    EXPECT_TRUE(w.HasMinimizeButton());
    EXPECT_FALSE(w.HasMaximizeButton());

    for (std::size_t i = 0; i < t.controlCount; ++i) {
      const platform::ControlTemplate& c = t.controls[i];
      if (c.id == -1) continue;
      platform::qt::Rect r = w.ControlRect(c.id);
      EXPECT_EQ(r.x, MulDiv(c.x, bx, 4)) << c.id;
      EXPECT_EQ(r.y, MulDiv(c.y, by, 8)) << c.id;
      EXPECT_EQ(r.width, MulDiv(c.cx, bx, 4)) << c.id;
      if (c.kind == platform::ControlKind::ComboBox) {
        EXPECT_LT(r.height, MulDiv(c.cy, by, 8)) << c.id;  // the closed box; the rest is its list
        EXPECT_GE(w.ComboDropDownRows(c.id), 1) << c.id;
      } else {
        EXPECT_EQ(r.height, MulDiv(c.cy, by, 8)) << c.id;
      }
      EXPECT_EQ(w.ControlVisible(c.id), (c.flags & platform::kCtlHidden) == 0) << c.id;
    }
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_START));
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_STOP));
    EXPECT_TRUE(w.ControlEnabled(IDC_BTN_OPEN));
    EXPECT_FALSE(w.ControlEnabled(IDC_EDIT_PATH));
    EXPECT_EQ(w.ControlText(IDC_COMBO_NIC), "eth0 Intel Corporation 82574L...IP:192.168.1.20");
    EXPECT_EQ(w.ControlClass(IDC_COMBO_NIC), "QComboBox");
    EXPECT_EQ(w.ControlClass(IDC_CHECK_FORCE), "QCheckBox");

    std::vector<int> tabs;
    for (std::size_t i = 0; i < t.controlCount; ++i)
      if ((t.controls[i].flags & platform::kCtlTabStop)) tabs.push_back(t.controls[i].id);
    EXPECT_EQ(w.TabOrder(), tabs);

    std::vector<std::string> menu = w.ContextMenu();
    ASSERT_GE(menu.size(), 2u);
    EXPECT_EQ(menu[menu.size() - 2], "-");
    EXPECT_EQ(menu.back(), "About KAV(&A)...");

    EXPECT_TRUE(w.SaveScreenshot(UPGRADE_SHOTS_DIR "/main_window.png"));

    // The About box from the system command, on top of the window.
    platform::qt::OnShow(IDD_ABOUTBOX, [&](platform::qt::WindowProbe& about) {
      EXPECT_EQ(about.Title(), "About");
      EXPECT_TRUE(about.ControlVisible(platform::IDOK));
      EXPECT_TRUE(about.SaveScreenshot(UPGRADE_SHOTS_DIR "/about_box.png"));
      about.PressKey("Enter");  // OK is the default button
    });
    platform::EventArgs a;
    a.nID = 16;
    w.Dialog().Dispatch(platform::EventKind::SysCommand, 0, a);

    w.PressKey("Enter");  // the adapter box has the focus: nothing happens
    w.ProcessEvents(20);
    EXPECT_TRUE(w.ControlVisible(IDC_BTN_OPEN));
    w.PressKey("Escape");
  });
  CWorkDlg dlg;
  EXPECT_EQ(dlg.DoModal(), platform::IDCANCEL);
  EXPECT_TRUE(probed);
}
