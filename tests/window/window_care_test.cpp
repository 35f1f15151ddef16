// What an operator at a desktop meets in the Qt window, offscreen: readable disabled fields,
// Qt's own texts in the operator's language, the focus after Open, Start and Stop pressed
// with Space, a banner drawn sharp at the screen's scale, the first start in a folder that
// cannot keep the settings (centred boxes, then the main window), and a missing Chinese
// font said once. Screenshots go to the build folder, named by scale and language; the
// program runs once per scale (QT_SCALE_FACTOR 1, 1.5 and 2).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "window_support.h"
#include "platform/dialog.h"
#include "platform/qt/qt_host.h"
#include "res/artwork.h"
#include "res/texts.h"
#include "tools/mkfile/builder.h"
#include "transmit/sender.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

#ifndef UPGRADE_SHOTS_DIR
#define UPGRADE_SHOTS_DIR "."
#endif

namespace {

using window_test::g_strRar;

platform::AdapterListStatus NoAdapters(std::vector<platform::AdapterInfo>& out) {
  out.clear();
  return platform::AdapterListStatus::NoAdapters;
}
platform::AdapterListStatus TwoAdapters(std::vector<platform::AdapterInfo>& out) {
  out.clear();
  for (auto [d, ip] : {std::pair{"eth0 Intel Corporation 82574L", "192.168.1.20"}, std::pair{"wlan0", "0.0.0.0"}}) {
    platform::AdapterInfo a;
    a.description = d;
    a.ipv4 = ip;
    out.push_back(a);
  }
  return platform::AdapterListStatus::Ok;
}

// A worker that sends nothing and ends when it is stopped.
std::uint32_t IdleWorker(std::intptr_t) {
  while (g_nRunState != RUN_STOPPED) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 0;
}

double Luminance(std::uint32_t argb) {
  auto ch = [](std::uint32_t v) {
    const double c = v / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * ch((argb >> 16) & 0xFF) + 0.7152 * ch((argb >> 8) & 0xFF) + 0.0722 * ch(argb & 0xFF);
}

// The contrast of a drawn text field: its most frequent colour (the background) against
// the colour farthest from it in luminance (the text's strokes).
double DrawnContrast(const platform::Image& img) {
  std::map<std::uint32_t, int> count;
  for (std::uint32_t p : img.argb) ++count[p | 0xFF000000u];
  const std::uint32_t background =
      std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
  const double lb = Luminance(background);
  double best = 1;
  for (auto& [p, n] : count) {
    const double l = Luminance(p);
    best = std::max(best, (std::max(l, lb) + 0.05) / (std::min(l, lb) + 0.05));
  }
  return best;
}

std::string ScaleName() {
  const char* s = std::getenv("QT_SCALE_FACTOR");
  return std::string("x") + (s && *s ? s : "1");
}

class WindowCareTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    window_test::InstallOffscreenHost("window_care_test");
  }
  void SetUp() override {
    ResetTransmissionState();
    window_test::PlaceArchiveTool(dir);
    g_pfnListAdapters = &TwoAdapters;
    mkfile::SPackagePlan p;
    p.strVersion = "2.4.1";
    for (const char* unit : {"BOOT", "ROUTER", "MODEM"}) {
      mkfile::SUnitPlan u;
      u.strName = unit;
      p.units.push_back(u);
    }
    p.qwSize = 0x10000;
    package = dir.Path("upgrade.bin");
    ASSERT_TRUE(mkfile::BuildPackage(p).WriteTo(package));
  }
  void TearDown() override {
    g_bSending = 0;
    g_nRunState = RUN_STOPPED;
    for (int i = 0; i < 2000 && TransmissionWorkersRunning() > 0; ++i) QApplication::processEvents(QEventLoop::AllEvents, 1);
    g_pfnListAdapters = &platform::ListAdapters;
    g_pfnDefaultArchiveToolPath = &DefaultArchiveToolPath;
    g_pfnTransmissionProc = &TransmissionThreadProc;
    platform::SetHostLanguage(0);
    ResetTransmissionState();
  }

  // Runs the main window with this probe.
  static void Run(std::function<void(platform::qt::WindowProbe&)> probe) {
    platform::qt::OnShow(IDD_WORK_DIALOG, std::move(probe));
    CWorkDlg dlg;
    dlg.DoModal();
  }
  // Answers every modal window that comes up while `act` runs: boxes with OK, the file
  // dialog with `file`; each is recorded as it was shown, and saved as a picture when
  // shotPrefix is given.
  struct Shown {
    std::string kind;  // "box" or "file"
    std::string text;
    std::string okText;
    QRect frame;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
  };
  std::vector<Shown> AnswerModals(const std::string& file, std::function<void()> act, const std::string& shotPrefix = "") {
    std::vector<Shown> shown;
    QTimer poll;
    QWidget* last = nullptr;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* m = QApplication::activeModalWidget();
      if (!m || m == last || !m->isVisible()) return;
      auto* box = qobject_cast<QMessageBox*>(m);
      auto* fd = qobject_cast<QFileDialog*>(m);
      if (!box && !fd) return;
      last = m;
      Shown s;
      s.kind = box ? "box" : "file";
      s.frame = m->frameGeometry();
      if (box) {
        s.text = box->text().toStdString();
        s.icon = box->icon();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) s.okText = ok->text().toStdString();
      }
      if (!shotPrefix.empty())
        m->grab().save(QString::fromStdString(std::string(UPGRADE_SHOTS_DIR "/") + shotPrefix + "_" +
                                              std::to_string(shown.size() + 1) + "_" + s.kind + ".png"));
      shown.push_back(s);
      if (box) {
        box->accept();
      } else {
        if (auto* edit = fd->findChild<QLineEdit*>("fileNameEdit")) edit->setText(QString::fromStdString(file));
        static_cast<QDialog*>(fd)->accept();
      }
    });
    poll.start(20);
    act();
    return shown;
  }

  ScratchFolder dir;
  std::string package;
};

}  // namespace

// The file path and the counters are disabled edit fields; their text stays readable.
TEST_F(WindowCareTest, DisabledFieldsAreReadable) {
  Run([&](platform::qt::WindowProbe& w) {
    for (int id : {IDC_EDIT_PATH, IDC_EDIT_SENDTIME, IDC_EDIT_PACKETNO}) {
      ASSERT_FALSE(w.ControlEnabled(id)) << id;
      w.Dialog().SetDlgItemText(id, "/home/operator/4294967294.bin");
      w.ProcessEvents(20);
      const double contrast = DrawnContrast(w.GrabControl(id));
      EXPECT_GE(contrast, 4.5) << "control " << id;
    }
    w.Dialog().EndDialog(platform::IDCANCEL);
  });
}

// The waiting text fits in the datagram field in both languages (the field is 40 dialog
// units wide).
TEST_F(WindowCareTest, TheWaitingTextFitsItsField) {
  Run([&](platform::qt::WindowProbe& w) {
    for (int language : {0, 1}) {
      const QString text = QString::fromUtf8(texts::MessageText(texts::Message::WaitingForAdapter, language));
      w.Dialog().SetDlgItemText(IDC_EDIT_PACKETNO, text.toStdString());
      QLineEdit* field = nullptr;
      for (QWidget* top : QApplication::topLevelWidgets())
        for (QLineEdit* e : top->findChildren<QLineEdit*>())
          if (e->text() == text && !e->isEnabled()) field = e;
      ASSERT_NE(field, nullptr) << language;
      const int room = field->contentsRect().width() - 4;  // the line edit's own margins
      EXPECT_LE(field->fontMetrics().horizontalAdvance(text), room) << text.toStdString();
    }
    w.Dialog().EndDialog(platform::IDCANCEL);
  });
}

// Standard buttons and the file dialog speak Chinese while Chinese is chosen, and English
// again once English is chosen, in the same run.
TEST_F(WindowCareTest, QtsOwnTextsFollowTheLanguage) {
  auto okText = [] {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok);
    return box.button(QMessageBox::Ok)->text().remove('&').toStdString();
  };
  auto cancelText = [] {
    QFileDialog d;
    d.setOption(QFileDialog::DontUseNativeDialog, true);
    auto* buttons = d.findChild<QDialogButtonBox*>("buttonBox");
    QPushButton* cancel = buttons ? buttons->button(QDialogButtonBox::Cancel) : nullptr;
    return cancel ? cancel->text().remove('&').toStdString() : std::string("(none)");
  };
  EXPECT_EQ(okText(), "OK");
  platform::SetHostLanguage(1);
  EXPECT_EQ(okText(), "确定");
  EXPECT_EQ(cancelText(), "取消");
  platform::SetHostLanguage(0);
  EXPECT_EQ(okText(), "OK");
  EXPECT_EQ(cancelText(), "Cancel");
}

// Open, Start and Stop pressed with Space: each time the next control gets the focus, so
// that the next Space never ticks Force Upgrade.
TEST_F(WindowCareTest, SpaceNeverTicksForceUpgrade) {
  g_pfnListAdapters = &NoAdapters;  // Start names no adapter
  g_pfnTransmissionProc = &IdleWorker;
  Run([&](platform::qt::WindowProbe& w) {
    w.Dialog().GotoDlgCtrl(IDC_BTN_OPEN);
    AnswerModals(package, [&] { w.PressKey("Space"); });
    w.ProcessEvents(50);
    ASSERT_TRUE(w.ControlEnabled(IDC_BTN_START));
    EXPECT_EQ(w.FocusControl(), IDC_BTN_START);
    struct Step {
      const char* name;
      int focus;
    } steps[] = {{"Space on Start", IDC_BTN_STOP}, {"Space on Stop", IDC_BTN_START}, {"Space on Start", IDC_BTN_STOP}};
    for (const Step& s : steps) {
      w.PressKey("Space");
      w.ProcessEvents(30);
      EXPECT_EQ(w.FocusControl(), s.focus) << s.name;
      EXPECT_EQ(w.Dialog().Window()->GetCheck(IDC_CHECK_FORCE), 0) << s.name;
    }
    EXPECT_FALSE(w.ControlEnabled(IDC_BTN_START));  // the last Space started a transmission
    w.PressKey("Space");                             // and this one stops it
    EXPECT_EQ(w.Dialog().Window()->GetCheck(IDC_CHECK_FORCE), 0);
    EXPECT_EQ(g_bForceUpgrade.load(), 0);
    w.Dialog().EndDialog(platform::IDCANCEL);
  });
}

// The banner at the screen's scale is the artwork drawn at that scale, pixel for pixel;
// the window is saved in both languages at this scale.
TEST_F(WindowCareTest, SharpBannerAndScreenshotsAtThisScale) {
  Run([&](platform::qt::WindowProbe& w) {
    const double dpr = qApp->primaryScreen()->devicePixelRatio();
    const int percent = static_cast<int>(std::lround(dpr * 100));
    const platform::Image drawn = w.GrabControl(-1000);  // the banner, the first control without an id
    const platform::Image expected = res::DrawBanner(percent / 100.0, percent / 100.0);
    ASSERT_GE(drawn.width, expected.width - 1);
    int differing = 0;
    const int rows = std::min(drawn.height, expected.height) - 1, cols = std::min(drawn.width, expected.width);
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) {
        const std::uint32_t a = drawn.argb[static_cast<std::size_t>(y * drawn.width + x)];
        const std::uint32_t b = expected.argb[static_cast<std::size_t>(y * expected.width + x)];
        for (int shift : {0, 8, 16})
          if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 2) {
            ++differing;
            break;
          }
      }
    EXPECT_LT(differing, cols * rows / 1000) << "of " << cols * rows << " pixels at scale " << dpr;

    w.Dialog().SetDlgItemText(IDC_EDIT_PATH, package);
    EXPECT_TRUE(w.SaveScreenshot(UPGRADE_SHOTS_DIR "/care_main_en_" + ScaleName() + ".png"));
    w.Dialog().Window()->ComboSetCurSel(IDC_COMBO_LANGUAGE, 1);
    w.Dialog().Dispatch(platform::EventKind::SelChange, IDC_COMBO_LANGUAGE);
    w.ProcessEvents(50);
    EXPECT_TRUE(w.SaveScreenshot(UPGRADE_SHOTS_DIR "/care_main_zh_" + ScaleName() + ".png"));
    w.Dialog().EndDialog(platform::IDCANCEL);
  });
}

// The first start in a folder that cannot keep the settings: the prompt and the file dialog
// centred on the screen (the main window is not there yet), one note naming the folder, then
// the main window, in each language.
TEST_F(WindowCareTest, FirstStartWhereTheSettingsCannotBeKept) {
  for (int language : {0, 1}) {
    SCOPED_TRACE(language);
    dir.FreshRuntime();
    std::error_code ec;
    std::filesystem::permissions(dir.Path("ip.bak"), std::filesystem::perms::owner_all, ec);
    std::filesystem::remove(dir.Path("ip.bak"), ec);
    ScratchFolder::Write(dir.Path("ip.bak"), "[ip]\r\nlanguage=" + std::to_string(language) + "\r\n");
    std::filesystem::permissions(dir.Path("ip.bak"), std::filesystem::perms::owner_read);  // read-only
    g_strRar = dir.Path("not-installed");
    bool reached = false;
    const std::string prefix = std::string("care_first_start_") + (language ? "zh_" : "en_") + ScaleName();
    const auto shown = AnswerModals(
        package,  // any existing file stands for the archive tool
        [&] {
          Run([&](platform::qt::WindowProbe& w) {
            reached = true;
            EXPECT_TRUE(w.SaveScreenshot(UPGRADE_SHOTS_DIR "/" + prefix + "_4_main.png"));
            w.Dialog().EndDialog(platform::IDCANCEL);
          });
        },
        prefix);
    EXPECT_TRUE(reached);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].kind, "box");
    EXPECT_EQ(shown[1].kind, "file");
    EXPECT_EQ(shown[2].kind, "box");
    EXPECT_NE(shown[2].text.find(dir.Dir()), std::string::npos) << shown[2].text;
    EXPECT_EQ(shown[0].okText, language ? "确定" : "OK");
    const QRect screen = qApp->primaryScreen()->availableGeometry();
    EXPECT_EQ(shown[0].icon, QMessageBox::NoIcon);  // the dialog's boxes are of type 0
    EXPECT_EQ(shown[2].icon, QMessageBox::NoIcon);
    for (const Shown& s : shown) {
      EXPECT_GE(s.frame.top(), screen.top()) << s.kind;
      EXPECT_LE(std::abs(s.frame.center().x() - screen.center().x()), 2)
          << s.kind << " frame " << s.frame.x() << "," << s.frame.y() << " " << s.frame.width() << "x" << s.frame.height()
          << " screen " << screen.width() << "x" << screen.height();
    }
  }
}

// The application's own box (the socket start-up failure) has the exclamation mark that the
// framework adds to an OK box, and is centred, as no window is there yet.
TEST_F(WindowCareTest, TheApplicationsBoxShowsItsIcon) {
  const auto shown = AnswerModals("", [] { platform::GetDialogHost()->ApplicationMessageBox("Windows init error", "upgrade"); });
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Windows init error");
  EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
  EXPECT_LE(std::abs(shown[0].frame.center().x() - qApp->primaryScreen()->availableGeometry().center().x()), 2);
}

// With Chinese chosen and no font that shows it, one line on standard error names the font
// package, once per run (the ctest entry with a font set without Chinese sets
// UPGRADE_TEST_NO_CJK); with such a font, nothing is said.
TEST_F(WindowCareTest, AMissingChineseFontIsSaidOnce) {
  const bool noCjk = std::getenv("UPGRADE_TEST_NO_CJK") != nullptr;
  testing::internal::CaptureStderr();
  platform::SetHostLanguage(1);
  platform::SetHostLanguage(0);
  platform::SetHostLanguage(1);
  const std::string said = testing::internal::GetCapturedStderr();
  if (noCjk) {
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("fonts-noto-cjk"), std::string::npos) << said;
  } else {
    EXPECT_EQ(said, "");
  }
}
