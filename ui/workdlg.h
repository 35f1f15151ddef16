// CWorkDlg, the tool's main window, and the adapter table it fills.
//
// The class is one; its members live in the folders of the subsystems that own them:
// ui/ (window, About box, adapter list), settings/settings.cpp (the settings file),
// app/guard.cpp (the single-instance guard).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/adapters.h"
#include "platform/dialog.h"
#include "platform/thread.h"
#include "res/resource.h"

inline constexpr std::size_t kAdapterEntries = 10;
inline constexpr std::size_t kAdapterEntrySize = 89;
inline constexpr std::size_t kAdapterDescriptionCut = 45;
inline constexpr std::size_t kAdapterAddressCut = 37;
inline constexpr std::size_t kSettingsPathSize = 256;

// The adapter table: entry j is "<description, at most 45 bytes>...IP:<address>" of the
// j-th adapter; entries after the last adapter are all zero.
extern char g_aAdapterNames[kAdapterEntries][kAdapterEntrySize];

// Fills g_aAdapterNames from the system's list; 0, or 15 (TX_ERR_ADAPTERS) with the table
// left empty when the list cannot be read.
std::int32_t EnumAdapters();

// Where EnumAdapters reads the adapter list; tests put a list of their own making here.
using AdapterListFn = platform::AdapterListStatus (*)(std::vector<platform::AdapterInfo>& out);
extern AdapterListFn g_pfnListAdapters;  // platform::ListAdapters by default

class CWorkDlg : public platform::CDialog {
 public:
  enum { IDD = IDD_WORK_DIALOG };

  explicit CWorkDlg(platform::CDialog* pParent = nullptr);
  ~CWorkDlg() override;

  // The file kind of an extension (0 for one the table does not hold).
  std::int32_t FileKindOf(const std::string& ext) const;
  const char* SettingsPath() const { return m_szSettingsPath; }

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

  // Controls' first state (ui/workdlg.cpp)
  void InitControls();

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
  char m_szArchiveToolPath[kSettingsPathSize];
  std::unique_ptr<platform::WorkerThread> m_pWorkerThread;  // set by Start; never joined

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
