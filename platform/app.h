// The application framework's small part: the one application object, its start-up calls,
// and the program's entry point, which each window host provides.
#pragma once

#include <string>

namespace platform {

class CDialog;

// The application. Exactly one exists, as a global object; its constructor registers it.
class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Runs once when the program starts; false ends the application without a message loop.
  virtual bool InitInstance();

  CDialog* m_pMainWnd = nullptr;
  std::string m_strAppName;  // the executable's name without extension unless given
};

CWinApp* AfxGetApp();

// Starts the socket layer (version 1.1) and arranges its clean-up at process exit.
// True when the layer serves version 1.1.
bool AfxSocketInit();
// For tests: replaces the socket start-up AfxSocketInit runs (nullptr: the real one).
using SocketInitFn = bool (*)();
void SetSocketInitForTesting(SocketInitFn fn);

// Hosting of embedded controls; our dialogs hold none, so there is nothing to do.
void AfxEnableControlContainer();

// The application's own box: no owner, the application's name as caption.
void AfxMessageBox(const std::string& text);

// Ends the process with this status at once, through the window host when there is one.
[[noreturn]] void ExitProcess(int status);

// The program's entry point, given by the window host linked in: sets the host up, names
// the application after argv[0], runs the application object's InitInstance, returns the
// process status.
int AfxWinMain(int argc, char** argv);

// Shared by the hosts' AfxWinMain: the executable's file name without folder and extension.
std::string AppNameFromPath(const char* argv0);

}  // namespace platform
