// Our small dialog framework: templates as tables, CDialog with its operations by control id,
// control objects, data exchange, the static event table, and the host interface.
//
// A dialog never talks to a toolkit. It talks to its DialogWindow, which a DialogHost makes
// from the dialog's template when the dialog runs modally: the Qt host (platform/qt/) draws
// real widgets, the headless host (platform/headless/) keeps the control state in memory and
// lets a test drive it. Everything here runs on the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------------------
// Templates

enum class ControlKind {
  ComboBox,
  PushButton,
  CheckBox,   // automatic check box: a click toggles it
  Edit,
  Progress,   // range 0 to 100
  Static,     // static text
  Bitmap,     // static picture, takes the size of its bitmap
  Icon,       // static icon, takes the system's icon size
  GroupBox,
};

// Control flags (what matters of the Windows styles).
enum : std::uint32_t {
  kCtlHidden = 1u << 0,
  kCtlDisabled = 1u << 1,
  kCtlTabStop = 1u << 2,
  kCtlGroup = 1u << 3,
  kCtlReadOnly = 1u << 4,
  kCtlBorder = 1u << 5,
  kCtlStaticEdge = 1u << 6,
  kCtlAutoHScroll = 1u << 7,
  kCtlDropDownList = 1u << 8,  // combo box without an edit field
  kCtlDropDown = 1u << 9,      // combo box with an edit field
  kCtlSorted = 1u << 10,
  kCtlVScroll = 1u << 11,
  kCtlNoPrefix = 1u << 12,     // static text: '&' is shown as it is
  kCtlDefault = 1u << 13,      // the default push button
};

// Dialog flags.
enum : std::uint32_t {
  kDlgCaption = 1u << 0,
  kDlgSysMenu = 1u << 1,
  kDlgMinimizeBox = 1u << 2,
  kDlgMaximizeBox = 1u << 3,
  kDlgResizable = 1u << 4,
  kDlgModalFrame = 1u << 5,
  kDlgAppWindow = 1u << 6,  // has a taskbar button
  kDlgVisible = 1u << 7,
};

// A picture in 32-bit ARGB, row by row from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
};

// An icon resource: one picture per size, largest first.
struct IconSet {
  int resourceId = 0;
  std::vector<Image> sizes;
};
using IconHandle = const IconSet*;

struct ControlTemplate {
  int id;  // -1 for a control without an id (IDC_STATIC)
  ControlKind kind;
  std::uint32_t flags;
  int x, y, cx, cy;       // dialog units
  const char* caption;    // UTF-8; nullptr for none
  // Bitmap: its picture for a screen of these dots per inch across and down (96: its own
  // size); nullptr otherwise.
  const Image* (*picture)(int dpiX, int dpiY);
  IconHandle (*icon)();       // Icon: its icon; nullptr otherwise
};

struct ComboInitItem {
  int id;            // the combo box
  const char* text;  // UTF-8
};

struct DialogTemplate {
  int id;
  int cx, cy;               // dialog units
  const char* fontFace;     // UTF-8
  int pointSize;
  std::uint32_t flags;
  const char* title;        // UTF-8
  const ControlTemplate* controls;  // template order, which is also the tab order
  std::size_t controlCount;
  const ComboInitItem* initItems;   // added in this order when the dialog initialises
  std::size_t initItemCount;

  const ControlTemplate* Find(int controlId) const;
};

// ---------------------------------------------------------------------------------------
// Identifiers the framework knows

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr unsigned SC_MINIMIZE = 0xF020;
inline constexpr unsigned SC_CLOSE = 0xF060;
inline constexpr unsigned SC_RESTORE = 0xF120;
inline constexpr int CB_ERR = -1;

// ---------------------------------------------------------------------------------------
// Helpers shared by the hosts (neutral rules, tested on their own)

// Where a sorted combo box puts a new item: after every item that compares not greater,
// without regard to ASCII case, byte by byte.
std::size_t SortedInsertIndex(const std::vector<std::string>& items, const std::string& text);

// The first item after `startAfter` (-1: from the top) that begins with `prefix` without
// regard to ASCII case, wrapping round to the top; CB_ERR when none does.
int FindItemByPrefix(const std::vector<std::string>& items, int startAfter,
                     const std::string& prefix);

// "description|pattern|description|pattern|" into its pairs; a pattern may hold several
// patterns separated by ';'. A trailing pair without its bar still counts.
std::vector<std::pair<std::string, std::string>> ParseFileFilter(const std::string& filter);

// A file name against one pattern with the Windows meaning: '*' any run, '?' one character,
// without regard to ASCII case; "*.*" matches every name, dot or no dot.
bool MatchesFilePattern(const std::string& name, const std::string& pattern);
// Against "p1;p2;..." (blanks around each pattern ignored).
bool MatchesFilePatternList(const std::string& name, const std::string& patterns);

// A caption with '&' mnemonics as it shows: "&&" gives "&", "&x" gives "x".
std::string StripMnemonics(const std::string& caption);

// ---------------------------------------------------------------------------------------
// The host

class CDialog;

struct ClientSize {
  int cx = 0;
  int cy = 0;
};

// The host's window of one running dialog.
class DialogWindow {
 public:
  virtual ~DialogWindow() = default;

  virtual void EnableControl(int id, bool enable) = 0;
  virtual bool IsControlEnabled(int id) const = 0;
  virtual bool IsControlVisible(int id) const = 0;
  virtual void SetControlText(int id, const std::string& text) = 0;
  virtual std::string GetControlText(int id) const = 0;

  virtual void ComboResetContent(int id) = 0;
  virtual int ComboAddString(int id, const std::string& text) = 0;  // index, or CB_ERR
  virtual int ComboGetCount(int id) const = 0;
  virtual int ComboSetCurSel(int id, int index) = 0;  // index, or CB_ERR (selection cleared)
  virtual int ComboGetCurSel(int id) const = 0;       // CB_ERR when nothing is selected
  virtual std::string ComboGetItemText(int id, int index) const = 0;

  virtual void SetProgressPos(int id, int pos) = 0;
  virtual int GetProgressPos(int id) const = 0;
  virtual void RepaintControl(int id) = 0;  // repaint now, not at the next idle moment

  virtual int GetCheck(int id) const = 0;
  virtual void SetCheck(int id, int state) = 0;

  // The control that has the keyboard focus, 0 for none. A control disabled while it had
  // the focus still counts as having it; the focus then rests where no key does anything
  // (Windows takes it from a disabled control and leaves it nowhere) until it is given to a
  // control.
  virtual int GetFocusControl() const = 0;
  // Gives the focus to a control (on Windows WM_NEXTDLGCTL, so that the dialog manager
  // moves the default-button look with it).
  virtual void SetFocusControl(int id) = 0;

  virtual void SetTimer(unsigned id, unsigned ms) = 0;
  virtual void KillTimer(unsigned id) = 0;

  // Modal box owned by this window, one OK button, no icon; returns IDOK once closed.
  virtual int MessageBox(const std::string& text, const std::string& caption) = 0;
  // The open-file dialog owned by this window; true with the full path when a file was
  // chosen, false when cancelled.
  virtual bool GetOpenFileName(const std::string& filter, std::string& path) = 0;

  virtual void SetIcon(IconHandle icon, bool big) = 0;
  virtual bool HasSystemMenu() const = 0;
  virtual void AppendSystemMenuSeparator() = 0;
  virtual void AppendSystemMenuItem(unsigned commandId, const std::string& text) = 0;
  virtual void DefaultSysCommand(unsigned id, std::intptr_t lParam) = 0;

  virtual bool IsIconic() const = 0;
  virtual ClientSize GetClientSize() const = 0;
  virtual int SystemIconSize() const = 0;  // SM_CXICON (= SM_CYICON)
  virtual void EraseIconBackground() = 0;
  virtual void DrawIcon(int x, int y, IconHandle icon) = 0;
  virtual void DefaultPaint() = 0;

  virtual void EndDialog(int result) = 0;
};

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // Makes the window of dlg from its template (owned by `owner`, nullptr for none), runs
  // the dialog's initialisation, shows it, runs it until EndDialog and destroys it.
  // Returns the EndDialog result, -1 when no window could be made.
  virtual int RunModal(CDialog& dlg, CDialog* owner) = 0;
  // The application's own box (AfxMessageBox): no owner window, caption given.
  virtual void ApplicationMessageBox(const std::string& text, const std::string& caption) = 0;
  // Ends the process with this status; never returns.
  [[noreturn]] virtual void ExitProcess(int status) = 0;
  // The operator's language (0 English, 1 Chinese): the host's own texts (standard buttons,
  // the file dialog) follow it where the toolkit has them in that language.
  virtual void SetLanguage(int language) { (void)language; }
};

void SetDialogHost(DialogHost* host);
DialogHost* GetDialogHost();
// Tells the installed host the operator's language; nothing without a host.
void SetHostLanguage(int language);

// ---------------------------------------------------------------------------------------
// The event table

enum class EventKind {
  SysCommand,     // args: nID, lParam
  Paint,
  QueryDragIcon,  // result: the IconHandle as an integer
  Command,        // a push button's click, the OK and Cancel commands (BN_CLICKED)
  SelChange,      // a combo box's selection changed by the operator (CBN_SELCHANGE)
  Timer,          // args: nID is the timer id
};

struct EventArgs {
  unsigned nID = 0;
  std::intptr_t lParam = 0;
};

using EventThunk = std::intptr_t (*)(CDialog& dlg, const EventArgs& args);

struct EventEntry {
  EventKind kind;
  int id;  // the control (Command, SelChange) or timer id; 0 where it does not apply
  EventThunk thunk;
};

struct EventTable {
  const EventEntry* entries;
  std::size_t count;
};

// Thunks for the handler shapes the tables use.
template <class D, void (D::*F)()>
std::intptr_t Handler(CDialog& d, const EventArgs&) {
  (static_cast<D&>(d).*F)();
  return 0;
}
template <class D, void (D::*F)(unsigned)>
std::intptr_t TimerHandler(CDialog& d, const EventArgs& a) {
  (static_cast<D&>(d).*F)(a.nID);
  return 0;
}
template <class D, void (D::*F)(unsigned, std::intptr_t)>
std::intptr_t SysCommandHandler(CDialog& d, const EventArgs& a) {
  (static_cast<D&>(d).*F)(a.nID, a.lParam);
  return 0;
}
template <class D, IconHandle (D::*F)()>
std::intptr_t IconHandler(CDialog& d, const EventArgs&) {
  return reinterpret_cast<std::intptr_t>((static_cast<D&>(d).*F)());
}

// ---------------------------------------------------------------------------------------
// Control objects: a dialog and an id, attached by DDX_Control

class CWnd {
 public:
  void Attach(CDialog* dlg, int id) {
    m_pDlg = dlg;
    m_nID = id;
  }
  bool IsAttached() const { return m_pDlg != nullptr; }
  int GetDlgCtrlID() const { return m_nID; }
  void EnableWindow(bool enable = true);
  bool IsWindowEnabled() const;
  bool IsWindowVisible() const;
  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;

 protected:
  DialogWindow* Window() const;
  CDialog* m_pDlg = nullptr;
  int m_nID = 0;
};

class CStatic : public CWnd {};

class CButton : public CWnd {
 public:
  int GetCheck() const;
  void SetCheck(int state);
};

class CComboBox : public CWnd {
 public:
  void ResetContent();
  int AddString(const std::string& text);
  int GetCount() const;
  int SetCurSel(int index);
  int GetCurSel() const;
  std::string GetLBText(int index) const;
  int FindString(int startAfter, const std::string& prefix) const;  // see FindItemByPrefix
};

class CProgressCtrl : public CWnd {
 public:
  void SetPos(int pos);
  int GetPos() const;
  void UpdateWindow();
};

// ---------------------------------------------------------------------------------------
// Data exchange

class CDataExchange {
 public:
  CDataExchange(CDialog* dlg, bool saveAndValidate) : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
  CDialog* m_pDlgWnd;
  bool m_bSaveAndValidate;  // true: controls to members; false: members to controls
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, std::string& value);

// ---------------------------------------------------------------------------------------
// The dialog

class CDialog {
 public:
  CDialog(const DialogTemplate& tpl, CDialog* parent);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  const DialogTemplate& Template() const { return m_template; }
  CDialog* Parent() const { return m_pParent; }

  int DoModal();

  // Called by the host.
  void AttachWindow(DialogWindow* wnd) { m_pWnd = wnd; }
  DialogWindow* Window() const { return m_pWnd; }
  // Runs the first entry of the event table that matches, else the base handling.
  std::intptr_t Dispatch(EventKind kind, int id, const EventArgs& args = {});
  // Window destruction: the host calls it once, when the modal run ends.
  virtual bool DestroyWindow();

  // Overridables
  virtual bool OnInitDialog();  // template combo items, control objects, UpdateData(false)
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();      // UpdateData(true), then EndDialog(IDOK)
  virtual void OnCancel();  // EndDialog(IDCANCEL)
  virtual const EventTable* GetEventTable() const;

  // Operations
  bool UpdateData(bool saveAndValidate = true);
  void EndDialog(int result);
  void EnableControl(int id, bool enable = true);
  bool IsControlEnabled(int id) const;
  void SetDlgItemText(int id, const std::string& text);
  std::string GetDlgItemText(int id) const;
  unsigned SetTimer(unsigned id, unsigned ms);
  void KillTimer(unsigned id);
  int MessageBox(const std::string& text, const std::string& caption);
  bool GetOpenFileName(const std::string& filter, std::string& path);
  void SetIcon(IconHandle icon, bool big);
  bool IsIconic() const;
  int GetFocusControl() const;  // 0 for none
  void GotoDlgCtrl(int id);

 protected:
  void OnSysCommand(unsigned id, std::intptr_t lParam);
  void OnPaint();

 private:
  const DialogTemplate& m_template;
  CDialog* m_pParent;
  DialogWindow* m_pWnd = nullptr;
};

}  // namespace platform
