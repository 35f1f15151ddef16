// The Win32 host: builds a dialog template of res/ in memory as a DLGTEMPLATEEX and runs it
// with DialogBoxIndirectParamW. One dialog procedure serves every dialog; it finds its
// window object through the window's user data. Texts cross to and from the W functions as
// UTF-16, converted from and to the program's UTF-8 here.
#include "platform/win32/win32_host.h"

#include <algorithm>
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <utility>

#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/outputfile.h"
#include "platform/win32/text.h"

// <windows.h> names these as macros for its A and W forms; ours are plain names.
#undef MessageBox
#undef GetOpenFileName

namespace platform::win32 {
namespace {

// A test's probe runs on this timer once the window is on screen (the system shows a dialog
// when its message queue first runs empty).
constexpr UINT_PTR kProbeTimer = 0x7F01;
// Posted after a change of DPI, to draw the pictures for the new one.
constexpr UINT kRepictureMessage = WM_APP + 0x31;

// --- the template in memory ------------------------------------------------------------

class TemplateWriter {
 public:
  void Word(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void Dword(std::uint32_t v) {
    Word(static_cast<std::uint16_t>(v));
    Word(static_cast<std::uint16_t>(v >> 16));
  }
  void Byte(std::uint8_t v) { bytes_.push_back(v); }
  void Text(const char* utf8) {
    for (wchar_t c : Widen(utf8 ? utf8 : "")) Word(static_cast<std::uint16_t>(c));
    Word(0);
  }
  void Ordinal(std::uint16_t atom) {
    Word(0xFFFF);
    Word(atom);
  }
  void AlignDword() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

DWORD DialogStyle(const DialogTemplate& t) {
  DWORD s = WS_POPUP | DS_SETFONT;
  if (t.flags & kDlgVisible) s |= WS_VISIBLE;
  if (t.flags & kDlgCaption) s |= WS_CAPTION;
  if (t.flags & kDlgSysMenu) s |= WS_SYSMENU;
  if (t.flags & kDlgMinimizeBox) s |= WS_MINIMIZEBOX;
  if (t.flags & kDlgMaximizeBox) s |= WS_MAXIMIZEBOX;
  if (t.flags & kDlgResizable) s |= WS_THICKFRAME;
  if (t.flags & kDlgModalFrame) s |= DS_MODALFRAME;
  return s;
}

void ControlStyle(const ControlTemplate& c, DWORD& style, DWORD& exStyle, std::uint16_t& atom, const char*& cls) {
  style = WS_CHILD;
  exStyle = 0;
  atom = 0;
  cls = nullptr;
  if (!(c.flags & kCtlHidden)) style |= WS_VISIBLE;
  if (c.flags & kCtlDisabled) style |= WS_DISABLED;
  if (c.flags & kCtlTabStop) style |= WS_TABSTOP;
  if (c.flags & kCtlGroup) style |= WS_GROUP;
  if (c.flags & kCtlBorder) style |= WS_BORDER;
  if (c.flags & kCtlVScroll) style |= WS_VSCROLL;
  if (c.flags & kCtlStaticEdge) exStyle |= WS_EX_STATICEDGE;
  switch (c.kind) {
    case ControlKind::ComboBox:
      atom = 0x0085;
      style |= (c.flags & kCtlDropDown) ? (CBS_DROPDOWN | CBS_AUTOHSCROLL) : CBS_DROPDOWNLIST;
      if (c.flags & kCtlSorted) style |= CBS_SORT;
      break;
    case ControlKind::PushButton:
      atom = 0x0080;
      style |= (c.flags & kCtlDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      break;
    case ControlKind::CheckBox:
      atom = 0x0080;
      style |= BS_AUTOCHECKBOX;
      break;
    case ControlKind::GroupBox:
      atom = 0x0080;
      style |= BS_GROUPBOX;
      break;
    case ControlKind::Edit:
      atom = 0x0081;
      style |= ES_LEFT;
      if (c.flags & kCtlReadOnly) style |= ES_READONLY;
      if (c.flags & kCtlAutoHScroll) style |= ES_AUTOHSCROLL;
      break;
    case ControlKind::Progress:
      cls = "msctls_progress32";
      break;
    case ControlKind::Static:
      atom = 0x0082;
      style |= SS_LEFT;
      if (c.flags & kCtlNoPrefix) style |= SS_NOPREFIX;
      break;
    case ControlKind::Bitmap:
      atom = 0x0082;
      style |= SS_BITMAP;
      break;
    case ControlKind::Icon:
      atom = 0x0082;
      style |= SS_ICON;
      break;
  }
}

// Controls without an id get ids from here on, so that the host can reach them (IDC_STATIC
// is -1 in the template; the system keeps -1 for every one of them).
constexpr int kFirstAnonymousId = 0x7000;

}  // namespace

std::vector<std::uint8_t> BuildDialogTemplate(const DialogTemplate& t) {
  TemplateWriter w;
  w.Word(1);       // dlgVer
  w.Word(0xFFFF);  // signature: DLGTEMPLATEEX
  w.Dword(0);      // helpID
  w.Dword((t.flags & kDlgAppWindow) ? WS_EX_APPWINDOW : 0);
  w.Dword(DialogStyle(t));
  w.Word(static_cast<std::uint16_t>(t.controlCount));
  w.Word(0);  // x, y: the system centres nothing; DS_CENTER is not asked for
  w.Word(0);
  w.Word(static_cast<std::uint16_t>(t.cx));
  w.Word(static_cast<std::uint16_t>(t.cy));
  w.Word(0);  // no menu
  w.Word(0);  // the dialog class
  w.Text(t.title);
  w.Word(static_cast<std::uint16_t>(t.pointSize));
  w.Word(FW_NORMAL);
  w.Byte(0);                // not italic
  w.Byte(DEFAULT_CHARSET);  // default character set
  w.Text(t.fontFace);
  int anonymous = kFirstAnonymousId;
  for (std::size_t i = 0; i < t.controlCount; ++i) {
    const ControlTemplate& c = t.controls[i];
    DWORD style, exStyle;
    std::uint16_t atom;
    const char* cls;
    ControlStyle(c, style, exStyle, atom, cls);
    w.AlignDword();
    w.Dword(0);  // helpID
    w.Dword(exStyle);
    w.Dword(style);
    w.Word(static_cast<std::uint16_t>(c.x));
    w.Word(static_cast<std::uint16_t>(c.y));
    w.Word(static_cast<std::uint16_t>(c.cx));
    w.Word(static_cast<std::uint16_t>(c.cy));
    w.Dword(static_cast<std::uint32_t>(c.id == -1 ? anonymous++ : c.id));
    if (cls) {
      w.Text(cls);
    } else {
      w.Ordinal(atom);
    }
    // Pictures are set once the window exists (from the same artwork the other hosts draw).
    w.Text((c.kind == ControlKind::Bitmap || c.kind == ControlKind::Icon) ? "" : c.caption);
    w.Word(0);  // no creation data
  }
  w.AlignDword();
  return std::move(w.Bytes());
}

namespace {

// --- pictures --------------------------------------------------------------------------

HBITMAP MakeDib(const Image& img, int bits, void** pixels) {
  BITMAPINFO bi;
  std::memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = img.width;
  bi.bmiHeader.biHeight = -img.height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = static_cast<WORD>(bits);
  bi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, pixels, nullptr, 0);
}

HBITMAP BitmapFromImage(const Image& img) {
  void* bits = nullptr;
  HBITMAP h = MakeDib(img, 24, &bits);
  if (!h || !bits) return h;
  const int stride = ((img.width * 3) + 3) & ~3;
  auto* row = static_cast<std::uint8_t*>(bits);
  for (int y = 0; y < img.height; ++y, row += stride) {
    for (int x = 0; x < img.width; ++x) {
      std::uint32_t p = img.argb[static_cast<std::size_t>(y * img.width + x)];
      row[x * 3 + 0] = static_cast<std::uint8_t>(p);
      row[x * 3 + 1] = static_cast<std::uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<std::uint8_t>(p >> 16);
    }
  }
  GdiFlush();
  return h;
}

const Image* NearestSize(IconHandle icon, int size) {
  if (!icon || icon->sizes.empty()) return nullptr;
  const Image* best = &icon->sizes.front();
  for (const Image& i : icon->sizes) {
    if (i.width == size) return &i;
    if (i.width >= size && i.width < best->width) best = &i;
  }
  return best;
}

// The icon of this size: the module's icon resource of that id when it has one, else made
// from the drawn pictures. Made once per icon and size; kept for the life of the process.
HICON IconFor(IconHandle icon, int size) {
  static std::map<std::pair<IconHandle, int>, HICON> cache;
  if (!icon) return nullptr;
  auto key = std::make_pair(icon, size);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  HICON h = nullptr;
  if (icon->resourceId > 0)
    h = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon->resourceId), IMAGE_ICON,
                                      size, size, LR_DEFAULTCOLOR));
  if (!h) {
    if (const Image* img = NearestSize(icon, size)) {
      void* bits = nullptr;
      HBITMAP color = MakeDib(*img, 32, &bits);
      if (color && bits) {
        std::memcpy(bits, img->argb.data(), img->argb.size() * 4);  // 0xAARRGGBB is BGRA in memory
        GdiFlush();
        std::vector<std::uint8_t> maskBits(static_cast<std::size_t>(((img->width + 15) / 16) * 2 * img->height), 0);
        HBITMAP mask = CreateBitmap(img->width, img->height, 1, 1, maskBits.data());
        ICONINFO ii;
        std::memset(&ii, 0, sizeof ii);
        ii.fIcon = TRUE;
        ii.hbmMask = mask;
        ii.hbmColor = color;
        h = CreateIconIndirect(&ii);
        DeleteObject(mask);
      }
      if (color) DeleteObject(color);
    }
  }
  cache[key] = h;
  return h;
}

bool SaveBmp(HDC src, int x, int y, int cx, int cy, const std::string& path) {
  if (cx <= 0 || cy <= 0) return false;
  Image shape;
  shape.width = cx;
  shape.height = cy;
  void* bits = nullptr;
  HBITMAP dib = MakeDib(shape, 24, &bits);
  if (!dib || !bits) return false;
  HDC mem = CreateCompatibleDC(src);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, cx, cy, src, x, y, SRCCOPY);
  GdiFlush();
  const int stride = ((cx * 3) + 3) & ~3;
  const std::uint32_t dataSize = static_cast<std::uint32_t>(stride * cy);
  std::vector<std::uint8_t> out;
  auto put16 = [&](unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  out.push_back('B');
  out.push_back('M');
  put32(14 + 40 + dataSize);
  put32(0);
  put32(14 + 40);
  put32(40);
  put32(static_cast<std::uint32_t>(cx));
  put32(static_cast<std::uint32_t>(-cy));  // top-down rows
  put16(1);
  put16(24);
  put32(0);
  put32(dataSize);
  put32(2835);
  put32(2835);
  put32(0);
  put32(0);
  const auto* p = static_cast<const std::uint8_t*>(bits);
  out.insert(out.end(), p, p + dataSize);
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(dib);
  return WriteWholeFile(path, out.data(), out.size());
}

// --- the window of one running dialog --------------------------------------------------

class Win32Host;
Win32Host* g_pHost = nullptr;
std::map<int, std::deque<std::function<void(WindowProbe&)>>> g_probes;

class Win32Window final : public DialogWindow, public WindowProbe {
 public:
  explicit Win32Window(CDialog& dlg) : m_dlg(dlg) {}

  HWND Hwnd() const { return m_hwnd; }
  int Run(HWND owner);
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // --- DialogWindow ---
  // The system takes the focus from a control it disables and leaves it nowhere; the control
  // still counts as the focus until the dialog gives the focus to another (the handlers move
  // it on to the control the operator needs next).
  void EnableControl(int id, bool enable) override {
    const bool bHadFocus = !enable && id != 0 && FocusedControl() == id;
    ::EnableWindow(Item(id), enable ? TRUE : FALSE);
    if (bHadFocus) m_nRestingFocus = id;
  }
  bool IsControlEnabled(int id) const override {
    HWND h = Item(id);
    return h && ::IsWindowEnabled(h);
  }
  bool IsControlVisible(int id) const override {
    HWND h = Item(id);
    return h && ::IsWindowVisible(h);
  }
  void SetControlText(int id, const std::string& text) override {
    if (HWND h = Item(id)) SetWindowTextW(h, Widen(text).c_str());
  }
  std::string GetControlText(int id) const override { return WindowText(Item(id)); }
  void ComboResetContent(int id) override { Send(id, CB_RESETCONTENT, 0, 0); }
  int ComboAddString(int id, const std::string& text) override {
    std::wstring w = Widen(text);
    LRESULT r = Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
    return r < 0 ? CB_ERR : static_cast<int>(r);
  }
  int ComboGetCount(int id) const override {
    LRESULT r = Send(id, CB_GETCOUNT, 0, 0);
    return r < 0 ? 0 : static_cast<int>(r);
  }
  int ComboSetCurSel(int id, int index) override {
    LRESULT r = Send(id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return r < 0 ? CB_ERR : static_cast<int>(r);
  }
  int ComboGetCurSel(int id) const override {
    LRESULT r = Send(id, CB_GETCURSEL, 0, 0);
    return r < 0 ? CB_ERR : static_cast<int>(r);
  }
  std::string ComboGetItemText(int id, int index) const override { return ItemText(Item(id), index); }
  void SetProgressPos(int id, int pos) override { Send(id, PBM_SETPOS, static_cast<WPARAM>(pos), 0); }
  int GetProgressPos(int id) const override { return static_cast<int>(Send(id, PBM_GETPOS, 0, 0)); }
  void RepaintControl(int id) override {
    if (HWND h = Item(id)) ::UpdateWindow(h);
  }
  int GetCheck(int id) const override { return static_cast<int>(Send(id, BM_GETCHECK, 0, 0)); }
  void SetCheck(int id, int state) override { Send(id, BM_SETCHECK, static_cast<WPARAM>(state), 0); }
  int GetFocusControl() const override {
    const int id = FocusedControl();
    return id != 0 ? id : m_nRestingFocus;
  }
  // WM_NEXTDLGCTL, not SetFocus: the dialog manager also moves the default-button look.
  void SetFocusControl(int id) override {
    if (HWND h = Item(id)) {
      m_nRestingFocus = 0;
      SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(h), TRUE);
    }
  }
  void SetTimer(unsigned id, unsigned ms) override { ::SetTimer(m_hwnd, id, ms, nullptr); }
  void KillTimer(unsigned id) override { ::KillTimer(m_hwnd, id); }
  int MessageBox(const std::string& text, const std::string& caption) override {
    MessageBoxW(m_hwnd, Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
    return IDOK;
  }
  bool GetOpenFileName(const std::string& filter, std::string& path) override;
  void SetIcon(IconHandle icon, bool big) override {
    const int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    SendMessageW(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(IconFor(icon, size)));
  }
  bool HasSystemMenu() const override { return (GetWindowLongW(m_hwnd, GWL_STYLE) & WS_SYSMENU) != 0; }
  void AppendSystemMenuSeparator() override {
    if (HMENU m = GetSystemMenu(m_hwnd, FALSE)) AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  }
  void AppendSystemMenuItem(unsigned commandId, const std::string& text) override {
    if (HMENU m = GetSystemMenu(m_hwnd, FALSE)) AppendMenuW(m, MF_STRING, commandId, Widen(text).c_str());
  }
  void DefaultSysCommand(unsigned id, std::intptr_t lParam) override {
    DefWindowProcW(m_hwnd, WM_SYSCOMMAND, id, static_cast<LPARAM>(lParam));
  }
  bool IsIconic() const override { return ::IsIconic(m_hwnd) != FALSE; }
  ClientSize GetClientSize() const override {
    RECT r{};
    GetClientRect(m_hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
  }
  int SystemIconSize() const override { return GetSystemMetrics(SM_CXICON); }
  void EraseIconBackground() override {
    if (HDC dc = PaintDc()) SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  }
  void DrawIcon(int x, int y, IconHandle icon) override {
    if (HDC dc = PaintDc()) ::DrawIcon(dc, x, y, IconFor(icon, GetSystemMetrics(SM_CXICON)));
  }
  void DefaultPaint() override {}  // the dialog manager paints once the procedure declines
  void EndDialog(int result) override {
    if (m_hwnd) ::EndDialog(m_hwnd, result);
  }

  // --- WindowProbe ---
  CDialog& Dialog() override { return m_dlg; }
  std::string Title() const override { return WindowText(m_hwnd); }
  Rect ClientRect() const override {
    ClientSize s = GetClientSize();
    return {0, 0, s.cx, s.cy};
  }
  Rect ControlRect(int id) const override {
    HWND h = Item(id);
    RECT r{};
    if (!h || !GetWindowRect(h, &r)) return {};
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }
  Rect DialogUnitsToPixels(int x, int y, int cx, int cy) const override {
    // Place and size each on its own, as the dialog manager maps a control's.
    RECT at{x, y, cx, cy};
    MapDialogRect(m_hwnd, &at);
    return {at.left, at.top, at.right, at.bottom};
  }
  bool ControlVisible(int id) const override { return IsControlVisible(id); }
  bool ControlEnabled(int id) const override { return IsControlEnabled(id); }
  std::string ControlText(int id) const override { return GetControlText(id); }
  std::string ControlClass(int id) const override {
    wchar_t name[128] = L"";
    HWND h = Item(id);
    if (!h) return {};
    int n = GetClassNameW(h, name, 128);
    return Narrow(name, n);
  }
  std::vector<std::string> ComboItems(int id) const override {
    std::vector<std::string> items;
    const int n = ComboGetCount(id);
    for (int i = 0; i < n; ++i) items.push_back(ItemText(Item(id), i));
    return items;
  }
  bool HasMinimizeBox() const override { return (GetWindowLongW(m_hwnd, GWL_STYLE) & WS_MINIMIZEBOX) != 0; }
  bool HasMaximizeBox() const override { return (GetWindowLongW(m_hwnd, GWL_STYLE) & WS_MAXIMIZEBOX) != 0; }
  bool Resizable() const override { return (GetWindowLongW(m_hwnd, GWL_STYLE) & WS_THICKFRAME) != 0; }
  bool HasTaskbarButton() const override { return (GetWindowLongW(m_hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0; }
  bool HasIcon(bool big) const override {
    return SendMessageW(m_hwnd, WM_GETICON, big ? ICON_BIG : ICON_SMALL, 0) != 0;
  }
  std::vector<std::string> SystemMenu() const override;
  int FocusId() const override {
    HWND f = GetFocus();
    if (!f || GetParent(f) != m_hwnd) {
      // A combo box with an edit field: the focus is on its edit child.
      if (f && GetParent(f) && GetParent(GetParent(f)) == m_hwnd) f = GetParent(f);
      else return 0;
    }
    return GetDlgCtrlID(f);
  }
  bool SaveScreenshot(const std::string& path) const override {
    RECT r{};
    GetWindowRect(m_hwnd, &r);
    HDC dc = GetWindowDC(m_hwnd);
    bool ok = SaveBmp(dc, 0, 0, r.right - r.left, r.bottom - r.top, path);
    ReleaseDC(m_hwnd, dc);
    return ok;
  }
  void PressKey(const std::string& key) override {
    WPARAM vk = key == "Escape" ? VK_ESCAPE : (key == "Tab" ? VK_TAB : VK_RETURN);
    HWND target = GetFocus();
    if (!target) target = m_hwnd;
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    ProcessEvents(30);
  }
  void ProcessEvents(int ms) override;

 private:
  HWND Item(int id) const { return m_hwnd ? GetDlgItem(m_hwnd, id) : nullptr; }
  // The control that has the focus now (a combo box for its edit field), 0 for none.
  int FocusedControl() const {
    HWND f = ::GetFocus();
    if (!m_hwnd || !f || !::IsChild(m_hwnd, f)) return 0;
    while (::GetParent(f) != m_hwnd) f = ::GetParent(f);
    return ::GetDlgCtrlID(f);
  }
  LRESULT Send(int id, UINT msg, WPARAM w, LPARAM l) const {
    HWND h = Item(id);
    return h ? SendMessageW(h, msg, w, l) : CB_ERR;
  }
  static std::string WindowText(HWND h) {
    if (!h) return {};
    int n = GetWindowTextLengthW(h);
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    n = GetWindowTextW(h, w.data(), n + 1);
    return Narrow(w.c_str(), n);
  }
  static std::string ItemText(HWND combo, int index) {
    if (!combo || index < 0) return {};
    LRESULT n = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n < 0) return {};
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    n = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.data()));
    return n < 0 ? std::string() : Narrow(w.c_str(), static_cast<int>(n));
  }
  HDC PaintDc() {
    if (!m_paintDc && m_inPaint) m_paintDc = BeginPaint(m_hwnd, &m_ps);
    return m_paintDc;
  }
  void InitPictures(std::pair<int, int> dpi);
  INT_PTR Handle(UINT msg, WPARAM wParam, LPARAM lParam);

  CDialog& m_dlg;
  HWND m_hwnd = nullptr;
  int m_nRestingFocus = 0;  // a control disabled while it had the focus
  bool m_inPaint = false;
  HDC m_paintDc = nullptr;
  PAINTSTRUCT m_ps{};
  std::vector<HBITMAP> m_bitmaps;
};

class Win32Host final : public DialogHost {
 public:
  Win32Host() {
    SetDialogHost(this);
    SetMessageBoxHandler(&Win32Host::Unowned);
  }
  int RunModal(CDialog& dlg, CDialog* owner) override {
    // Without an owner the running dialog on top owns the new one, as the framework takes
    // the main or active window.
    HWND ownerHwnd = nullptr;
    if (owner && owner->Window()) ownerHwnd = static_cast<Win32Window*>(owner->Window())->Hwnd();
    if (!ownerHwnd && !m_running.empty()) ownerHwnd = m_running.back()->Hwnd();
    auto w = std::make_unique<Win32Window>(dlg);
    m_running.push_back(w.get());
    int r = w->Run(ownerHwnd);
    m_running.pop_back();
    return r;
  }
  void ApplicationMessageBox(const std::string& text, const std::string& caption) override {
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
  }
  [[noreturn]] void ExitProcess(int status) override { std::exit(status); }
  HWND TopWindow() const { return m_running.empty() ? nullptr : m_running.back()->Hwnd(); }

 private:
  // The worker's box, owned by no window, shown from the asking thread itself: the system
  // runs its own message loop there, and the caller waits until it is closed.
  static void Unowned(const char* text, const char* caption) {
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
  }
  std::vector<Win32Window*> m_running;
};

int Win32Window::Run(HWND owner) {
  std::vector<std::uint8_t> tpl = BuildDialogTemplate(m_dlg.Template());
  INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(tpl.data()),
                                      owner, &Win32Window::DialogProc, reinterpret_cast<LPARAM>(this));
  m_dlg.AttachWindow(nullptr);
  for (HBITMAP b : m_bitmaps) DeleteObject(b);
  m_bitmaps.clear();
  return static_cast<int>(r);
}

INT_PTR CALLBACK Win32Window::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Win32Window*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->m_hwnd = hwnd;
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return FALSE;
  return self->Handle(msg, wParam, lParam);
}

// As the dialog framework of the system's own programs does after initialisation: centred
// over its owner when the owner is shown and not minimised, else in the work area of the
// monitor it is on, and kept within that work area.
static void CenterOnOwnerOrScreen(HWND hwnd) {
  RECT self;
  if (!GetWindowRect(hwnd, &self)) return;
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi)) return;
  const RECT area = mi.rcWork;
  RECT around = area;
  HWND owner = GetWindow(hwnd, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
  const LONG w = self.right - self.left, h = self.bottom - self.top;
  LONG x = (around.left + around.right - w) / 2, y = (around.top + around.bottom - h) / 2;
  x = std::max(area.left, std::min(x, area.right - w));
  y = std::max(area.top, std::min(y, area.bottom - h));
  SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window's dots per inch: the monitor's for a per-monitor aware window (Windows 10
// 1607 and later), else the system's.
static int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow)
    if (const UINT dpi = getDpiForWindow(hwnd)) return static_cast<int>(dpi);
  HDC dc = GetDC(hwnd);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
  if (dc) ReleaseDC(hwnd, dc);
  return dpi > 0 ? dpi : 96;
}

// The dots per inch, across and down, at which pictures match the dialog's units: the
// window's DPI, corrected by how much the dialog font's measures really grow from 96 DPI to
// it - its average character width (the dialog manager's horizontal unit) and its height
// (the vertical one) - which fonts do not do in exact proportion (under Wine at 192 DPI the
// dialog is 2.28 times as wide as at 96, and 2.13 times as high). Exactly 96 at 96 DPI.
static std::pair<int, int> PictureDpi(HWND hwnd) {
  const int dpi = WindowDpi(hwnd);
  if (dpi == 96) return {dpi, dpi};
  const auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  LOGFONTW lf{};
  HDC dc = GetDC(hwnd);
  if (!font || !GetObjectW(font, sizeof lf, &lf) || !dc) {
    if (dc) ReleaseDC(hwnd, dc);
    return {dpi, dpi};
  }
  // The dialog manager's measures of a font: average width of the letters, and height.
  const auto measure = [&](LONG height) {
    LOGFONTW at = lf;
    at.lfHeight = height;
    HFONT f = CreateFontIndirectW(&at);
    HGDIOBJ old = SelectObject(dc, f);
    SIZE size{};
    GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &size);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(f);
    return std::make_pair(static_cast<int>((size.cx / 26 + 1) / 2), static_cast<int>(tm.tmHeight));
  };
  // The dialog's font is its point size at this DPI; the same points at 96 DPI.
  const int points = MulDiv(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight, 72, dpi);
  const auto here = measure(lf.lfHeight);
  const auto at96 = measure(-MulDiv(points, 96, 72));
  ReleaseDC(hwnd, dc);
  if (here.first <= 0 || here.second <= 0 || at96.first <= 0 || at96.second <= 0) return {dpi, dpi};
  return {MulDiv(96, here.first, at96.first), MulDiv(96, here.second, at96.second)};
}

void Win32Window::InitPictures(std::pair<int, int> dpi) {
  const DialogTemplate& t = m_dlg.Template();
  int anonymous = kFirstAnonymousId;
  for (std::size_t i = 0; i < t.controlCount; ++i) {
    const ControlTemplate& c = t.controls[i];
    const int id = c.id == -1 ? anonymous++ : c.id;
    if (c.kind == ControlKind::Bitmap && c.picture) {
      // Drawn for the window's DPI, so that the picture scales with the dialog units.
      if (const Image* img = c.picture(dpi.first, dpi.second)) {
        HBITMAP b = BitmapFromImage(*img);
        m_bitmaps.push_back(b);
        HBITMAP old = reinterpret_cast<HBITMAP>(
            SendMessageW(Item(id), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(b)));
        if (old && old != b) {
          m_bitmaps.erase(std::remove(m_bitmaps.begin(), m_bitmaps.end(), old), m_bitmaps.end());
          DeleteObject(old);
        }
      }
    } else if (c.kind == ControlKind::Icon && c.icon) {
      SendMessageW(Item(id), STM_SETICON, reinterpret_cast<WPARAM>(IconFor(c.icon(), GetSystemMetrics(SM_CXICON))), 0);
    }
  }
}

INT_PTR Win32Window::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      InitPictures(PictureDpi(m_hwnd));
      m_dlg.AttachWindow(this);
      auto it = g_probes.find(m_dlg.Template().id);
      if (it != g_probes.end() && !it->second.empty()) ::SetTimer(m_hwnd, kProbeTimer, 20, nullptr);
      const BOOL focusDefault = m_dlg.OnInitDialog() ? TRUE : FALSE;
      CenterOnOwnerOrScreen(m_hwnd);
      return focusDefault;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const unsigned code = HIWORD(wParam);
      const ControlTemplate* c = m_dlg.Template().Find(id);
      if (c && c->kind == ControlKind::ComboBox) {
        if (code == CBN_SELCHANGE) m_dlg.Dispatch(EventKind::SelChange, id);
        return TRUE;
      }
      // Buttons' clicks, and the dialog manager's OK (Enter) and Cancel (Escape).
      if (code == BN_CLICKED) m_dlg.Dispatch(EventKind::Command, id);
      return TRUE;
    }
    case WM_SYSCOMMAND: {
      EventArgs a;
      a.nID = static_cast<unsigned>(wParam);
      a.lParam = static_cast<std::intptr_t>(lParam);
      m_dlg.Dispatch(EventKind::SysCommand, 0, a);
      return TRUE;
    }
    case WM_TIMER: {
      if (wParam == kProbeTimer) {
        if (!::IsWindowVisible(m_hwnd)) return TRUE;
        ::KillTimer(m_hwnd, kProbeTimer);
        auto it = g_probes.find(m_dlg.Template().id);
        if (it != g_probes.end() && !it->second.empty()) {
          auto probe = std::move(it->second.front());
          it->second.pop_front();
          probe(*this);
        }
        return TRUE;
      }
      EventArgs a;
      a.nID = static_cast<unsigned>(wParam);
      m_dlg.Dispatch(EventKind::Timer, 0, a);
      return TRUE;
    }
    case WM_PAINT: {
      m_inPaint = true;
      m_dlg.Dispatch(EventKind::Paint, 0);
      m_inPaint = false;
      if (m_paintDc) {
        EndPaint(m_hwnd, &m_ps);
        m_paintDc = nullptr;
        return TRUE;
      }
      return FALSE;  // the dialog manager's own painting
    }
    case WM_QUERYDRAGICON: {
      auto icon = reinterpret_cast<IconHandle>(m_dlg.Dispatch(EventKind::QueryDragIcon, 0));
      return reinterpret_cast<INT_PTR>(IconFor(icon, GetSystemMetrics(SM_CXICON)));
    }
    case WM_DESTROY:
      m_dlg.DestroyWindow();
      return FALSE;
    case WM_DPICHANGED:
      // Moved to a monitor of another DPI: the system scales the dialog (its font first);
      // the pictures follow once it has.
      PostMessageW(m_hwnd, kRepictureMessage, 0, 0);
      return FALSE;
    case kRepictureMessage:
      InitPictures(PictureDpi(m_hwnd));
      return TRUE;
    default:
      return FALSE;
  }
}

bool Win32Window::GetOpenFileName(const std::string& filter, std::string& path) {
  std::wstring pairs;
  for (const auto& [desc, patterns] : ParseFileFilter(filter)) {
    pairs += Widen(desc);
    pairs += L'\0';
    pairs += Widen(patterns);
    pairs += L'\0';
  }
  pairs += L'\0';
  wchar_t file[MAX_PATH] = L"";
  OPENFILENAMEW ofn;
  std::memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m_hwnd;
  ofn.lpstrFilter = pairs.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  // Not told to keep the current directory; a typed name that does not exist is accepted.
  ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT;
  if (!GetOpenFileNameW(&ofn)) return false;
  path = Narrow(file);
  return true;
}

std::vector<std::string> Win32Window::SystemMenu() const {
  std::vector<std::string> out;
  HMENU m = GetSystemMenu(m_hwnd, FALSE);
  if (!m) return out;
  const int n = GetMenuItemCount(m);
  for (int i = 0; i < n; ++i) {
    MENUITEMINFOW mi;
    std::memset(&mi, 0, sizeof mi);
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STRING;
    wchar_t text[256] = L"";
    mi.dwTypeData = text;
    mi.cch = 256;
    if (!GetMenuItemInfoW(m, static_cast<UINT>(i), TRUE, &mi)) continue;
    out.push_back((mi.fType & MFT_SEPARATOR) ? std::string("-") : Narrow(text));
  }
  return out;
}

void Win32Window::ProcessEvents(int ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      HWND top = g_pHost ? g_pHost->TopWindow() : nullptr;
      if (top && IsDialogMessageW(top, &m)) continue;
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(1);
  } while (GetTickCount64() < end);
}

}  // namespace

void InstallHost() {
  if (g_pHost) return;
  INITCOMMONCONTROLSEX icc;
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&icc);
  g_pHost = new Win32Host();
}

void OnShow(int templateId, std::function<void(WindowProbe&)> probe) {
  g_probes[templateId].push_back(std::move(probe));
}

}  // namespace platform::win32

namespace platform {

int AfxWinMain(int argc, char** argv) {
  win32::InstallHost();
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  if (app->m_strAppName.empty()) {
    wchar_t module[MAX_PATH] = L"";
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::string name = n ? win32::Narrow(module, static_cast<int>(n)) : std::string(argc > 0 ? argv[0] : "");
    app->m_strAppName = AppNameFromPath(name.c_str());
  }
  app->InitInstance();
  return 0;
}

}  // namespace platform
