// CWorkDlg's file analysis: the notice while it runs, the kind by extension, the version
// routines over the inspection code, the verdict in the version line and the control states
// that follow from it.
#include "inspect/analysis.h"
#include "inspect/filekind.h"
#include "res/texts.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

namespace {

std::string VersionText(texts::VersionText eText) {
  const char* pszText = texts::VersionLineText(eText, g_nLanguage);
  return pszText != nullptr ? std::string(pszText) : std::string();
}

}  // namespace

void CWorkDlg::ShowAnalysingNotice() {
  m_strVersion = VersionText(texts::VersionText::Analysing);
  UpdateData(false);
  m_comboLanguage.EnableWindow(false);
  g_nFilePolicy = inspect::kPolicyNone;
  m_strVersion.clear();  // the line goes on showing the notice until the next refresh
}

void CWorkDlg::AnalyseFileVersion() {
  ShowAnalysingNotice();
  const int nLanguage = g_nLanguage;
  auto box = [this](const char* pszText, const char* pszCaption) { MessageBox(pszText, pszCaption); };

  // The outcome is told by its kind, not by comparing the returned text with "Error" and
  // "Size": a version line can never be taken for a failure.
  inspect::SVersionResult result;  // Error: the failure ending
  switch (FileKindOf(m_strFileExt)) {
    case inspect::kFileKindTrx:
      result = inspect::ReadTrxVersion(g_szFilePath, nLanguage);
      g_nFilePolicy = inspect::kPolicyTrx;
      break;
    case inspect::kFileKindBin:
      result = inspect::ReadBinVersion(g_szFilePath, nLanguage, box);
      g_nFilePolicy = inspect::kPolicyBin;
      break;
    default:
      break;
  }

  switch (result.eOutcome) {
    case inspect::EVersionOutcome::Version:
      m_strVersion = result.strText;
      m_btnStart.EnableWindow(true);
      m_btnOpen.EnableWindow(true);
      m_comboLanguage.EnableWindow(true);
      break;
    case inspect::EVersionOutcome::SizeWrong:
      m_strVersion = VersionText(texts::VersionText::SizeWrong);
      m_btnOpen.EnableWindow(true);
      m_comboLanguage.EnableWindow(true);
      break;
    case inspect::EVersionOutcome::Error:
      m_strVersion = VersionText(texts::VersionText::Failure);
      m_btnOpen.EnableWindow(true);
      m_comboLanguage.EnableWindow(true);
      break;
  }
  UpdateData(false);
}

std::string CWorkDlg::GetTrxVersion(const char* pszPath) { return inspect::GetTrxVersion(pszPath, g_nLanguage); }

std::string CWorkDlg::GetBinVersion(const char* pszPath) {
  return inspect::GetBinVersion(pszPath, g_nLanguage,
                                [this](const char* pszText, const char* pszCaption) { MessageBox(pszText, pszCaption); });
}

int CWorkDlg::CheckBinFile(const char* pszPath, std::string& strVersion) {
  return inspect::CheckBinFile(pszPath, strVersion, g_nLanguage,
                               [this](const char* pszText, const char* pszCaption) { MessageBox(pszText, pszCaption); });
}
