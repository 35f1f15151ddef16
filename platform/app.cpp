#include "platform/app.h"

#include <cstdlib>

#include "platform/dialog.h"
#include "platform/socket.h"

namespace platform {
namespace {

CWinApp* g_pApp = nullptr;
SocketInitFn g_pfnSocketInit = nullptr;

void CleanupSocketLayer() { SocketCleanup(); }

bool RealSocketInit() {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  if (SocketStartup(1, 1, &major, &minor) != 0) return false;
  // Windows grants at most the version asked for, so this is "exactly 1.1" there; a layer
  // that serves a later version (as the POSIX one does) serves 1.1 as well.
  if (major < 1 || (major == 1 && minor < 1)) {
    SocketCleanup();
    return false;
  }
  std::atexit(CleanupSocketLayer);
  return true;
}

}  // namespace

CWinApp::CWinApp(const char* appName) : m_strAppName(appName ? appName : "") { g_pApp = this; }

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

bool CWinApp::InitInstance() { return true; }

CWinApp* AfxGetApp() { return g_pApp; }

bool AfxSocketInit() { return g_pfnSocketInit ? g_pfnSocketInit() : RealSocketInit(); }

void SetSocketInitForTesting(SocketInitFn fn) { g_pfnSocketInit = fn; }

void AfxEnableControlContainer() {}

void AfxMessageBox(const std::string& text) {
  CWinApp* app = AfxGetApp();
  std::string caption = app ? app->m_strAppName : std::string();
  if (DialogHost* host = GetDialogHost()) host->ApplicationMessageBox(text, caption);
}

void ExitProcess(int status) {
  if (DialogHost* host = GetDialogHost()) host->ExitProcess(status);
  std::exit(status);
}

std::string AppNameFromPath(const char* argv0) {
  std::string s = argv0 ? argv0 : "";
  std::size_t slash = s.find_last_of("/\\");
  if (slash != std::string::npos) s.erase(0, slash + 1);
  std::size_t dot = s.find_last_of('.');
  if (dot != std::string::npos && dot > 0) s.erase(dot);
  return s;
}

}  // namespace platform
