// CWorkDlg's settings members: the settings path of the run, the start-up reading, and the
// key operations on m_szSettingsPath.
#include "inspect/filekind.h"
#include "settings/keys.h"
#include "transmit/sender.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

void CWorkDlg::InitSettings() {
  settings::MakeSettingsPath(m_szSettingsPath, sizeof m_szSettingsPath);
  // Only 0 and 1 name a language; any other stored value (a hand-edited file) starts the
  // run in English, so that no message goes unshown.
  const std::int32_t nLanguage = ReadLanguage();
  g_nLanguage = (nLanguage == 0 || nLanguage == 1) ? nLanguage : 0;
  // The host's own texts follow from the first box on (the archive tool prompt).
  platform::SetHostLanguage(g_nLanguage);
  SetTransmissionDefaults();
  EnumAdapters();
  for (const inspect::SFileKindRow& row : inspect::kFileKindRows) m_mapFileKind.insert({row.pszExtension, row.nFileKind});
}

void CWorkDlg::EnsureSettingsFile() { settings::EnsureSettingsFile(m_szSettingsPath); }

std::int32_t CWorkDlg::ReadLanguage() { return settings::ReadLanguage(m_szSettingsPath); }

void CWorkDlg::WriteLanguage(std::int32_t nLanguage) { settings::WriteLanguage(m_szSettingsPath, nLanguage); }

std::string CWorkDlg::ReadLastAdapter() { return settings::ReadLastAdapter(m_szSettingsPath); }

void CWorkDlg::WriteLastAdapter(const std::string& strEntry) {
  settings::WriteLastAdapter(m_szSettingsPath, strEntry);
}

void CWorkDlg::WriteArchiveToolPath(const std::string& strPath) {
  settings::WriteArchiveToolPath(m_szSettingsPath, strPath);
}
