// The main window and the About box on the Win32 host (run by window_wine.sh on its private
// X display): the template's controls at the places MapDialogRect gives, hidden ones hidden,
// the system menu's About entry, the About box from system commands 16 to 31, Enter and
// Escape, the icons; screenshots (BMP) in the folder given as the first argument.
#include <gtest/gtest.h>

#include <string>

#include "../dialog/scratch.h"
#include "platform/dialog.h"
#include "platform/win32/win32_host.h"
#include "res/dialogs.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

// The system's dots per inch (system_dpi.cpp: <windows.h> stays out of this file, whose names
// it would take for macros).
int SystemDpi();

namespace {

std::string g_shots = ".";

platform::AdapterListStatus FakeList(std::vector<platform::AdapterInfo>& out) {
  out.clear();
  platform::AdapterInfo a;
  a.description = "Intel(R) PRO/1000 MT Network Connection";
  a.ipv4 = "192.168.1.20";
  out.push_back(a);
  return platform::AdapterListStatus::Ok;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::win32::InstallHost(); }
  void SetUp() override {
    ResetTransmissionState();
    g_pfnListAdapters = &FakeList;
    // The archive tool is found, so no prompt comes before the window.
    ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nrar=" + dir.Path("ip.bak") + "\r\n");
  }
  void TearDown() override { g_pfnListAdapters = &platform::ListAdapters; }
  ScratchFolder dir;
};

}  // namespace

TEST_F(Win32WindowTest, MainWindowAboutBoxAndKeys) {
  const platform::DialogTemplate& t = res::WorkDialogTemplate();
  bool probed = false, aboutShown = false;
  platform::win32::OnShow(IDD_WORK_DIALOG, [&](platform::win32::WindowProbe& w) {
    probed = true;
    EXPECT_EQ(w.Title(), "Upgrade Tool(ZR880)");
    platform::win32::Rect client = w.ClientRect();
    platform::win32::Rect whole = w.DialogUnitsToPixels(0, 0, t.cx, t.cy);
    EXPECT_EQ(client.width, whole.width);
    EXPECT_EQ(client.height, whole.height);
    EXPECT_TRUE(w.HasMinimizeBox());
    EXPECT_FALSE(w.HasMaximizeBox());
    EXPECT_FALSE(w.Resizable());
    EXPECT_TRUE(w.HasTaskbarButton());
    EXPECT_TRUE(w.HasIcon(true));
    EXPECT_TRUE(w.HasIcon(false));
    for (std::size_t i = 0; i < t.controlCount; ++i) {
      const platform::ControlTemplate& c = t.controls[i];
      if (c.id == -1) continue;
      platform::win32::Rect want = w.DialogUnitsToPixels(c.x, c.y, c.cx, c.cy);
      platform::win32::Rect r = w.ControlRect(c.id);
      EXPECT_EQ(r.x, want.x) << c.id;
      EXPECT_EQ(r.y, want.y) << c.id;
      EXPECT_EQ(r.width, want.width) << c.id;
      if (c.kind == platform::ControlKind::ComboBox) {
        EXPECT_LT(r.height, want.height) << c.id;  // the closed box; the rest is its list
      } else {
        EXPECT_EQ(r.height, want.height) << c.id;
      }
      EXPECT_EQ(w.ControlVisible(c.id), (c.flags & platform::kCtlHidden) == 0) << c.id;
    }
    EXPECT_EQ(w.ControlClass(IDC_PROGRESS), "msctls_progress32");
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_START));
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_STOP));
    EXPECT_EQ(w.ComboItems(IDC_COMBO_LANGUAGE), (std::vector<std::string>{"English", "中文"}));
    EXPECT_EQ(w.ComboItems(IDC_COMBO_NIC),
              (std::vector<std::string>{"Intel(R) PRO/1000 MT Network Connection...IP:192.168.1.20"}));
    EXPECT_EQ(w.FocusId(), IDC_COMBO_NIC);  // the first tab stop
    EXPECT_EQ(w.Dialog().GetFocusControl(), IDC_COMBO_NIC);

    // The focus as the handlers move it: WM_NEXTDLGCTL gives it to a control; a control
    // disabled while it has it still counts as the focus (the handler then moves it on).
    w.Dialog().GotoDlgCtrl(IDC_BTN_OPEN);
    EXPECT_EQ(w.FocusId(), IDC_BTN_OPEN);
    w.Dialog().EnableControl(IDC_BTN_OPEN, false);
    EXPECT_EQ(w.Dialog().GetFocusControl(), IDC_BTN_OPEN);
    w.Dialog().EnableControl(IDC_BTN_OPEN, true);
    w.Dialog().GotoDlgCtrl(IDC_BTN_REFRESH);
    EXPECT_EQ(w.FocusId(), IDC_BTN_REFRESH);
    EXPECT_EQ(w.Dialog().GetFocusControl(), IDC_BTN_REFRESH);
    // A disabled path field with a path in it, for the look in the screenshot.
    w.Dialog().SetDlgItemText(IDC_EDIT_PATH, "C:\\Firmware\\ZR880\\upgrade.bin");
    w.Dialog().SetDlgItemText(IDC_EDIT_PACKETNO, "4294967294");
    w.Dialog().GotoDlgCtrl(IDC_COMBO_NIC);

    std::vector<std::string> menu = w.SystemMenu();
    ASSERT_GE(menu.size(), 2u);
    EXPECT_EQ(menu[menu.size() - 2], "-");
    EXPECT_EQ(menu.back(), "About KAV(&A)...");
    w.ProcessEvents(100);
    EXPECT_TRUE(w.SaveScreenshot(g_shots + "/win32_main_window.bmp"));

    // System commands 16 to 31 open the About box; Enter (OK is its default button) ends it.
    for (unsigned id : {16u, 31u}) {
      platform::win32::OnShow(IDD_ABOUTBOX, [&](platform::win32::WindowProbe& about) {
        aboutShown = true;
        EXPECT_EQ(about.Title(), "About");
        EXPECT_TRUE(about.ControlVisible(platform::IDOK));
        if (id == 16) {
          EXPECT_TRUE(about.SaveScreenshot(g_shots + "/win32_about_box.bmp"));
        }
        about.PressKey("Enter");
      });
      platform::EventArgs a;
      a.nID = id;
      aboutShown = false;
      w.Dialog().Dispatch(platform::EventKind::SysCommand, 0, a);
      EXPECT_TRUE(aboutShown) << id;
    }

    w.PressKey("Enter");  // the adapter box has the focus: nothing happens
    w.ProcessEvents(50);
    EXPECT_EQ(w.Title(), "Upgrade Tool(ZR880)");
    w.PressKey("Escape");
  });
  CWorkDlg dlg;
  EXPECT_EQ(dlg.DoModal(), platform::IDCANCEL);
  EXPECT_TRUE(probed);
}

// The banner grows with the dialog: at 96 DPI its bitmap's own 700 x 99 pixels; at every DPI
// the pixels of the 400 x 53 dialog units the template gives it, within 2 per cent, which the
// dialog font of the window test's Wine prefix makes exactly 700 x 99 at 96 DPI. Run by
// dpi_wine.sh at 96, 144 and 192 DPI; a screenshot of each.
TEST_F(Win32WindowTest, TheBannerScalesWithTheDialog) {
  const int dpi = SystemDpi();
  bool probed = false;
  platform::win32::OnShow(IDD_WORK_DIALOG, [&](platform::win32::WindowProbe& w) {
    probed = true;
    const platform::win32::Rect banner = w.ControlRect(0x7000);  // the first control without an id
    const platform::win32::Rect units = w.DialogUnitsToPixels(0, 0, 400, 53);
    if (dpi == 96) {
      EXPECT_EQ(banner.width, 700);
      EXPECT_EQ(banner.height, 99);
    }
    EXPECT_NEAR(banner.width, units.width, units.width * 0.02) << dpi << " DPI";
    EXPECT_NEAR(banner.height, units.height, units.height * 0.02) << dpi << " DPI";
    EXPECT_TRUE(w.SaveScreenshot(g_shots + "/win32_banner_" + std::to_string(dpi) + "dpi.bmp"));
    w.PressKey("Escape");
  });
  CWorkDlg dlg;
  EXPECT_EQ(dlg.DoModal(), platform::IDCANCEL);
  EXPECT_TRUE(probed);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) g_shots = argv[1];
  return RUN_ALL_TESTS();
}
