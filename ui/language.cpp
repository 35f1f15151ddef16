// The language switch: captions of the main window, the translation of the version line by
// the dictionary, the stored language; and InitControls, the controls' first state.
#include <string>

#include "res/texts.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

namespace {

// Every non-overlapping occurrence of `from`, found from left to right, becomes `to`; the
// text put in is not searched again.
void ReplaceAll(std::string& strText, const std::string& strFrom, const std::string& strTo) {
  if (strFrom.empty()) return;
  std::string::size_type nPos = 0;
  while ((nPos = strText.find(strFrom, nPos)) != std::string::npos) {
    strText.replace(nPos, strFrom.size(), strTo);
    nPos += strTo.size();
  }
}

}  // namespace

std::string TranslateVersionLine(const std::string& strLine, int nLanguage) {
  std::string strOut = strLine;
  if (nLanguage != 0 && nLanguage != 1) return strOut;
  for (const texts::SVersionPair& pair : texts::VersionDictionary()) {
    if (nLanguage == 0) {
      ReplaceAll(strOut, pair.pszChinese, pair.pszEnglish);
    } else {
      ReplaceAll(strOut, pair.pszEnglish, pair.pszChinese);
    }
  }
  return strOut;
}

void CWorkDlg::OnCbnSelchangeComboLanguage() {
  UpdateData(true);  // the version line's member now holds what the line shows
  const int nIndex = m_comboLanguage.GetCurSel();
  if (nIndex == 0 || nIndex == 1) {
    g_nLanguage = nIndex;
    platform::SetHostLanguage(nIndex);
    for (const texts::SControlCaption& row : texts::ControlCaptions()) {
      SetDlgItemText(row.nControlId, texts::CaptionForm(row, nIndex));
    }
    m_strVersion = TranslateVersionLine(m_strVersion, nIndex);
  }
  UpdateData(false);
  WriteLanguage(g_nLanguage);
}

void CWorkDlg::InitControls() {
  m_comboLanguage.SetCurSel(g_nLanguage);  // selecting by program runs no handler
  OnCbnSelchangeComboLanguage();
  FillAdapterBox();
  m_comboPolicy.SetCurSel(0);
  g_nPolicy = 1;
  m_btnStop.EnableWindow(false);
  UpdateData(false);
}
