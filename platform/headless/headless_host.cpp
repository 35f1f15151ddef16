#include "platform/headless/headless_host.h"

#include <cstdio>
#include <cstdlib>

#include "platform/msgbox.h"

namespace platform::headless {
namespace {

HeadlessHost* g_pInstance = nullptr;
const ControlState kNoControl{};

std::string Num(int n) { return std::to_string(n); }

}  // namespace

// --- window ---------------------------------------------------------------------------

HeadlessWindow::HeadlessWindow(HeadlessHost& host, CDialog& dlg) : m_host(host), m_dlg(dlg) {
  const DialogTemplate& t = dlg.Template();
  int anonymous = -1000;  // controls without an id get keys of their own
  for (std::size_t i = 0; i < t.controlCount; ++i) {
    const ControlTemplate& c = t.controls[i];
    ControlState s;
    s.tpl = &c;
    s.enabled = (c.flags & kCtlDisabled) == 0;
    s.visible = (c.flags & kCtlHidden) == 0;
    if (c.caption) s.text = c.caption;
    int key = c.id == -1 ? anonymous-- : c.id;
    m_controls[key] = s;
    m_order.push_back(key);
  }
}

ControlState* HeadlessWindow::Find(int id) {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : &it->second;
}
const ControlState* HeadlessWindow::Find(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : &it->second;
}

const ControlState& HeadlessWindow::Control(int id) const {
  const ControlState* s = Find(id);
  return s ? *s : kNoControl;
}

bool HeadlessWindow::Click(int id) {
  ControlState* s = Find(id);
  if (m_bEnded || !s || !s->enabled || !s->visible) return false;
  if (s->tpl->kind == ControlKind::CheckBox) {
    s->check = s->check ? 0 : 1;
  } else if (s->tpl->kind != ControlKind::PushButton) {
    return false;
  }
  m_nFocus = id;
  m_dlg.Dispatch(EventKind::Command, id);
  return true;
}

bool HeadlessWindow::SelectItem(int id, int index) {
  ControlState* s = Find(id);
  if (m_bEnded || !s || !s->enabled || !s->visible || s->tpl->kind != ControlKind::ComboBox) return false;
  if (index < 0 || index >= static_cast<int>(s->items.size())) return false;
  m_nFocus = id;
  s->curSel = index;
  s->text = s->items[static_cast<std::size_t>(index)];
  m_dlg.Dispatch(EventKind::SelChange, id);
  return true;
}

bool HeadlessWindow::TickTimer(unsigned id) {
  m_host.PumpUnownedBoxes();
  if (m_bEnded || m_timers.count(id) == 0) return false;
  EventArgs a;
  a.nID = id;
  m_dlg.Dispatch(EventKind::Timer, 0, a);
  return true;
}

void HeadlessWindow::PressEnter() {
  const ControlState* f = Find(m_nFocus);
  if (f && f->tpl->kind == ControlKind::PushButton) {
    Click(m_nFocus);
    return;
  }
  for (int id : m_order) {
    const ControlState& s = m_controls[id];
    if (s.tpl->kind == ControlKind::PushButton && (s.tpl->flags & kCtlDefault)) {
      Click(id);
      return;
    }
  }
  m_dlg.Dispatch(EventKind::Command, IDOK);
}

void HeadlessWindow::PressEscape() { m_dlg.Dispatch(EventKind::Command, IDCANCEL); }

void HeadlessWindow::CloseBox() { SystemCommand(SC_CLOSE); }

void HeadlessWindow::SystemCommand(unsigned nID, std::intptr_t lParam) {
  EventArgs a;
  a.nID = nID;
  a.lParam = lParam;
  m_dlg.Dispatch(EventKind::SysCommand, 0, a);
}

void HeadlessWindow::Paint() { m_dlg.Dispatch(EventKind::Paint, 0); }

std::intptr_t HeadlessWindow::QueryDragIcon() { return m_dlg.Dispatch(EventKind::QueryDragIcon, 0); }

bool HeadlessWindow::SetFocus(int id) {
  const ControlState* s = Find(id);
  if (!s || !s->enabled || !s->visible) return false;
  m_nFocus = id;
  return true;
}

// The program gives the focus (SetFocus above is the operator's, who cannot reach a disabled
// control). A control disabled while it has the focus still counts as the focus, as the real
// hosts report it.
void HeadlessWindow::SetFocusControl(int id) {
  if (Find(id)) m_nFocus = id;
}

void HeadlessWindow::EnableControl(int id, bool enable) {
  if (ControlState* s = Find(id)) s->enabled = enable;
}
bool HeadlessWindow::IsControlEnabled(int id) const {
  const ControlState* s = Find(id);
  return s && s->enabled;
}
bool HeadlessWindow::IsControlVisible(int id) const {
  const ControlState* s = Find(id);
  return s && s->visible && m_bShown;
}
void HeadlessWindow::SetControlText(int id, const std::string& text) {
  if (ControlState* s = Find(id)) s->text = text;
}
std::string HeadlessWindow::GetControlText(int id) const {
  const ControlState* s = Find(id);
  return s ? s->text : std::string();
}

void HeadlessWindow::ComboResetContent(int id) {
  if (ControlState* s = Find(id)) {
    s->items.clear();
    s->curSel = CB_ERR;
    if (s->tpl->flags & kCtlDropDownList) s->text.clear();
  }
}
int HeadlessWindow::ComboAddString(int id, const std::string& text) {
  ControlState* s = Find(id);
  if (!s || s->tpl->kind != ControlKind::ComboBox) return CB_ERR;
  std::size_t at = (s->tpl->flags & kCtlSorted) ? SortedInsertIndex(s->items, text) : s->items.size();
  s->items.insert(s->items.begin() + static_cast<std::ptrdiff_t>(at), text);
  if (s->curSel != CB_ERR && s->curSel >= static_cast<int>(at)) ++s->curSel;
  return static_cast<int>(at);
}
int HeadlessWindow::ComboGetCount(int id) const {
  const ControlState* s = Find(id);
  return s ? static_cast<int>(s->items.size()) : 0;
}
int HeadlessWindow::ComboSetCurSel(int id, int index) {
  ControlState* s = Find(id);
  if (!s) return CB_ERR;
  if (index < 0 || index >= static_cast<int>(s->items.size())) {
    s->curSel = CB_ERR;
    if (s->tpl->flags & kCtlDropDownList) s->text.clear();
    return CB_ERR;
  }
  s->curSel = index;
  s->text = s->items[static_cast<std::size_t>(index)];
  return index;
}
int HeadlessWindow::ComboGetCurSel(int id) const {
  const ControlState* s = Find(id);
  return s ? s->curSel : CB_ERR;
}
std::string HeadlessWindow::ComboGetItemText(int id, int index) const {
  const ControlState* s = Find(id);
  if (!s || index < 0 || index >= static_cast<int>(s->items.size())) return {};
  return s->items[static_cast<std::size_t>(index)];
}

void HeadlessWindow::SetProgressPos(int id, int pos) {
  if (ControlState* s = Find(id)) s->pos = pos < 0 ? 0 : (pos > 100 ? 100 : pos);
}
int HeadlessWindow::GetProgressPos(int id) const {
  const ControlState* s = Find(id);
  return s ? s->pos : 0;
}
void HeadlessWindow::RepaintControl(int id) {
  if (ControlState* s = Find(id)) ++s->repaints;
}
int HeadlessWindow::GetCheck(int id) const {
  const ControlState* s = Find(id);
  return s ? s->check : 0;
}
void HeadlessWindow::SetCheck(int id, int state) {
  if (ControlState* s = Find(id)) s->check = state;
}

void HeadlessWindow::SetTimer(unsigned id, unsigned ms) { m_timers[id] = ms; }
void HeadlessWindow::KillTimer(unsigned id) { m_timers.erase(id); }

int HeadlessWindow::MessageBox(const std::string& text, const std::string& caption) {
  MessageBoxRecord r;
  r.text = text;
  r.caption = caption;
  r.owner = Owner::Dialog;
  r.ownerTemplate = m_dlg.Template().id;
  r.ownerVisible = m_bShown;
  m_host.Record(r);
  return IDOK;
}

bool HeadlessWindow::GetOpenFileName(const std::string& filter, std::string& path) {
  m_host.m_fileDialogs.push_back({filter, m_dlg.Template().id});
  m_host.AddLog("file " + Num(m_dlg.Template().id) + " " + filter);
  if (m_host.m_fileAnswers.empty()) return false;
  std::optional<std::string> answer = m_host.m_fileAnswers.front();
  m_host.m_fileAnswers.pop_front();
  if (!answer) return false;
  path = *answer;
  return true;
}

void HeadlessWindow::SetIcon(IconHandle icon, bool big) { (big ? m_bigIcon : m_smallIcon) = icon; }
bool HeadlessWindow::HasSystemMenu() const { return (m_dlg.Template().flags & kDlgSysMenu) != 0; }
void HeadlessWindow::AppendSystemMenuSeparator() { m_sysMenu.push_back({true, 0, {}}); }
void HeadlessWindow::AppendSystemMenuItem(unsigned commandId, const std::string& text) {
  m_sysMenu.push_back({false, commandId, text});
}
void HeadlessWindow::DefaultSysCommand(unsigned id, std::intptr_t) {
  m_defaultSysCommands.push_back(id);
  if ((id & 0xFFF0u) == SC_MINIMIZE && (m_dlg.Template().flags & kDlgMinimizeBox)) m_bIconic = true;
  if ((id & 0xFFF0u) == SC_RESTORE) m_bIconic = false;
}

ClientSize HeadlessWindow::GetClientSize() const {
  // Nominal base units 6 x 13 (a 10 point serif face); only proportions matter here.
  const DialogTemplate& t = m_dlg.Template();
  return {t.cx * 6 / 4, t.cy * 13 / 8};
}

void HeadlessWindow::EndDialog(int result) {
  if (m_bEnded) return;
  m_bEnded = true;
  m_nResult = result;
  m_host.AddLog("end " + Num(m_dlg.Template().id) + " " + Num(result));
}

// --- host -----------------------------------------------------------------------------

HeadlessHost::HeadlessHost() : m_uiThread(std::this_thread::get_id()) {
  g_pInstance = this;
  SetDialogHost(this);
  SetMessageBoxHandler(&HeadlessHost::UnownedHandler);
}

HeadlessHost::~HeadlessHost() {
  SetMessageBoxHandler(nullptr);
  if (GetDialogHost() == this) SetDialogHost(nullptr);
  if (g_pInstance == this) g_pInstance = nullptr;
}

void HeadlessHost::OnShow(int templateId, Driver driver) { m_drivers[templateId].push_back(std::move(driver)); }

void HeadlessHost::AnswerFileDialog(std::optional<std::string> path) { m_fileAnswers.push_back(std::move(path)); }

void HeadlessHost::Record(const MessageBoxRecord& r) {
  m_boxes.push_back(r);
  std::string owner = r.owner == Owner::Dialog ? Num(r.ownerTemplate) : (r.owner == Owner::None ? "none" : "app");
  AddLog("box " + owner + " " + r.caption + ": " + r.text);
}

int HeadlessHost::RunModal(CDialog& dlg, CDialog* /*owner*/) {
  const int id = dlg.Template().id;
  HeadlessWindow wnd(*this, dlg);
  m_windows.push_back(&wnd);
  dlg.AttachWindow(&wnd);
  AddLog("create " + Num(id));
  if (dlg.OnInitDialog()) {
    for (int key : wnd.m_order) {
      const ControlState& s = wnd.m_controls[key];
      if ((s.tpl->flags & kCtlTabStop) && s.enabled && s.visible) {
        wnd.m_nFocus = key;
        break;
      }
    }
  }
  if (!wnd.m_bEnded) {
    wnd.m_bShown = true;
    AddLog("show " + Num(id));
    auto it = m_drivers.find(id);
    if (it != m_drivers.end() && !it->second.empty()) {
      Driver d = std::move(it->second.front());
      it->second.pop_front();
      d(wnd);
    }
    if (!wnd.m_bEnded) wnd.PressEscape();
    if (!wnd.m_bEnded) wnd.EndDialog(IDCANCEL);
  }
  dlg.DestroyWindow();
  AddLog("destroy " + Num(id));
  dlg.AttachWindow(nullptr);
  m_windows.pop_back();
  return wnd.m_nResult;
}

void HeadlessHost::ApplicationMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxRecord r;
  r.text = text;
  r.caption = caption;
  r.owner = Owner::Application;
  Record(r);
}

void HeadlessHost::ExitProcess(int status) {
  // What the process showed goes to standard error, for a test that watches it end.
  for (const std::string& line : m_log) std::fprintf(stderr, "%s\n", line.c_str());
  std::fprintf(stderr, "exit %d\n", status);
  std::fflush(stderr);
  std::exit(status);
}

void HeadlessHost::UnownedHandler(const char* text, const char* caption) {
  if (g_pInstance) g_pInstance->UnownedBox(text, caption);
}

void HeadlessHost::UnownedBox(const char* text, const char* caption) {
  if (std::this_thread::get_id() == m_uiThread) {
    MessageBoxRecord r;
    r.text = text ? text : "";
    r.caption = caption ? caption : "";
    r.owner = Owner::None;
    Record(r);
    return;
  }
  auto box = std::make_shared<PendingBox>();
  box->text = text ? text : "";
  box->caption = caption ? caption : "";
  std::unique_lock<std::mutex> lock(m_mutex);
  m_pending.push_back(box);
  m_cv.notify_all();
  m_cv.wait(lock, [&] { return box->answered; });
}

int HeadlessHost::PumpUnownedBoxes(std::chrono::milliseconds wait) {
  std::deque<std::shared_ptr<PendingBox>> boxes;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (wait.count() > 0) m_cv.wait_for(lock, wait, [&] { return !m_pending.empty(); });
    boxes.swap(m_pending);
  }
  for (auto& b : boxes) {
    MessageBoxRecord r;
    r.text = b->text;
    r.caption = b->caption;
    r.owner = Owner::None;
    r.fromOtherThread = true;
    Record(r);
    std::lock_guard<std::mutex> lock(m_mutex);
    b->answered = true;
  }
  if (!boxes.empty()) m_cv.notify_all();
  return static_cast<int>(boxes.size());
}

}  // namespace platform::headless
