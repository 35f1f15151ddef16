// CAboutDlg: template 100; OK, Enter, Escape and the close box end it through the base class.
#include "res/dialogs.h"
#include "ui/workdlg.h"

CAboutDlg::CAboutDlg() : platform::CDialog(res::AboutBoxTemplate(), nullptr) {}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::DoDataExchange(platform::CDataExchange* pDX) { platform::CDialog::DoDataExchange(pDX); }
