// CWorkDlg's side of a transmission: Start, Stop, the 10 ms timer that shows the progress
// and turns the worker's result into a message, and the window's destruction.
#include <cstdint>
#include <cstdio>

#include "inspect/fileio.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "res/texts.h"
#include "transmit/datagram.h"
#include "transmit/reconnect.h"
#include "transmit/sender.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

std::atomic<platform::ThreadProc> g_pfnTransmissionProc{&TransmissionThreadProc};

namespace {

constexpr unsigned kProgressTimer = 1;
constexpr unsigned kProgressPeriodMs = 10;

std::atomic<int> g_nWorkersRunning{0};

// The worker's procedure, counted while it runs. The count is taken up by Start before the
// thread exists, so that a worker is counted from the moment it is asked for.
std::uint32_t CountedTransmissionProc(std::intptr_t param) {
  const std::uint32_t dwResult = g_pfnTransmissionProc.load()(param);
  g_nWorkersRunning.fetch_sub(1);
  return dwResult;
}

// Whether the file opens for reading (a folder does not), closed again at once.
bool FileOpensForReading(const char* pszPath) {
  std::FILE* file = inspect::OpenForReading(pszPath);
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// Ends an earlier worker that still runs before anything of a new transmission is touched:
// it is asked to stop and given the time it needs to see that (one datagram or one set-up
// attempt), and no more than kEarlierWorkerWaitMs, so that two workers never share the
// header template and the datagram buffer. Answers whether the keep-sending flag was set.
// The stop state is stored before the flag is cleared, as Stop does it, so that a worker
// that sets the flag after its set-up still sees the stop. The wait is measured by the
// counter: a 1 ms sleep can last a whole scheduler tick (15.6 ms on Windows).
bool EndEarlierWorker() {
  if (g_nWorkersRunning.load() == 0) return false;
  g_nRunState = RUN_STOPPED;
  const bool bWasSending = g_bSending.exchange(0) == 1;
  const std::int64_t qwDeadline =
      platform::CounterNow() + platform::CounterFrequency() * kEarlierWorkerWaitMs / 1000;
  while (g_nWorkersRunning.load() > 0 && platform::CounterNow() < qwDeadline) platform::SleepMs(1);
  return bWasSending;
}

}  // namespace

int TransmissionWorkersRunning() { return g_nWorkersRunning.load(); }

// The bar's position: 100 for a file of at most one datagram, else the share of the file up
// to the current datagram, truncated, in 64 bits so that no 32-bit operands overflow, and
// within the bar's range.
int ProgressPosition(std::uint32_t dwPacketNo, std::uint32_t dwFileLength) {
  if (dwFileLength <= kChunkSize) return 100;
  const std::uint64_t qwPos = static_cast<std::uint64_t>(dwPacketNo) * kChunkSize * 100u / dwFileLength;
  return qwPos > 100u ? 100 : static_cast<int>(qwPos);
}

void CWorkDlg::OnStart() {
  // A worker that still sends makes this the press that clears the flag (below); it has
  // ended before the file is checked and measured again.
  const bool bClearsFlag = EndEarlierWorker();

  // Counters, bar and counter texts back to nothing sent.
  auto clearProgress = [this] {
    g_dwPacketNo = 0;
    g_dwPassCount = 0;
    m_progress.SetPos(0);
    m_strSendTime.clear();
    m_strPacketNo.clear();
  };
  clearProgress();
  UpdateData(false);

  if (!FileOpensForReading(g_szFilePath)) {
    ShowMessage(texts::Message::FileUnreadable, texts::Caption::Error);
    m_strPath.clear();  // g_szFilePath itself stays
    UpdateData(false);
    return;
  }
  // MeasureBinFile only for a file that fits the policy.
  if (g_nPolicy != g_nFilePolicy || MeasureBinFile(g_szFilePath) != 0) {
    ShowMessage(texts::Message::PolicyMismatch, texts::Caption::Error);
    UpdateData(false);
    return;
  }
  UpdateData(false);

  g_nRunState = RUN_STARTED;

  if (!FileOpensForReading(g_szFilePath)) {
    ShowMessage(texts::Message::FileUnreadable, texts::Caption::Error);
    m_strPath.clear();
    clearProgress();
    UpdateData(false);
    return;
  }
  UpdateData(false);

  // The worker ended with a fatal result and left the flag set (or still sent): this press
  // only clears it.
  if (bClearsFlag || g_bSending == 1) {
    g_bSending = 0;
    return;
  }

  // The adapter the box shows, followed by its name from here on; and the mark that no other
  // program on this host sends on it, held by the worker until it ends.
  const int nSel = m_comboNic.GetCurSel();
  std::vector<platform::AdapterInfo> adapters;
  if (g_pfnListAdapters == nullptr || g_pfnListAdapters(adapters) != platform::AdapterListStatus::Ok) adapters.clear();
  const SChosenAdapter chosen =
      ChosenAdapterShown(adapters, nSel, nSel >= 0 ? m_comboNic.GetLBText(nSel) : std::string());
  std::unique_ptr<platform::AdapterSendLock> pSendLock;
  if (!chosen.strName.empty() &&
      platform::TryLockAdapterForSending(chosen.strName, &pSendLock) == platform::SendLockStatus::Busy) {
    ShowMessage(texts::Message::AdapterBusy, texts::Caption::Error);
    return;
  }
  SetChosenAdapter(chosen);
  SetSendLock(std::move(pSendLock));

  SetTimer(kProgressTimer, kProgressPeriodMs);
  g_nWorkersRunning.fetch_add(1);
  m_pWorkerThread = platform::StartWorkerThread(&CountedTransmissionProc, nSel, platform::ThreadPriority::Normal);
  if (!m_pWorkerThread) {
    // No thread could be made: nothing is sent, so the window stays as it was.
    g_nWorkersRunning.fetch_sub(1);
    KillTimer(kProgressTimer);
    TakeChosenAdapter(nSel);
    TakeSendLock();
    return;
  }

  if (m_btnStart.IsWindowEnabled()) {
    m_btnStart.EnableWindow(false);
    m_btnRefresh.EnableWindow(false);
    m_btnOpen.EnableWindow(false);
    m_comboNic.EnableWindow(false);
    m_btnStop.EnableWindow(true);
    MoveFocusFromDisabled(IDC_BTN_STOP);
  }
}

void CWorkDlg::OnStop() {
  // The stop state first: a worker that finishes its socket set-up now sets the flag again
  // and then finds the stop state (see TransmissionThreadProc).
  g_nRunState = RUN_STOPPED;
  g_bSending = 0;
  m_btnStop.EnableWindow(false);
  m_btnStart.EnableWindow(true);
  m_btnRefresh.EnableWindow(true);
  m_btnOpen.EnableWindow(true);
  m_comboNic.EnableWindow(true);
  MoveFocusFromDisabled(IDC_BTN_START);
  ShowAdapterWait(false);
  OnRefresh();
  KillTimer(kProgressTimer);
}

void CWorkDlg::OnTimer(unsigned nIDEvent) {
  if (nIDEvent != kProgressTimer) return;

  const std::uint32_t dwPassCount = g_dwPassCount;
  const std::uint32_t dwPacketNo = g_dwPacketNo;
  m_strSendTime = std::to_string(dwPassCount);  // the counters are unsigned, shown as such
  m_strPacketNo = std::to_string(dwPacketNo);

  const std::uint32_t dwFileLength = g_dwFileLength;
  if (dwFileLength != 0) {
    m_progress.SetPos(ProgressPosition(dwPacketNo, dwFileLength));
    m_progress.UpdateWindow();
    SetDlgItemText(IDC_EDIT_SENDTIME, m_strSendTime);
    SetDlgItemText(IDC_EDIT_PACKETNO, m_strPacketNo);
  }

  const std::int32_t nResult = g_nResult;
  if (nResult != 0) {
    if (nResult == TX_ERR_OPEN || nResult == TX_ERR_CRC || nResult == TX_ERR_CHANGED) {
      g_nResult = 0;  // the ticks that come while the box is open show no second one
      ShowMessage(nResult == TX_ERR_OPEN  ? texts::Message::OpenFailed
                  : nResult == TX_ERR_CRC ? texts::Message::CrcError
                                          : texts::Message::FileChanged,
                  texts::Caption::Error);
    }
    if (g_nResult == TX_RETRY) {
      m_btnStop.EnableWindow(true);
      m_btnStart.EnableWindow(false);
    } else {
      m_btnStop.EnableWindow(false);
      m_btnStart.EnableWindow(true);
      m_btnRefresh.EnableWindow(true);
      m_btnOpen.EnableWindow(true);
      m_comboNic.EnableWindow(true);
    }
    // A file that changed under the sender is sent again only after it was chosen and
    // analysed again: Open is the way on, Start stays off.
    if (nResult == TX_ERR_CHANGED) m_btnStart.EnableWindow(false);
    MoveFocusFromDisabled(m_btnStop.IsWindowEnabled()    ? IDC_BTN_STOP
                          : m_btnStart.IsWindowEnabled() ? IDC_BTN_START
                                                         : IDC_BTN_OPEN);
    UpdateData(false);
  }
  ShowAdapterWait(g_bAdapterWait == 1);
}

// The waiting text takes the datagram number's place (nothing is current while no set-up
// has succeeded). When the wait ends and no tick has written a number since, the field gets
// back what it showed before.
void CWorkDlg::ShowAdapterWait(bool bWaiting) {
  const char* pszWaiting = bWaiting ? texts::MessageText(texts::Message::WaitingForAdapter, g_nLanguage) : nullptr;
  const bool bShown = !m_strAdapterWait.empty() && GetDlgItemText(IDC_EDIT_PACKETNO) == m_strAdapterWait;
  if (pszWaiting != nullptr) {
    if (!bShown) m_strBeforeWait = GetDlgItemText(IDC_EDIT_PACKETNO);
    m_strAdapterWait = pszWaiting;
    SetDlgItemText(IDC_EDIT_PACKETNO, m_strAdapterWait);
  } else {
    if (bShown) SetDlgItemText(IDC_EDIT_PACKETNO, m_strBeforeWait);
    m_strAdapterWait.clear();
  }
}

bool CWorkDlg::DestroyWindow() {
  g_bSending = 0;
  KillTimer(kProgressTimer);
  return platform::CDialog::DestroyWindow();
}
