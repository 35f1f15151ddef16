// CWorkDlg's archive tool location: at every start the settings must name an existing copy
// of the archive tool, found at its usual place or chosen by the operator; a cancelled
// choice ends the program. Where the settings file cannot be written, the chosen path is
// used for the run and the operator is told once that the folder cannot keep it.
#include <cstring>
#include <string>

#include "platform/app.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "res/texts.h"
#include "settings/keys.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

namespace {

constexpr const char kArchiveToolFilter[] = "WinRAR execution (*.exe)|*.exe|All Files(*.*)|*.*|";

// The folder the settings file lies in: the settings path without its file name, or the
// current directory when the run has no settings path (a folder path too long for it).
std::string SettingsFolder(const char* pszSettingsPath) {
  std::string strPath(pszSettingsPath);
  const std::size_t nCut = strPath.rfind(platform::PathSeparator());
  if (!strPath.empty() && nCut != std::string::npos) return strPath.substr(0, nCut);
  std::string strFolder(kArchiveToolPathSize, '\0');
  strFolder.resize(platform::GetCurrentDirectory(strFolder.data(), strFolder.size()));
  return strFolder;
}

}  // namespace

const char* DefaultArchiveToolPathFor(char cPathSeparator) {
  return cPathSeparator == '\\' ? "C:\\Program Files\\WinRAR\\WinRAR.exe" : "/usr/bin/rar";
}

const char* DefaultArchiveToolPath() { return DefaultArchiveToolPathFor(platform::PathSeparator()); }

ArchiveToolDefaultFn g_pfnDefaultArchiveToolPath = &DefaultArchiveToolPath;

int CWorkDlg::LocateArchiveTool() {
  auto readStored = [this] {
    std::memset(m_szArchiveToolPath, 0, sizeof m_szArchiveToolPath);
    return platform::GetPrivateProfileString(settings::kSection, settings::kKeyArchiveTool, nullptr,
                                             m_szArchiveToolPath, sizeof m_szArchiveToolPath, m_szSettingsPath);
  };

  // Not set: the usual place, stored when something is there.
  if (readStored() == 0) {
    std::memset(m_szArchiveToolPath, 0, sizeof m_szArchiveToolPath);
    std::strncpy(m_szArchiveToolPath, g_pfnDefaultArchiveToolPath(), sizeof m_szArchiveToolPath - 1);
    if (platform::PathExists(m_szArchiveToolPath)) {
      WriteArchiveToolPath(m_szArchiveToolPath);
      return 1;
    }
  }

  // A path counts once it has been stored and read back. Where the store is lost (a
  // folder that cannot be written, a folder path too long for the settings path), the
  // chosen path itself counts for this run, and the operator is told so once: otherwise the
  // prompt would come back after every choice until Cancel ends the program.
  const std::string strFolder = SettingsFolder(m_szSettingsPath);
  bool bToldNotKept = false;
  std::string strUnstored;  // the chosen path, when its store was lost
  for (;;) {
    if (readStored() > 0 && platform::PathExists(m_szArchiveToolPath)) return 1;
    if (!strUnstored.empty() && platform::PathExists(strUnstored.c_str())) {
      std::memset(m_szArchiveToolPath, 0, sizeof m_szArchiveToolPath);
      std::memcpy(m_szArchiveToolPath, strUnstored.data(), strUnstored.size());
      return 1;
    }

    ShowMessage(texts::Message::ArchiveToolNeeded, texts::Caption::Notify);
    std::string strChosen;
    if (!GetOpenFileName(kArchiveToolFilter, strChosen)) platform::ExitProcess(0);
    // A path longer than the buffer holds is not stored: the prompt comes again.
    if (strChosen.size() >= sizeof m_szArchiveToolPath) continue;
    std::memset(m_szArchiveToolPath, 0, sizeof m_szArchiveToolPath);
    std::memcpy(m_szArchiveToolPath, strChosen.data(), strChosen.size());
    WriteArchiveToolPath(m_szArchiveToolPath);
    strUnstored.clear();
    if (readStored() > 0 && strChosen == m_szArchiveToolPath) continue;  // kept: judged as stored
    strUnstored = strChosen;
    if (!bToldNotKept) {
      bToldNotKept = true;
      ShowSettingsNotKept(strFolder);
    }
  }
}
