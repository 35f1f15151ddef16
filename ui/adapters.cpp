// The adapter list: the table g_aAdapterNames, its filling from the system's list, and the
// adapter box with the remembered adapter.
#include <algorithm>
#include <cstring>

#include "transmit/state.h"
#include "ui/workdlg.h"

char g_aAdapterNames[kAdapterEntries][kAdapterEntrySize];

AdapterListFn g_pfnListAdapters = &platform::ListAdapters;

std::int32_t EnumAdapters() {
  std::memset(g_aAdapterNames, 0, sizeof g_aAdapterNames);
  std::vector<platform::AdapterInfo> list;
  if (!g_pfnListAdapters || g_pfnListAdapters(list) != platform::AdapterListStatus::Ok) return TX_ERR_ADAPTERS;
  for (std::size_t j = 0; j < list.size() && j < kAdapterEntries; ++j) {
    // At most 45 + 6 + 37 = 88 bytes: the entry's last byte stays its terminating zero.
    const std::string entry = platform::AdapterEntryText(list[j]);
    std::memcpy(g_aAdapterNames[j], entry.data(), std::min(entry.size(), kAdapterEntrySize - 1));
  }
  return TX_OK;
}

void CWorkDlg::FillAdapterBox() {
  m_comboNic.ResetContent();
  for (std::size_t j = 0; j < kAdapterEntries && g_aAdapterNames[j][0] != '\0'; ++j) {
    m_comboNic.AddString(g_aAdapterNames[j]);
  }
  std::string strLast = ReadLastAdapter();
  int nFound = m_comboNic.FindString(-1, strLast);
  m_comboNic.SetCurSel(nFound == platform::CB_ERR ? 0 : nFound);
}

void CWorkDlg::OnRefresh() {
  EnumAdapters();
  FillAdapterBox();
}

void CWorkDlg::OnCbnSelchangeComboNic() {
  int nSel = m_comboNic.GetCurSel();
  WriteLastAdapter(m_comboNic.GetLBText(nSel));
}
