// The scripted dialog host: control state in memory, driven by a test.
//
// A test installs the host, says what happens when a dialog of a template is shown (a
// driver that clicks, selects, ticks timers, presses keys), queues the answers of file
// dialogs, and reads back what the dialogs did: every message box with its text, caption
// and owner, every file dialog with its filter, and the order of events in a log. A box that
// another thread asks for (the worker's own, owned by no window) waits until the user-
// interface thread pumps it; the asking thread stays blocked until then.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialog.h"

namespace platform::headless {

struct ControlState {
  const ControlTemplate* tpl = nullptr;
  bool enabled = true;
  bool visible = true;
  std::string text;                 // caption, edit text, combo edit field
  std::vector<std::string> items;   // combo box
  int curSel = CB_ERR;
  int check = 0;
  int pos = 0;                      // progress
  int repaints = 0;                 // immediate repaints asked for
};

enum class Owner { Dialog, None, Application };

struct MessageBoxRecord {
  std::string text;
  std::string caption;
  Owner owner = Owner::Dialog;
  int ownerTemplate = 0;         // the owning dialog's template id (Owner::Dialog)
  bool ownerVisible = false;     // whether that dialog's window was shown already
  bool fromOtherThread = false;  // asked for by a thread other than the user-interface one
};

struct FileDialogRecord {
  std::string filter;
  int ownerTemplate = 0;
};

class HeadlessHost;

class HeadlessWindow : public DialogWindow {
 public:
  HeadlessWindow(HeadlessHost& host, CDialog& dlg);

  // --- what a test does ---
  bool Click(int id);                  // a push button or the check box; false if it cannot be clicked
  bool SelectItem(int id, int index);  // the operator picks an item of a combo box
  bool TickTimer(unsigned id);         // one tick of a running timer; false if it is not running
  void PressEnter();
  void PressEscape();
  void CloseBox();
  void SystemCommand(unsigned nID, std::intptr_t lParam = 0);
  void Paint();
  std::intptr_t QueryDragIcon();
  bool SetFocus(int id);
  void SetIconic(bool iconic) { m_bIconic = iconic; }

  // --- what a test reads ---
  const ControlState& Control(int id) const;
  bool HasControl(int id) const { return m_controls.count(id) != 0; }
  int Focus() const { return m_nFocus; }
  bool Shown() const { return m_bShown; }
  bool Ended() const { return m_bEnded; }
  int Result() const { return m_nResult; }
  CDialog& Dialog() { return m_dlg; }
  const std::map<unsigned, unsigned>& Timers() const { return m_timers; }
  struct MenuItem {
    bool separator;
    unsigned id;
    std::string text;
  };
  const std::vector<MenuItem>& SystemMenu() const { return m_sysMenu; }
  IconHandle BigIcon() const { return m_bigIcon; }
  IconHandle SmallIcon() const { return m_smallIcon; }
  struct IconDrawing {
    int x, y;
    IconHandle icon;
  };
  const std::vector<IconDrawing>& IconDrawings() const { return m_drawings; }
  int IconBackgroundErasures() const { return m_nErasures; }
  const std::vector<unsigned>& DefaultSysCommands() const { return m_defaultSysCommands; }

  // --- DialogWindow ---
  void EnableControl(int id, bool enable) override;
  bool IsControlEnabled(int id) const override;
  bool IsControlVisible(int id) const override;
  void SetControlText(int id, const std::string& text) override;
  std::string GetControlText(int id) const override;
  void ComboResetContent(int id) override;
  int ComboAddString(int id, const std::string& text) override;
  int ComboGetCount(int id) const override;
  int ComboSetCurSel(int id, int index) override;
  int ComboGetCurSel(int id) const override;
  std::string ComboGetItemText(int id, int index) const override;
  void SetProgressPos(int id, int pos) override;
  int GetProgressPos(int id) const override;
  void RepaintControl(int id) override;
  int GetCheck(int id) const override;
  void SetCheck(int id, int state) override;
  int GetFocusControl() const override { return m_nFocus; }
  void SetFocusControl(int id) override;
  void SetTimer(unsigned id, unsigned ms) override;
  void KillTimer(unsigned id) override;
  int MessageBox(const std::string& text, const std::string& caption) override;
  bool GetOpenFileName(const std::string& filter, std::string& path) override;
  void SetIcon(IconHandle icon, bool big) override;
  bool HasSystemMenu() const override;
  void AppendSystemMenuSeparator() override;
  void AppendSystemMenuItem(unsigned commandId, const std::string& text) override;
  void DefaultSysCommand(unsigned id, std::intptr_t lParam) override;
  bool IsIconic() const override { return m_bIconic; }
  ClientSize GetClientSize() const override;
  int SystemIconSize() const override { return 32; }
  void EraseIconBackground() override { ++m_nErasures; }
  void DrawIcon(int x, int y, IconHandle icon) override { m_drawings.push_back({x, y, icon}); }
  void DefaultPaint() override { ++m_nDefaultPaints; }
  void EndDialog(int result) override;

  int DefaultPaints() const { return m_nDefaultPaints; }

 private:
  friend class HeadlessHost;
  ControlState* Find(int id);
  const ControlState* Find(int id) const;

  HeadlessHost& m_host;
  CDialog& m_dlg;
  std::map<int, ControlState> m_controls;
  std::vector<int> m_order;  // ids in template order
  std::map<unsigned, unsigned> m_timers;
  std::vector<MenuItem> m_sysMenu;
  std::vector<IconDrawing> m_drawings;
  std::vector<unsigned> m_defaultSysCommands;
  IconHandle m_bigIcon = nullptr;
  IconHandle m_smallIcon = nullptr;
  int m_nFocus = 0;
  int m_nErasures = 0;
  int m_nDefaultPaints = 0;
  bool m_bShown = false;
  bool m_bEnded = false;
  bool m_bIconic = false;
  int m_nResult = 0;
};

class HeadlessHost : public DialogHost {
 public:
  using Driver = std::function<void(HeadlessWindow&)>;

  HeadlessHost();  // installs itself as the dialog host and the unowned-box handler
  ~HeadlessHost() override;
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // The next shown dialog of this template runs this driver (one driver per showing, in
  // the order given). A dialog still open when its driver returns, or one without a
  // driver, gets Escape.
  void OnShow(int templateId, Driver driver);
  // The answer of the next file dialog: a path, or nullopt for Cancel. Without an answer
  // a file dialog is cancelled.
  void AnswerFileDialog(std::optional<std::string> path);

  const std::vector<MessageBoxRecord>& MessageBoxes() const { return m_boxes; }
  const std::vector<FileDialogRecord>& FileDialogs() const { return m_fileDialogs; }
  // "create 102", "show 102", "box 102 <caption>: <text>", "file 102", "destroy 102", ...
  const std::vector<std::string>& Log() const { return m_log; }
  // Windows open now, the innermost last.
  const std::vector<HeadlessWindow*>& Windows() const { return m_windows; }

  // Answers the boxes other threads asked for; waits up to `wait` for the first one.
  // Returns how many were answered.
  int PumpUnownedBoxes(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  // --- DialogHost ---
  int RunModal(CDialog& dlg, CDialog* owner) override;
  void ApplicationMessageBox(const std::string& text, const std::string& caption) override;
  [[noreturn]] void ExitProcess(int status) override;
  void SetLanguage(int language) override { m_nLanguage = language; }
  // The language the dialog last told the host (-1 before it told any).
  int Language() const { return m_nLanguage; }

 private:
  friend class HeadlessWindow;
  static void UnownedHandler(const char* text, const char* caption);
  void UnownedBox(const char* text, const char* caption);
  void Record(const MessageBoxRecord& r);
  void AddLog(std::string line) { m_log.push_back(std::move(line)); }

  struct PendingBox {
    std::string text, caption;
    bool answered = false;
  };

  std::thread::id m_uiThread;
  std::map<int, std::deque<Driver>> m_drivers;
  std::deque<std::optional<std::string>> m_fileAnswers;
  std::vector<MessageBoxRecord> m_boxes;
  std::vector<FileDialogRecord> m_fileDialogs;
  std::vector<std::string> m_log;
  std::vector<HeadlessWindow*> m_windows;
  int m_nLanguage = -1;

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::shared_ptr<PendingBox>> m_pending;
};

}  // namespace platform::headless
