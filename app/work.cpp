#include "app/work.h"

#include "res/dialogs.h"
#include "res/resource.h"
#include "ui/workdlg.h"

CWorkApp theApp;

CWorkApp::CWorkApp() = default;

CWorkApp::~CWorkApp() = default;

bool CWorkApp::InitInstance() {
  if (!platform::AfxSocketInit()) {
    platform::AfxMessageBox(res::LoadResourceString(IDS_SOCKETS_INIT_FAILED));
    return false;
  }
  platform::AfxEnableControlContainer();

  CWorkDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return false;
}
