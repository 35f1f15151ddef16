// CWorkApp, the application object, and its start-up.
#pragma once

#include "platform/app.h"

class CWorkApp : public platform::CWinApp {
 public:
  CWorkApp();
  ~CWorkApp() override;

  // Starts the socket layer, runs the main dialog modally and ends the application.
  // Always false: the application has no message loop of its own.
  bool InitInstance() override;
};

extern CWorkApp theApp;
