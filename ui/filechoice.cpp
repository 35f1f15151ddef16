// File choice: the Open button, its refusal while sending, the open-file dialog with the
// filter of the upgrade policy, and the force-upgrade check box.
#include <cstring>

#include "inspect/filekind.h"
#include "res/texts.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

namespace {

// The open-file dialog's filter for policy 1, the only policy of a run.
constexpr const char kBinFileFilter[] = "Upgrade Files (*.bin)|*.bin|All Files(*.*)|*.*|";

}  // namespace

void CWorkDlg::OnOpen() {
  if (RefuseWhileSending() != 0) return;
  ChooseUpgradeFile();
}

int CWorkDlg::RefuseWhileSending() {
  if (g_bSending == 1) ShowMessage(texts::Message::StopFirst, texts::Caption::Prompt);
  return g_bSending;
}

void CWorkDlg::ChooseUpgradeFile() {
  std::string strChosen;
  if (!GetOpenFileName(GetFileFilter(), strChosen)) return;  // cancelled: nothing changes
  std::memset(g_szFilePath, 0, sizeof g_szFilePath);
  m_strPath = strChosen;
  std::strncpy(g_szFilePath, m_strPath.c_str(), sizeof g_szFilePath - 1);
  m_strFileExt = inspect::FileExtensionOf(m_strPath);
  UpdateData(false);
  m_btnOpen.EnableWindow(false);
  m_btnStart.EnableWindow(false);
  AnalyseFileVersion();
  // Open had the focus (or it rests on a control the analysis left disabled): the next step
  // is Start for an accepted file, else another choice.
  const int nFocus = GetFocusControl();
  if (nFocus == 0 || nFocus == IDC_BTN_OPEN || !IsControlEnabled(nFocus))
    GotoDlgCtrl(m_btnStart.IsWindowEnabled() ? IDC_BTN_START : IDC_BTN_OPEN);
}

// Every policy of the policy box offers the same filter: the box is hidden and the policy
// stays 1 for the whole run.
std::string CWorkDlg::GetFileFilter() const { return kBinFileFilter; }

void CWorkDlg::OnBnClickedCheckForce() {
  const int nState = m_checkForce.GetCheck();
  if (nState == 1) g_bForceUpgrade = 1;
  if (nState == 0) g_bForceUpgrade = 0;
}
