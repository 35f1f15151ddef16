// CWorkDlg, the tool's main window, and the adapter table it fills.
//
// The class is one; its members live in the folders of the subsystems that own them:
// ui/ (window, About box, adapter list, file choice, language switch),
// transmit/control.cpp (Start, Stop, the timer, window destruction), inspect/analyse.cpp
// (the file analysis), settings/settings.cpp (the settings file), settings/archivetool.cpp
// (the archive tool's location), app/guard.cpp (the single-instance guard).
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/adapters.h"
#include "platform/dialog.h"
#include "platform/thread.h"
#include "res/resource.h"
#include "res/texts.h"

inline constexpr std::size_t kAdapterEntries = 10;
inline constexpr std::size_t kAdapterEntrySize = 89;
inline constexpr std::size_t kAdapterDescriptionCut = 45;
inline constexpr std::size_t kAdapterAddressCut = 37;
inline constexpr std::size_t kSettingsPathSize = 256;
// The archive tool's path: room for the longest path the systems take (4095 characters).
inline constexpr std::size_t kArchiveToolPathSize = 4096;

// The adapter table: entry j is "<description, at most 45 bytes>...IP:<address>" of the
// j-th adapter; entries after the last adapter are all zero.
extern char g_aAdapterNames[kAdapterEntries][kAdapterEntrySize];

// Fills g_aAdapterNames from the system's list; 0, or 15 (TX_ERR_ADAPTERS) with the table
// left empty when the list cannot be read.
std::int32_t EnumAdapters();

// Where EnumAdapters reads the adapter list; tests put a list of their own making here.
using AdapterListFn = platform::AdapterListStatus (*)(std::vector<platform::AdapterInfo>& out);
extern AdapterListFn g_pfnListAdapters;  // platform::ListAdapters by default

// The procedure Start runs on a new worker; TransmissionThreadProc by default (tests put a
// recorder here).
extern std::atomic<platform::ThreadProc> g_pfnTransmissionProc;

// Workers started by Start that have not yet returned.
int TransmissionWorkersRunning();

// How long Start waits for an earlier worker that still runs, which it asks to stop, to end
// before it goes on.
inline constexpr unsigned kEarlierWorkerWaitMs = 2000;

// The archive tool's usual place: for the separator '\\' (Windows) WinRAR's program file,
// otherwise the Linux program of the same archiver.
const char* DefaultArchiveToolPathFor(char cPathSeparator);
// Where LocateArchiveTool looks when the settings name no archive tool; by default the
// usual place on this platform (tests put a path of their own making here).
using ArchiveToolDefaultFn = const char* (*)();
extern ArchiveToolDefaultFn g_pfnDefaultArchiveToolPath;
const char* DefaultArchiveToolPath();

// The progress bar's position for the current datagram and the file's length.
int ProgressPosition(std::uint32_t dwPacketNo, std::uint32_t dwFileLength);

// The version line in the other language: the dictionary's pairs applied in their order,
// each replacing every non-overlapping occurrence from left to right (0: the Chinese texts
// become English, 1: the English texts become Chinese; any other code changes nothing).
std::string TranslateVersionLine(const std::string& strLine, int nLanguage);

class CWorkDlg : public platform::CDialog {
 public:
  enum { IDD = IDD_WORK_DIALOG };

  explicit CWorkDlg(platform::CDialog* pParent = nullptr);
  ~CWorkDlg() override;

  // The file kind of an extension (0 for one the table does not hold).
  std::int32_t FileKindOf(const std::string& ext) const;
  const char* SettingsPath() const { return m_szSettingsPath; }
  const char* ArchiveToolPath() const { return m_szArchiveToolPath; }

  // Settings file (settings/settings.cpp)
  void InitSettings();
  void EnsureSettingsFile();
  std::int32_t ReadLanguage();
  void WriteLanguage(std::int32_t nLanguage);
  std::string ReadLastAdapter();
  void WriteLastAdapter(const std::string& strEntry);
  void WriteArchiveToolPath(const std::string& strPath);

  // Single-instance guard (app/guard.cpp)
  void CheckSingleInstance();

  // Archive tool location (settings/archivetool.cpp): returns 1 once the settings name an
  // existing file or folder; ends the process when the operator cancels the choice.
  int LocateArchiveTool();

  // Controls' first state and the language switch (ui/language.cpp)
  void InitControls();

  // File analysis (inspect/analyse.cpp)
  void AnalyseFileVersion();
  void ShowAnalysingNotice();
  std::string GetTrxVersion(const char* pszPath);
  std::string GetBinVersion(const char* pszPath);
  int CheckBinFile(const char* pszPath, std::string& strVersion);

  // File choice (ui/filechoice.cpp)
  int RefuseWhileSending();
  void ChooseUpgradeFile();
  std::string GetFileFilter() const;

  // Window destruction stops a running transmission (transmit/control.cpp).
  bool DestroyWindow() override;

  // Adapter box (ui/adapters.cpp)
  void FillAdapterBox();

 protected:
  void DoDataExchange(platform::CDataExchange* pDX) override;
  bool OnInitDialog() override;
  void OnOK() override;
  const platform::EventTable* GetEventTable() const override;

  // Handlers of the event table
  void OnSysCommand(unsigned nID, std::intptr_t lParam);
  void OnPaint();
  platform::IconHandle OnQueryDragIcon();
  void OnRefresh();
  void OnCbnSelchangeComboNic();
  void OnOpen();                       // ui/filechoice.cpp
  void OnBnClickedCheckForce();        // ui/filechoice.cpp
  void OnCbnSelchangeComboLanguage();  // ui/language.cpp
  void OnStart();                      // transmit/control.cpp
  void OnStop();                       // transmit/control.cpp
  void OnTimer(unsigned nIDEvent);     // transmit/control.cpp

  // A box of this dialog in the current language: nothing for a language other than 0 or 1.
  void ShowMessage(texts::Message eMessage, texts::Caption eCaption);
  // The note that the settings cannot be kept in strFolder (named in the text).
  void ShowSettingsNotKept(const std::string& strFolder);

  // When a handler has disabled the control that had the focus, the focus goes to nNext, the
  // control the operator needs next, not on along the tab order (to the force check box).
  void MoveFocusFromDisabled(int nNext);

  // The counters' area says that the worker waits for its adapter while it does, and shows
  // the datagram field as before once it no longer waits (transmit/control.cpp).
  void ShowAdapterWait(bool bWaiting);

  // Control objects
  platform::CStatic m_staticPolicy;
  platform::CStatic m_staticNic;
  platform::CStatic m_staticLanguage;
  platform::CStatic m_staticPath;
  platform::CStatic m_staticPacketNo;
  platform::CStatic m_staticSendTime;
  platform::CButton m_groupFileInfo;
  platform::CButton m_groupConfig;
  platform::CComboBox m_comboLanguage;
  platform::CComboBox m_comboPolicy;
  platform::CButton m_btnStop;
  platform::CButton m_btnRefresh;
  platform::CButton m_btnOpen;
  platform::CButton m_btnStart;
  platform::CProgressCtrl m_progress;
  platform::CComboBox m_comboNic;
  platform::CButton m_checkForce;

  // Bound texts and other members
  std::string m_strPath;
  std::string m_strSendTime;
  std::string m_strPacketNo;
  std::string m_strVersion;
  std::string m_strFileExt;
  platform::IconHandle m_hIcon;
  std::map<std::string, int> m_mapFileKind;  // extension -> file kind, case-sensitive
  char m_szSettingsPath[kSettingsPathSize];
  char m_szArchiveToolPath[kArchiveToolPathSize];
  std::unique_ptr<platform::WorkerThread> m_pWorkerThread;  // set by Start; never joined
  std::string m_strAdapterWait;  // the waiting text last put in the datagram field, or empty
  std::string m_strBeforeWait;   // what that field showed before it

 private:
  static const platform::EventEntry kEvents[];
  static const platform::EventTable kEventTable;
};

// The About box, template 100.
class CAboutDlg : public platform::CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };
  CAboutDlg();
  ~CAboutDlg() override;

 protected:
  void DoDataExchange(platform::CDataExchange* pDX) override;
};
