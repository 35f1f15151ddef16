#include "platform/dialog.h"

#include <cstdlib>

namespace platform {
namespace {

DialogHost* g_pHost = nullptr;

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

int CompareNoCase(const std::string& a, const std::string& b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = Lower(static_cast<unsigned char>(a[i]));
    unsigned char y = Lower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(static_cast<unsigned char>(text[i])) != Lower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

bool Match(const char* n, const char* p) {
  // Iterative wildcard match with one back-tracking point, the usual way.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*n) {
    if (*p == '*') {
      star = p++;
      resume = n;
    } else if (*p == '?' || (*p && Lower(static_cast<unsigned char>(*p)) == Lower(static_cast<unsigned char>(*n)))) {
      ++p;
      ++n;
    } else if (star) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

const ControlTemplate* DialogTemplate::Find(int controlId) const {
  for (std::size_t i = 0; i < controlCount; ++i) {
    if (controls[i].id == controlId) return &controls[i];
  }
  return nullptr;
}

std::size_t SortedInsertIndex(const std::vector<std::string>& items, const std::string& text) {
  std::size_t i = 0;
  while (i < items.size() && CompareNoCase(items[i], text) <= 0) ++i;
  return i;
}

int FindItemByPrefix(const std::vector<std::string>& items, int startAfter, const std::string& prefix) {
  const int n = static_cast<int>(items.size());
  if (n == 0) return CB_ERR;
  int first = (startAfter < 0 || startAfter >= n) ? 0 : startAfter + 1;
  for (int k = 0; k < n; ++k) {
    int i = (first + k) % n;
    if (StartsWithNoCase(items[static_cast<std::size_t>(i)], prefix)) return i;
  }
  return CB_ERR;
}

std::vector<std::pair<std::string, std::string>> ParseFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : filter) {
    if (c == '|') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) break;  // "||" ends the list
    pairs.emplace_back(parts[i], parts[i + 1]);
  }
  return pairs;
}

bool MatchesFilePattern(const std::string& name, const std::string& pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  return Match(name.c_str(), pattern.c_str());
}

bool MatchesFilePatternList(const std::string& name, const std::string& patterns) {
  std::size_t start = 0;
  while (start <= patterns.size()) {
    std::size_t end = patterns.find(';', start);
    if (end == std::string::npos) end = patterns.size();
    std::string p = Trim(patterns.substr(start, end - start));
    if (!p.empty() && MatchesFilePattern(name, p)) return true;
    start = end + 1;
  }
  return false;
}

std::string StripMnemonics(const std::string& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) {
      ++i;  // "&&" keeps one '&'; "&x" keeps x
    } else if (caption[i] == '&') {
      continue;
    }
    out += caption[i];
  }
  return out;
}

void SetDialogHost(DialogHost* host) { g_pHost = host; }
DialogHost* GetDialogHost() { return g_pHost; }
void SetHostLanguage(int language) {
  if (g_pHost) g_pHost->SetLanguage(language);
}

// --- control objects --------------------------------------------------------------------

DialogWindow* CWnd::Window() const { return m_pDlg ? m_pDlg->Window() : nullptr; }

void CWnd::EnableWindow(bool enable) {
  if (DialogWindow* w = Window()) w->EnableControl(m_nID, enable);
}
bool CWnd::IsWindowEnabled() const {
  DialogWindow* w = Window();
  return w && w->IsControlEnabled(m_nID);
}
bool CWnd::IsWindowVisible() const {
  DialogWindow* w = Window();
  return w && w->IsControlVisible(m_nID);
}
void CWnd::SetWindowText(const std::string& text) {
  if (DialogWindow* w = Window()) w->SetControlText(m_nID, text);
}
std::string CWnd::GetWindowText() const {
  DialogWindow* w = Window();
  return w ? w->GetControlText(m_nID) : std::string();
}

int CButton::GetCheck() const {
  DialogWindow* w = Window();
  return w ? w->GetCheck(m_nID) : 0;
}
void CButton::SetCheck(int state) {
  if (DialogWindow* w = Window()) w->SetCheck(m_nID, state);
}

void CComboBox::ResetContent() {
  if (DialogWindow* w = Window()) w->ComboResetContent(m_nID);
}
int CComboBox::AddString(const std::string& text) {
  DialogWindow* w = Window();
  return w ? w->ComboAddString(m_nID, text) : CB_ERR;
}
int CComboBox::GetCount() const {
  DialogWindow* w = Window();
  return w ? w->ComboGetCount(m_nID) : 0;
}
int CComboBox::SetCurSel(int index) {
  DialogWindow* w = Window();
  return w ? w->ComboSetCurSel(m_nID, index) : CB_ERR;
}
int CComboBox::GetCurSel() const {
  DialogWindow* w = Window();
  return w ? w->ComboGetCurSel(m_nID) : CB_ERR;
}
std::string CComboBox::GetLBText(int index) const {
  DialogWindow* w = Window();
  return w ? w->ComboGetItemText(m_nID, index) : std::string();
}
int CComboBox::FindString(int startAfter, const std::string& prefix) const {
  std::vector<std::string> items;
  const int n = GetCount();
  for (int i = 0; i < n; ++i) items.push_back(GetLBText(i));
  return FindItemByPrefix(items, startAfter, prefix);
}

void CProgressCtrl::SetPos(int pos) {
  if (DialogWindow* w = Window()) w->SetProgressPos(m_nID, pos);
}
int CProgressCtrl::GetPos() const {
  DialogWindow* w = Window();
  return w ? w->GetProgressPos(m_nID) : 0;
}
void CProgressCtrl::UpdateWindow() {
  if (DialogWindow* w = Window()) w->RepaintControl(m_nID);
}

// --- data exchange ----------------------------------------------------------------------

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (!control.IsAttached()) control.Attach(pDX->m_pDlgWnd, id);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
  if (pDX->m_bSaveAndValidate) {
    value = pDX->m_pDlgWnd->GetDlgItemText(id);
  } else {
    pDX->m_pDlgWnd->SetDlgItemText(id, value);
  }
}

// --- the dialog -------------------------------------------------------------------------

CDialog::CDialog(const DialogTemplate& tpl, CDialog* parent) : m_template(tpl), m_pParent(parent) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
  DialogHost* host = GetDialogHost();
  if (!host) return -1;
  return host->RunModal(*this, m_pParent);
}

std::intptr_t CDialog::Dispatch(EventKind kind, int id, const EventArgs& args) {
  if (const EventTable* table = GetEventTable()) {
    for (std::size_t i = 0; i < table->count; ++i) {
      const EventEntry& e = table->entries[i];
      if (e.kind == kind && e.id == id) return e.thunk(*this, args);
    }
  }
  switch (kind) {
    case EventKind::Command:
      if (id == IDOK) OnOK();
      if (id == IDCANCEL) OnCancel();
      return 0;
    case EventKind::SysCommand:
      OnSysCommand(args.nID, args.lParam);
      return 0;
    case EventKind::Paint:
      OnPaint();
      return 0;
    case EventKind::QueryDragIcon:
    case EventKind::SelChange:
    case EventKind::Timer:
      return 0;
  }
  return 0;
}

bool CDialog::DestroyWindow() { return m_pWnd != nullptr; }

bool CDialog::OnInitDialog() {
  for (std::size_t i = 0; i < m_template.initItemCount; ++i) {
    const ComboInitItem& item = m_template.initItems[i];
    if (m_pWnd) m_pWnd->ComboAddString(item.id, item.text);
  }
  UpdateData(false);
  return true;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

const EventTable* CDialog::GetEventTable() const { return nullptr; }

bool CDialog::UpdateData(bool saveAndValidate) {
  if (!m_pWnd) return false;
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return true;
}

void CDialog::EndDialog(int result) {
  if (m_pWnd) m_pWnd->EndDialog(result);
}

void CDialog::EnableControl(int id, bool enable) {
  if (m_pWnd) m_pWnd->EnableControl(id, enable);
}

bool CDialog::IsControlEnabled(int id) const { return m_pWnd && m_pWnd->IsControlEnabled(id); }

void CDialog::SetDlgItemText(int id, const std::string& text) {
  if (m_pWnd) m_pWnd->SetControlText(id, text);
}

std::string CDialog::GetDlgItemText(int id) const { return m_pWnd ? m_pWnd->GetControlText(id) : std::string(); }

unsigned CDialog::SetTimer(unsigned id, unsigned ms) {
  if (!m_pWnd) return 0;
  m_pWnd->SetTimer(id, ms);
  return id;
}

void CDialog::KillTimer(unsigned id) {
  if (m_pWnd) m_pWnd->KillTimer(id);
}

int CDialog::MessageBox(const std::string& text, const std::string& caption) {
  return m_pWnd ? m_pWnd->MessageBox(text, caption) : IDOK;
}

bool CDialog::GetOpenFileName(const std::string& filter, std::string& path) {
  return m_pWnd && m_pWnd->GetOpenFileName(filter, path);
}

void CDialog::SetIcon(IconHandle icon, bool big) {
  if (m_pWnd) m_pWnd->SetIcon(icon, big);
}

bool CDialog::IsIconic() const { return m_pWnd && m_pWnd->IsIconic(); }

int CDialog::GetFocusControl() const { return m_pWnd ? m_pWnd->GetFocusControl() : 0; }

void CDialog::GotoDlgCtrl(int id) {
  if (m_pWnd) m_pWnd->SetFocusControl(id);
}

void CDialog::OnSysCommand(unsigned id, std::intptr_t lParam) {
  if ((id & 0xFFF0u) == SC_CLOSE) {
    Dispatch(EventKind::Command, IDCANCEL);  // Close goes the Cancel way
    return;
  }
  if (m_pWnd) m_pWnd->DefaultSysCommand(id, lParam);
}

void CDialog::OnPaint() {
  if (m_pWnd) m_pWnd->DefaultPaint();
}

}  // namespace platform
