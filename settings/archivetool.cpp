// CWorkDlg's archive tool location: at every start the settings must name an existing copy
// of the archive tool, found at its usual place or chosen by the operator; a cancelled
// choice ends the program.
#include <cstring>

#include "platform/app.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "res/texts.h"
#include "settings/keys.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

namespace {

constexpr const char kArchiveToolFilter[] = "WinRAR execution (*.exe)|*.exe|All Files(*.*)|*.*|";

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

  // A path counts only once it has been stored and read back.
  for (;;) {
    if (readStored() > 0 && platform::PathExists(m_szArchiveToolPath)) return 1;

    ShowMessage(texts::Message::ArchiveToolNeeded, texts::Caption::Notify);
    std::string strChosen;
    if (!GetOpenFileName(kArchiveToolFilter, strChosen)) platform::ExitProcess(0);
    // A path longer than the buffer holds is not stored: the prompt comes again.
    if (strChosen.size() < sizeof m_szArchiveToolPath) {
      std::memset(m_szArchiveToolPath, 0, sizeof m_szArchiveToolPath);
      std::memcpy(m_szArchiveToolPath, strChosen.data(), strChosen.size());
      WriteArchiveToolPath(m_szArchiveToolPath);
    }
  }
}
