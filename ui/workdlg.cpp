// CWorkDlg: construction, control binding, the event table, initialisation, and the
// handlers that belong to the window as such (system menu, minimised painting, Enter), and
// the boxes of the dialog in the current language.
#include "ui/workdlg.h"

#include <cstring>

#include "res/artwork.h"
#include "res/dialogs.h"
#include "transmit/state.h"

using platform::EventEntry;
using platform::EventKind;

CWorkDlg::CWorkDlg(platform::CDialog* pParent)
    : platform::CDialog(res::WorkDialogTemplate(), pParent), m_hIcon(res::AppIcon()) {
  std::memset(m_szSettingsPath, 0, sizeof m_szSettingsPath);
  std::memset(m_szArchiveToolPath, 0, sizeof m_szArchiveToolPath);
}

CWorkDlg::~CWorkDlg() = default;

void CWorkDlg::DoDataExchange(platform::CDataExchange* pDX) {
  platform::CDialog::DoDataExchange(pDX);
  platform::DDX_Control(pDX, IDC_STATIC_POLICY, m_staticPolicy);
  platform::DDX_Control(pDX, IDC_STATIC_NIC, m_staticNic);
  platform::DDX_Control(pDX, IDC_STATIC_LANGUAGE, m_staticLanguage);
  platform::DDX_Control(pDX, IDC_STATIC_PATH, m_staticPath);
  platform::DDX_Control(pDX, IDC_STATIC_PACKETNO, m_staticPacketNo);
  platform::DDX_Control(pDX, IDC_STATIC_SENDTIME, m_staticSendTime);
  platform::DDX_Control(pDX, IDC_GROUP_FILEINFO, m_groupFileInfo);
  platform::DDX_Control(pDX, IDC_GROUP_CONFIG, m_groupConfig);
  platform::DDX_Control(pDX, IDC_COMBO_LANGUAGE, m_comboLanguage);
  platform::DDX_Control(pDX, IDC_COMBO_POLICY, m_comboPolicy);
  platform::DDX_Control(pDX, IDC_BTN_STOP, m_btnStop);
  platform::DDX_Control(pDX, IDC_BTN_REFRESH, m_btnRefresh);
  platform::DDX_Control(pDX, IDC_BTN_OPEN, m_btnOpen);
  platform::DDX_Control(pDX, IDC_BTN_START, m_btnStart);
  platform::DDX_Control(pDX, IDC_PROGRESS, m_progress);
  platform::DDX_Control(pDX, IDC_COMBO_NIC, m_comboNic);
  platform::DDX_Text(pDX, IDC_EDIT_PATH, m_strPath);
  platform::DDX_Text(pDX, IDC_EDIT_SENDTIME, m_strSendTime);
  platform::DDX_Text(pDX, IDC_EDIT_PACKETNO, m_strPacketNo);
  platform::DDX_Text(pDX, IDC_STATIC_VERSION, m_strVersion);
  platform::DDX_Control(pDX, IDC_CHECK_FORCE, m_checkForce);
}

// The event table, in the order of its entries.
const EventEntry CWorkDlg::kEvents[] = {
    {EventKind::SysCommand, 0, &platform::SysCommandHandler<CWorkDlg, &CWorkDlg::OnSysCommand>},
    {EventKind::Paint, 0, &platform::Handler<CWorkDlg, &CWorkDlg::OnPaint>},
    {EventKind::QueryDragIcon, 0, &platform::IconHandler<CWorkDlg, &CWorkDlg::OnQueryDragIcon>},
    {EventKind::Command, IDC_BTN_OPEN, &platform::Handler<CWorkDlg, &CWorkDlg::OnOpen>},
    {EventKind::Command, IDC_BTN_START, &platform::Handler<CWorkDlg, &CWorkDlg::OnStart>},
    {EventKind::Timer, 0, &platform::TimerHandler<CWorkDlg, &CWorkDlg::OnTimer>},
    {EventKind::Command, IDC_BTN_REFRESH, &platform::Handler<CWorkDlg, &CWorkDlg::OnRefresh>},
    {EventKind::Command, IDC_BTN_STOP, &platform::Handler<CWorkDlg, &CWorkDlg::OnStop>},
    {EventKind::SelChange, IDC_COMBO_NIC, &platform::Handler<CWorkDlg, &CWorkDlg::OnCbnSelchangeComboNic>},
    {EventKind::SelChange, IDC_COMBO_LANGUAGE, &platform::Handler<CWorkDlg, &CWorkDlg::OnCbnSelchangeComboLanguage>},
    {EventKind::Command, IDC_CHECK_FORCE, &platform::Handler<CWorkDlg, &CWorkDlg::OnBnClickedCheckForce>},
};
const platform::EventTable CWorkDlg::kEventTable = {kEvents, sizeof kEvents / sizeof kEvents[0]};

const platform::EventTable* CWorkDlg::GetEventTable() const { return &kEventTable; }

bool CWorkDlg::OnInitDialog() {
  platform::CDialog::OnInitDialog();

  // The system menu's About entry.
  if (Window() && Window()->HasSystemMenu()) {
    std::string strAboutMenu = res::LoadResourceString(IDS_ABOUTBOX);
    if (!strAboutMenu.empty()) {
      Window()->AppendSystemMenuSeparator();
      Window()->AppendSystemMenuItem(IDM_ABOUTBOX, strAboutMenu);
    }
  }

  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);

  InitSettings();
  CheckSingleInstance();
  InitControls();
  return true;
}

void CWorkDlg::OnSysCommand(unsigned nID, std::intptr_t lParam) {
  if ((nID & 0xFFF0u) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else {
    platform::CDialog::OnSysCommand(nID, lParam);
  }
}

void CWorkDlg::OnPaint() {
  if (!IsIconic()) {
    platform::CDialog::OnPaint();
    return;
  }
  platform::DialogWindow* w = Window();
  w->EraseIconBackground();
  const int cxIcon = w->SystemIconSize();
  const int cyIcon = w->SystemIconSize();
  platform::ClientSize rect = w->GetClientSize();
  const int x = (rect.cx - cxIcon + 1) / 2;
  const int y = (rect.cy - cyIcon + 1) / 2;
  w->DrawIcon(x, y, m_hIcon);
}

platform::IconHandle CWorkDlg::OnQueryDragIcon() { return m_hIcon; }

// Enter never closes the window.
void CWorkDlg::OnOK() {}

std::int32_t CWorkDlg::FileKindOf(const std::string& ext) const {
  auto it = m_mapFileKind.find(ext);
  return it == m_mapFileKind.end() ? 0 : it->second;
}

void CWorkDlg::ShowSettingsNotKept(const std::string& strFolder) {
  const int nLanguage = g_nLanguage;
  const char* pszText = texts::MessageText(texts::Message::SettingsNotKept, nLanguage);
  const char* pszCaption = texts::CaptionText(texts::Caption::Notify, nLanguage);
  if (pszText == nullptr || pszCaption == nullptr) return;
  std::string strText = pszText;
  const std::size_t nAt = strText.find("%s");
  if (nAt != std::string::npos) strText.replace(nAt, 2, strFolder);
  MessageBox(strText, pszCaption);
}

void CWorkDlg::MoveFocusFromDisabled(int nNext) {
  const int nFocus = GetFocusControl();
  if (nFocus != 0 && IsControlEnabled(nFocus)) return;
  GotoDlgCtrl(nNext);
}

void CWorkDlg::ShowMessage(texts::Message eMessage, texts::Caption eCaption) {
  const int nLanguage = g_nLanguage;
  const char* pszText = texts::MessageText(eMessage, nLanguage);
  const char* pszCaption = texts::CaptionText(eCaption, nLanguage);
  if (pszText != nullptr && pszCaption != nullptr) MessageBox(pszText, pszCaption);
}
