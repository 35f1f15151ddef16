// The Qt host: draws a dialog template with widgets placed by dialog units of the dialog's
// font, computed as Windows computes them, and runs each dialog modally in an event loop.
#include "platform/qt/qt_host.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <deque>
#include <map>

#include "platform/app.h"
#include "platform/msgbox.h"

namespace platform::qt {
namespace {

QString U(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString U(const char* s) { return QString::fromUtf8(s ? s : ""); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

// A static text's window text as it was set, '&' included (the label shows it without).
constexpr const char* kWindowTextProperty = "upgradeWindowText";

int MulDiv(int a, int b, int c) {
  long long p = static_cast<long long>(a) * b;
  long long q = p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
  return static_cast<int>(q);
}

QImage ToQImage(const Image& img) {
  QImage q(img.width, img.height, QImage::Format_ARGB32);
  for (int y = 0; y < img.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(q.scanLine(y));
    for (int x = 0; x < img.width; ++x) line[x] = img.argb[static_cast<std::size_t>(y * img.width + x)];
  }
  return q;
}

const Image* IconOfSize(IconHandle icon, int size) {
  if (!icon || icon->sizes.empty()) return nullptr;
  const Image* best = &icon->sizes.front();
  for (const Image& i : icon->sizes)
    if (i.width == size) return &i;
  return best;
}

QIcon ToQIcon(IconHandle icon) {
  QIcon q;
  if (icon)
    for (const Image& i : icon->sizes) q.addPixmap(QPixmap::fromImage(ToQImage(i)));
  return q;
}

// The dialog font: the template's face, then its metric twins and a CJK face.
QFont DialogFont(const DialogTemplate& t) {
  QStringList faces{U(t.fontFace)};
  const std::string face = t.fontFace ? t.fontFace : "";
  if (face == "Times New Roman") faces << "Liberation Serif";
  if (face == "宋体") faces << "SimSun" << "Noto Serif CJK SC";
  faces << "Noto Serif CJK SC" << "Noto Sans CJK SC";
  QFont f;
  f.setFamilies(faces);
  qreal dpi = 96;
  if (QScreen* s = QGuiApplication::primaryScreen()) dpi = s->logicalDotsPerInchY();
  f.setPixelSize(MulDiv(t.pointSize, static_cast<int>(dpi + 0.5), 72));
  f.setWeight(QFont::Normal);
  return f;
}

// Qt's name filter for one Windows pattern list: "*.*" is every name, letters in either case.
QString QtPatterns(const std::string& patterns) {
  QStringList out;
  for (const QString& p : U(patterns).split(';', Qt::SkipEmptyParts)) {
    QString t = p.trimmed();
    if (t == "*.*") {
      out << "*";
      continue;
    }
    QString g;
    for (QChar c : t) {
      if (c.isLetter() && c.toLower() != c.toUpper())
        g += QString("[%1%2]").arg(c.toLower()).arg(c.toUpper());
      else
        g += c;
    }
    out << g;
  }
  return out.join(' ');
}

// The contrast ratio of two colours as the web's accessibility guidelines define it
// (relative luminance of sRGB), from 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b) {
  auto lum = [](const QColor& c) {
    auto ch = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
  };
  const double la = lum(a), lb = lum(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A disabled edit field's text as Windows draws it, in the system's grey text colour
// (109, 109, 109), darkened where the style's background would leave less than 4.5:1 (with
// a margin of 0.1 for rounding in the drawing).
void MakeDisabledTextReadable(QWidget* w) {
  QPalette pal = w->palette();
  const QColor background = pal.color(QPalette::Disabled, w->backgroundRole());
  QColor text(109, 109, 109);
  while (ContrastRatio(text, background) < 4.6 && text.value() > 0) text = text.darker(110);
  pal.setColor(QPalette::Disabled, QPalette::Text, text);
  pal.setColor(QPalette::Disabled, QPalette::WindowText, text);
  w->setPalette(pal);
}

// A window shown with no visible owner (a box or the file dialog asked for while the main
// window is still being initialised) is centred on the screen, its title bar on screen.
class CentreOnShow : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Show && o->isWidgetType()) {
      auto* w = static_cast<QWidget*>(o);
      Centre(w);
      // A box fits its size to its text in its own show handling, after this filter: once
      // more when that is done.
      QMetaObject::invokeMethod(w, [w] { Centre(w); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  static void Centre(QWidget* w) {
    if (QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      QRect frame = w->frameGeometry();
      frame.moveCenter(area.center());
      frame.moveTop(std::max(frame.top(), area.top()));
      w->move(frame.topLeft());
    }
  }
};

// The owner a box or a file dialog gets: the window when it is shown, else none (the new
// window is then centred on the screen, not over a window that is not there yet).
QWidget* ShownOwner(QWidget* owner) { return owner && owner->isVisible() ? owner : nullptr; }
void CentreWithoutOwner(QWidget* w) {
  if (!w->parentWidget()) w->installEventFilter(new CentreOnShow(w));
}

class QtHost;
QtHost* g_pHost = nullptr;
std::map<int, std::deque<std::function<void(WindowProbe&)>>> g_probes;

class QtDialogWindow : public QWidget, public DialogWindow, public WindowProbe {
 public:
  QtDialogWindow(CDialog& dlg, QWidget* owner);
  ~QtDialogWindow() override;

  int Run();

  // DialogWindow
  // Qt moves the focus of a widget it disables on to the next one in the tab order (after
  // Start or Stop the force check box, where Space would tick it). Here the focus rests on
  // the window itself instead, where no key does anything (Windows leaves it nowhere), and
  // the disabled control still counts as the focus until the dialog gives it to a control.
  void EnableControl(int id, bool enable) override {
    QWidget* w = Widget(id);
    if (!w) return;
    QWidget* f = focusWidget();
    const bool bHadFocus = !enable && w->isEnabled() && f != nullptr && (f == w || w->isAncestorOf(f));
    w->setEnabled(enable);
    if (bHadFocus) {
      setFocus(Qt::OtherFocusReason);
      m_nRestingFocus = id;
    }
  }
  int GetFocusControl() const override {
    QWidget* f = focusWidget();
    if (m_nRestingFocus != 0 && (f == nullptr || f == this)) return m_nRestingFocus;
    for (auto& [id, w] : m_widgets)
      if (f != nullptr && (w == f || w->isAncestorOf(f))) return id;
    return 0;
  }
  void SetFocusControl(int id) override {
    if (QWidget* w = Widget(id)) {
      m_nRestingFocus = 0;
      w->setFocus(Qt::TabFocusReason);
    }
  }
  bool IsControlEnabled(int id) const override {
    QWidget* w = Widget(id);
    return w && w->isEnabled();
  }
  bool IsControlVisible(int id) const override {
    QWidget* w = Widget(id);
    return w && w->isVisible();
  }
  void SetControlText(int id, const std::string& text) override;
  std::string GetControlText(int id) const override;
  void ComboResetContent(int id) override;
  int ComboAddString(int id, const std::string& text) override;
  int ComboGetCount(int id) const override {
    QComboBox* c = Combo(id);
    return c ? c->count() : 0;
  }
  int ComboSetCurSel(int id, int index) override;
  int ComboGetCurSel(int id) const override {
    QComboBox* c = Combo(id);
    return c ? (c->currentIndex() < 0 ? CB_ERR : c->currentIndex()) : CB_ERR;
  }
  std::string ComboGetItemText(int id, int index) const override {
    QComboBox* c = Combo(id);
    return (c && index >= 0 && index < c->count()) ? S(c->itemText(index)) : std::string();
  }
  void SetProgressPos(int id, int pos) override {
    if (auto* p = qobject_cast<QProgressBar*>(Widget(id))) p->setValue(pos < 0 ? 0 : (pos > 100 ? 100 : pos));
  }
  int GetProgressPos(int id) const override {
    auto* p = qobject_cast<QProgressBar*>(Widget(id));
    return p ? p->value() : 0;
  }
  void RepaintControl(int id) override {
    if (QWidget* w = Widget(id)) w->repaint();
  }
  int GetCheck(int id) const override {
    auto* c = qobject_cast<QCheckBox*>(Widget(id));
    return c && c->isChecked() ? 1 : 0;
  }
  void SetCheck(int id, int state) override {
    if (auto* c = qobject_cast<QCheckBox*>(Widget(id))) c->setChecked(state != 0);
  }
  void SetTimer(unsigned id, unsigned ms) override;
  void KillTimer(unsigned id) override;
  int MessageBox(const std::string& text, const std::string& caption) override;
  bool GetOpenFileName(const std::string& filter, std::string& path) override;
  void SetIcon(IconHandle icon, bool big) override {
    if (big || windowIcon().isNull()) setWindowIcon(ToQIcon(icon));
  }
  bool HasSystemMenu() const override { return (m_dlg.Template().flags & kDlgSysMenu) != 0; }
  void AppendSystemMenuSeparator() override { m_menu.push_back({true, 0, {}}); }
  void AppendSystemMenuItem(unsigned commandId, const std::string& text) override {
    m_menu.push_back({false, commandId, text});
  }
  void DefaultSysCommand(unsigned id, std::intptr_t) override {
    unsigned c = id & 0xFFF0u;
    if (c == SC_MINIMIZE && (m_dlg.Template().flags & kDlgMinimizeBox)) showMinimized();
    if (c == SC_RESTORE) showNormal();
  }
  bool IsIconic() const override { return isMinimized(); }
  ClientSize GetClientSize() const override { return {width(), height()}; }
  int SystemIconSize() const override { return 32; }
  void EraseIconBackground() override {
    if (m_painter) m_painter->fillRect(rect(), palette().window());
  }
  void DrawIcon(int x, int y, IconHandle icon) override {
    if (const Image* i = IconOfSize(icon, 32); i && m_painter) m_painter->drawImage(x, y, ToQImage(*i));
  }
  void DefaultPaint() override {}
  void EndDialog(int result) override {
    if (m_ended) return;
    m_ended = true;
    m_result = result;
    m_loop.quit();
  }

  // WindowProbe
  CDialog& Dialog() override { return m_dlg; }
  Rect ControlRect(int id) const override {
    QWidget* w = Widget(id);
    if (!w) return {};
    QRect r = w->geometry();
    return {r.x(), r.y(), r.width(), r.height()};
  }
  int ComboDropDownRows(int id) const override {
    QComboBox* c = Combo(id);
    return c ? c->maxVisibleItems() : 0;
  }
  bool ControlVisible(int id) const override { return IsControlVisible(id); }
  bool ControlEnabled(int id) const override { return IsControlEnabled(id); }
  std::string ControlText(int id) const override { return GetControlText(id); }
  std::string ControlClass(int id) const override {
    QWidget* w = Widget(id);
    return w ? w->metaObject()->className() : std::string();
  }
  Rect ClientRect() const override { return {0, 0, width(), height()}; }
  bool FixedSize() const override { return minimumSize() == maximumSize() && minimumSize() == size(); }
  bool HasMinimizeButton() const override { return windowFlags().testFlag(Qt::WindowMinimizeButtonHint); }
  bool HasMaximizeButton() const override { return windowFlags().testFlag(Qt::WindowMaximizeButtonHint); }
  std::string Title() const override { return S(windowTitle()); }
  std::string FontFamily() const override { return S(QFontInfo(font()).family()); }
  int BaseUnitX() const override { return m_baseX; }
  int BaseUnitY() const override { return m_baseY; }
  std::vector<int> TabOrder() const override;
  std::vector<std::string> ContextMenu() const override;
  bool SaveScreenshot(const std::string& path) const override {
    return const_cast<QtDialogWindow*>(this)->grab().save(U(path), "PNG");
  }
  void PressKey(const std::string& key) override;
  int FocusControl() const override { return GetFocusControl(); }
  Image GrabControl(int id) const override {
    Image out;
    QWidget* w = Widget(id);
    if (!w) return out;
    const QImage q = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    out.width = q.width();
    out.height = q.height();
    for (int y = 0; y < q.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(q.constScanLine(y));
      out.argb.insert(out.argb.end(), line, line + q.width());
    }
    return out;
  }
  void ProcessEvents(int ms) override {
    QEventLoop l;
    QTimer::singleShot(ms, &l, &QEventLoop::quit);
    l.exec();
  }

  bool HandleKey(QKeyEvent* e);

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (!m_ended) SysCommand(SC_CLOSE);
  }
  void contextMenuEvent(QContextMenuEvent* e) override;
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    m_painter = &p;
    m_dlg.Dispatch(EventKind::Paint, 0);
    m_painter = nullptr;
  }

 private:
  struct MenuItem {
    bool separator;
    unsigned id;
    std::string text;
  };
  QWidget* Widget(int id) const {
    auto it = m_widgets.find(id);
    return it == m_widgets.end() ? nullptr : it->second;
  }
  QComboBox* Combo(int id) const { return qobject_cast<QComboBox*>(Widget(id)); }
  const ControlTemplate* Tpl(int id) const { return m_dlg.Template().Find(id); }
  void Build();
  QWidget* MakeControl(const ControlTemplate& c, int key);
  QRect Place(const ControlTemplate& c) const {
    return QRect(MulDiv(c.x, m_baseX, 4), MulDiv(c.y, m_baseY, 8), MulDiv(c.cx, m_baseX, 4), MulDiv(c.cy, m_baseY, 8));
  }
  void SysCommand(unsigned id) {
    EventArgs a;
    a.nID = id;
    m_dlg.Dispatch(EventKind::SysCommand, 0, a);
  }

  CDialog& m_dlg;
  std::map<int, QWidget*> m_widgets;
  std::vector<int> m_order;
  std::map<unsigned, QTimer*> m_timers;
  std::vector<MenuItem> m_menu;
  QEventLoop m_loop;
  QPainter* m_painter = nullptr;
  int m_baseX = 6, m_baseY = 13;
  int m_nRestingFocus = 0;  // a control disabled while it had the focus
  bool m_ended = false;
  int m_result = 0;
};

class QtHost : public QObject, public DialogHost {
 public:
  QtHost() {
    SetDialogHost(this);
    SetMessageBoxHandler(&QtHost::Unowned);
    qApp->installEventFilter(this);
  }
  int RunModal(CDialog& dlg, CDialog* owner) override {
    // Without an owner the running dialog on top owns the new one, as Windows takes the
    // active window.
    QWidget* ownerWidget = nullptr;
    if (owner && owner->Window()) ownerWidget = dynamic_cast<QtDialogWindow*>(owner->Window());
    if (!ownerWidget && !m_running.empty()) ownerWidget = m_running.back();
    QtDialogWindow* w = new QtDialogWindow(dlg, ownerWidget);
    m_running.push_back(w);
    int r = w->Run();
    m_running.pop_back();
    delete w;
    return r;
  }
  void ApplicationMessageBox(const std::string& text, const std::string& caption) override {
    ShowBox(nullptr, text, caption, QMessageBox::Warning);
  }

  // Qt's own texts (standard buttons, the file dialog) in Chinese while Chinese is chosen;
  // a missing Chinese font is said once on standard error.
  void SetLanguage(int language) override {
    if (language == 1 && !m_bTranslatorInstalled) {
      if (m_qtTranslator.isEmpty())
        (void)m_qtTranslator.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
      if (!m_qtTranslator.isEmpty()) m_bTranslatorInstalled = QCoreApplication::installTranslator(&m_qtTranslator);
    } else if (language != 1 && m_bTranslatorInstalled) {
      QCoreApplication::removeTranslator(&m_qtTranslator);
      m_bTranslatorInstalled = false;
    }
    if (language == 1 && !m_bToldNoChineseFont &&
        QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty()) {
      m_bToldNoChineseFont = true;
      std::fprintf(stderr, "%s: no installed font shows Chinese; install the package fonts-noto-cjk\n",
                   S(QCoreApplication::applicationName()).c_str());
      std::fflush(stderr);
    }
  }
  [[noreturn]] void ExitProcess(int status) override { std::exit(status); }

  // The dialog's boxes have no icon (their type is 0); the application's box has the
  // exclamation mark that the framework's AfxMessageBox adds to an OK box.
  static void ShowBox(QWidget* owner, const std::string& text, const std::string& caption,
                      QMessageBox::Icon icon = QMessageBox::NoIcon) {
    QMessageBox box(ShownOwner(owner));
    CentreWithoutOwner(&box);
    box.setIcon(icon);
    box.setTextFormat(Qt::PlainText);
    box.setWindowTitle(U(caption));
    box.setText(U(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::KeyPress && watched->isWidgetType()) {
      if (auto* w = dynamic_cast<QtDialogWindow*>(static_cast<QWidget*>(watched)->window()))
        return w->HandleKey(static_cast<QKeyEvent*>(e));
    }
    return false;
  }

 private:
  std::vector<QtDialogWindow*> m_running;
  QTranslator m_qtTranslator;
  bool m_bTranslatorInstalled = false;
  bool m_bToldNoChineseFont = false;
  // The worker's box: carried to the user-interface thread; the caller waits until closed.
  static void Unowned(const char* text, const char* caption) {
    std::string t = text ? text : "", c = caption ? caption : "";
    if (QThread::currentThread() == qApp->thread()) {
      ShowBox(nullptr, t, c);
      return;
    }
    QMetaObject::invokeMethod(qApp, [t, c] { ShowBox(nullptr, t, c); }, Qt::BlockingQueuedConnection);
  }
};

// --- window ---------------------------------------------------------------------------

QtDialogWindow::QtDialogWindow(CDialog& dlg, QWidget* owner)
    : QWidget(owner, owner ? Qt::Dialog : Qt::Window), m_dlg(dlg) {
  const DialogTemplate& t = dlg.Template();
  setFont(DialogFont(t));
  QFontMetrics fm(font());
  m_baseX = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
  m_baseY = fm.height();

  Qt::WindowFlags f = (owner ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint;
  if (t.flags & kDlgCaption) f |= Qt::WindowTitleHint;
  if (t.flags & kDlgSysMenu) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (t.flags & kDlgMinimizeBox) f |= Qt::WindowMinimizeButtonHint;
  if (t.flags & kDlgMaximizeBox) f |= Qt::WindowMaximizeButtonHint;
  setWindowFlags(f);
  if (owner) setWindowModality(Qt::ApplicationModal);
  setWindowTitle(U(t.title));
  QSize client(MulDiv(t.cx, m_baseX, 4), MulDiv(t.cy, m_baseY, 8));
  if (t.flags & kDlgResizable) {
    resize(client);
  } else {
    setFixedSize(client);
  }
  Build();
}

QtDialogWindow::~QtDialogWindow() {
  for (auto& [id, timer] : m_timers) timer->stop();
}

void QtDialogWindow::Build() {
  const DialogTemplate& t = m_dlg.Template();
  int anonymous = -1000;
  QWidget* prevTab = nullptr;
  for (std::size_t i = 0; i < t.controlCount; ++i) {
    const ControlTemplate& c = t.controls[i];
    int key = c.id == -1 ? anonymous-- : c.id;
    QWidget* w = MakeControl(c, key);
    m_widgets[key] = w;
    m_order.push_back(key);
    w->setEnabled((c.flags & kCtlDisabled) == 0);
    w->setHidden((c.flags & kCtlHidden) != 0);
    if (c.flags & kCtlTabStop) {
      w->setFocusPolicy(Qt::StrongFocus);
      if (prevTab) QWidget::setTabOrder(prevTab, w);
      prevTab = w;
    }
  }
  // The first control of the template lies on top, as Windows stacks them.
  for (auto it = m_order.rbegin(); it != m_order.rend(); ++it) m_widgets[*it]->raise();
}

QWidget* QtDialogWindow::MakeControl(const ControlTemplate& c, int key) {
  QRect r = Place(c);
  const QString caption = U(c.caption);
  QWidget* w = nullptr;
  switch (c.kind) {
    case ControlKind::ComboBox: {
      auto* box = new QComboBox(this);
      box->setEditable((c.flags & kCtlDropDown) != 0);
      box->setInsertPolicy(QComboBox::NoInsert);
      QFontMetrics fm(font());
      int closed = std::min(r.height(), fm.height() + 8);
      box->setMaxVisibleItems(std::max(1, (r.height() - closed) / std::max(1, fm.height())));
      r.setHeight(closed);
      QObject::connect(box, &QComboBox::activated, this, [this, key](int) { m_dlg.Dispatch(EventKind::SelChange, key); });
      w = box;
      break;
    }
    case ControlKind::PushButton: {
      auto* b = new QPushButton(caption, this);
      b->setAutoDefault(false);
      QObject::connect(b, &QPushButton::clicked, this, [this, key] { m_dlg.Dispatch(EventKind::Command, key); });
      w = b;
      break;
    }
    case ControlKind::CheckBox: {
      auto* b = new QCheckBox(caption, this);
      QObject::connect(b, &QCheckBox::clicked, this, [this, key] { m_dlg.Dispatch(EventKind::Command, key); });
      w = b;
      break;
    }
    case ControlKind::Edit: {
      auto* e = new QLineEdit(this);
      e->setReadOnly((c.flags & kCtlReadOnly) != 0);
      e->setFrame((c.flags & (kCtlBorder | kCtlStaticEdge)) != 0);
      e->setFocusPolicy(Qt::ClickFocus);
      MakeDisabledTextReadable(e);
      w = e;
      break;
    }
    case ControlKind::Progress: {
      auto* p = new QProgressBar(this);
      p->setRange(0, 100);
      p->setValue(0);
      p->setTextVisible(false);
      w = p;
      break;
    }
    case ControlKind::Static: {
      QString text = (c.flags & kCtlNoPrefix) ? caption : U(StripMnemonics(c.caption ? c.caption : ""));
      auto* l = new QLabel(text, this);
      l->setProperty(kWindowTextProperty, caption);
      l->setTextFormat(Qt::PlainText);
      l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      l->setWordWrap(true);
      w = l;
      break;
    }
    case ControlKind::Bitmap: {
      auto* l = new QLabel(this);
      // The control takes its bitmap's size; on a scaled screen the picture is drawn at
      // the screen's scale (as for a screen of that many dots per inch), so that it stays sharp.
      const Image* img = c.picture ? c.picture(96, 96) : nullptr;
      if (img) {
        const int dpi = static_cast<int>(std::lround(devicePixelRatioF() * 96));
        const Image* sharp = dpi > 96 ? c.picture(dpi, dpi) : img;
        QPixmap pixmap = QPixmap::fromImage(ToQImage(*sharp));
        pixmap.setDevicePixelRatio(static_cast<qreal>(sharp->width) / img->width);
        l->setPixmap(pixmap);
        r.setSize(QSize(img->width, img->height));
      }
      w = l;
      break;
    }
    case ControlKind::Icon: {
      auto* l = new QLabel(this);
      if (c.icon)
        if (const Image* img = IconOfSize(c.icon(), 32)) {
          l->setPixmap(QPixmap::fromImage(ToQImage(*img)));
          r.setSize(QSize(img->width, img->height));
        }
      w = l;
      break;
    }
    case ControlKind::GroupBox: {
      auto* g = new QGroupBox(caption, this);
      g->setAttribute(Qt::WA_TransparentForMouseEvents);
      g->setFocusPolicy(Qt::NoFocus);
      w = g;
      break;
    }
  }
  w->setGeometry(r);
  if (c.kind != ControlKind::Edit && !(c.flags & kCtlTabStop) && c.kind != ControlKind::ComboBox &&
      c.kind != ControlKind::PushButton && c.kind != ControlKind::CheckBox)
    w->setFocusPolicy(Qt::NoFocus);
  if (c.kind == ControlKind::ComboBox && !(c.flags & kCtlTabStop)) w->setFocusPolicy(Qt::ClickFocus);
  return w;
}

int QtDialogWindow::Run() {
  m_dlg.AttachWindow(this);
  bool focusFirst = m_dlg.OnInitDialog();
  if (!m_ended) {
    show();
    if (focusFirst) {
      for (int key : m_order) {
        QWidget* w = m_widgets[key];
        if (w->focusPolicy() == Qt::StrongFocus && w->isEnabled() && w->isVisible()) {
          w->setFocus(Qt::OtherFocusReason);
          break;
        }
      }
    }
    auto it = g_probes.find(m_dlg.Template().id);
    if (it != g_probes.end() && !it->second.empty()) {
      auto probe = std::move(it->second.front());
      it->second.pop_front();
      QTimer::singleShot(50, this, [this, probe] { probe(*this); });
    }
    if (!m_ended) m_loop.exec();
  }
  hide();
  m_dlg.DestroyWindow();
  m_dlg.AttachWindow(nullptr);
  return m_result;
}

void QtDialogWindow::SetControlText(int id, const std::string& text) {
  QWidget* w = Widget(id);
  const ControlTemplate* c = Tpl(id);
  if (!w || !c) return;
  QString t = U(text);
  if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setProperty(kWindowTextProperty, t);
    l->setText((c->flags & kCtlNoPrefix) ? t : U(StripMnemonics(text)));
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(t);
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(t);
  } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText(t);
    e->setCursorPosition(0);  // a text too long for the field shows its start, as on Windows
  } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
    if (cb->isEditable()) cb->setEditText(t);
  }
}

std::string QtDialogWindow::GetControlText(int id) const {
  QWidget* w = Widget(id);
  const ControlTemplate* c = Tpl(id);
  if (!w || !c) return {};
  if (qobject_cast<QLabel*>(w)) {
    // What was set, '&' included, as the system answers for a static text: the label shows
    // the text with its mnemonics taken out.
    return S(w->property(kWindowTextProperty).toString());
  }
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return S(b->text());
  if (auto* g = qobject_cast<QGroupBox*>(w)) return S(g->title());
  if (auto* e = qobject_cast<QLineEdit*>(w)) return S(e->text());
  if (auto* cb = qobject_cast<QComboBox*>(w)) return S(cb->currentText());
  return {};
}

void QtDialogWindow::ComboResetContent(int id) {
  if (QComboBox* c = Combo(id)) {
    c->clear();
    c->setCurrentIndex(-1);
  }
}

int QtDialogWindow::ComboAddString(int id, const std::string& text) {
  QComboBox* c = Combo(id);
  const ControlTemplate* t = Tpl(id);
  if (!c || !t) return CB_ERR;
  int at = c->count();
  if (t->flags & kCtlSorted) {
    std::vector<std::string> items;
    for (int i = 0; i < c->count(); ++i) items.push_back(S(c->itemText(i)));
    at = static_cast<int>(SortedInsertIndex(items, text));
  }
  int sel = c->currentIndex();
  QString edit = c->isEditable() ? c->currentText() : QString();
  c->blockSignals(true);
  c->insertItem(at, U(text));
  // A Windows combo box selects nothing until told to; Qt would pick the first item.
  c->setCurrentIndex(sel < 0 ? -1 : (sel >= at ? sel + 1 : sel));
  if (c->isEditable() && sel < 0) c->setEditText(edit);
  c->blockSignals(false);
  return at;
}

int QtDialogWindow::ComboSetCurSel(int id, int index) {
  QComboBox* c = Combo(id);
  if (!c) return CB_ERR;
  c->blockSignals(true);
  bool ok = index >= 0 && index < c->count();
  c->setCurrentIndex(ok ? index : -1);
  if (!ok && c->isEditable()) c->setEditText(QString());
  c->blockSignals(false);
  return ok ? index : CB_ERR;
}

void QtDialogWindow::SetTimer(unsigned id, unsigned ms) {
  QTimer*& t = m_timers[id];
  if (!t) {
    t = new QTimer(this);
    t->setTimerType(Qt::PreciseTimer);
    QObject::connect(t, &QTimer::timeout, this, [this, id] {
      EventArgs a;
      a.nID = id;
      m_dlg.Dispatch(EventKind::Timer, 0, a);
    });
  }
  t->start(static_cast<int>(ms));
}

void QtDialogWindow::KillTimer(unsigned id) {
  auto it = m_timers.find(id);
  if (it != m_timers.end()) it->second->stop();
}

int QtDialogWindow::MessageBox(const std::string& text, const std::string& caption) {
  QtHost::ShowBox(this, text, caption);
  return IDOK;
}

bool QtDialogWindow::GetOpenFileName(const std::string& filter, std::string& path) {
  QStringList filters;
  for (const auto& [desc, patterns] : ParseFileFilter(filter)) filters << U(desc) + " (" + QtPatterns(patterns) + ")";
  QFileDialog d(ShownOwner(this));
  CentreWithoutOwner(&d);
  d.setAcceptMode(QFileDialog::AcceptOpen);
  d.setFileMode(QFileDialog::AnyFile);  // a typed name need not exist, as with Windows' flags
  d.setOption(QFileDialog::HideNameFilterDetails, true);
  d.setOption(QFileDialog::DontUseNativeDialog, true);
  d.setNameFilters(filters);
  if (!filters.isEmpty()) d.selectNameFilter(filters.front());
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
  path = S(d.selectedFiles().front());
  return true;
}

std::vector<int> QtDialogWindow::TabOrder() const {
  std::vector<int> ids;
  std::map<QWidget*, int> byWidget;
  for (auto& [id, w] : m_widgets) byWidget[w] = id;
  QWidget* first = nullptr;
  for (int key : m_order)
    if (m_widgets.at(key)->focusPolicy() == Qt::StrongFocus) {
      first = m_widgets.at(key);
      break;
    }
  for (QWidget* w = first; w;) {
    auto it = byWidget.find(w);
    if (it != byWidget.end() && w->focusPolicy() == Qt::StrongFocus) ids.push_back(it->second);
    w = w->nextInFocusChain();
    if (w == first || ids.size() > m_widgets.size()) break;
  }
  return ids;
}

std::vector<std::string> QtDialogWindow::ContextMenu() const {
  std::vector<std::string> out;
  if (m_dlg.Template().flags & kDlgMinimizeBox) out.push_back("Minimize");
  out.push_back("-");
  out.push_back("Close");
  for (const MenuItem& m : m_menu) out.push_back(m.separator ? "-" : m.text);
  return out;
}

// The window manager owns the title bar's menu, so the dialog offers its system menu as
// its context menu: Minimize, Close, and whatever the dialog appended.
void QtDialogWindow::contextMenuEvent(QContextMenuEvent* e) {
  if (!HasSystemMenu()) return;
  QMenu menu(this);
  menu.setSeparatorsCollapsible(false);
  if (m_dlg.Template().flags & kDlgMinimizeBox)
    QObject::connect(menu.addAction("Minimize"), &QAction::triggered, this, [this] { SysCommand(SC_MINIMIZE); });
  menu.addSeparator();
  QObject::connect(menu.addAction("Close"), &QAction::triggered, this, [this] { SysCommand(SC_CLOSE); });
  for (const MenuItem& m : m_menu) {
    if (m.separator) {
      menu.addSeparator();
    } else {
      unsigned id = m.id;
      QObject::connect(menu.addAction(U(m.text)), &QAction::triggered, this, [this, id] { SysCommand(id); });
    }
  }
  menu.exec(e->globalPos());
}

bool QtDialogWindow::HandleKey(QKeyEvent* e) {
  const int k = e->key();
  if (k == Qt::Key_Escape) {
    m_dlg.Dispatch(EventKind::Command, IDCANCEL);
    return true;
  }
  if (k != Qt::Key_Return && k != Qt::Key_Enter) return false;
  if (auto* b = qobject_cast<QPushButton*>(QApplication::focusWidget()); b && b->window() == this) {
    if (b->isEnabled()) b->click();
    return true;
  }
  for (int key : m_order) {
    const ControlTemplate* c = m_dlg.Template().Find(key);
    if (c && c->kind == ControlKind::PushButton && (c->flags & kCtlDefault)) {
      if (auto* b = qobject_cast<QPushButton*>(m_widgets[key]); b && b->isEnabled()) b->click();
      return true;
    }
  }
  m_dlg.Dispatch(EventKind::Command, IDOK);
  return true;
}

void QtDialogWindow::PressKey(const std::string& key) {
  const int k = key == "Escape" ? Qt::Key_Escape : (key == "Space" ? Qt::Key_Space : Qt::Key_Return);
  QWidget* target = focusWidget();
  if (!target) target = this;
  QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, k == Qt::Key_Space ? QString(" ") : QString());
  QApplication::sendEvent(target, &press);
  if (k == Qt::Key_Space) {
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, QString(" "));
    QApplication::sendEvent(target, &release);
  }
}

}  // namespace

void InstallHost(int& argc, char** argv) {
  if (!QApplication::instance()) new QApplication(argc, argv);
  if (!g_pHost) g_pHost = new QtHost();
}

void OnShow(int templateId, std::function<void(WindowProbe&)> probe) {
  g_probes[templateId].push_back(std::move(probe));
}

}  // namespace platform::qt

namespace platform {

int AfxWinMain(int argc, char** argv) {
  qt::InstallHost(argc, argv);
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  if (app->m_strAppName.empty()) app->m_strAppName = AppNameFromPath(argc > 0 ? argv[0] : nullptr);
  app->InitInstance();
  return 0;
}

}  // namespace platform
