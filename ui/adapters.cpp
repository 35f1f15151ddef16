// The adapter list: the table g_aAdapterNames, its filling from the system's list, and the
// adapter box with the remembered adapter.
#include <cstring>

#include "transmit/state.h"
#include "ui/workdlg.h"

char g_aAdapterNames[kAdapterEntries][kAdapterEntrySize];

AdapterListFn g_pfnListAdapters = &platform::ListAdapters;

namespace {

// Appends at most `cut` bytes of `text` to the entry, stopping at the text's end.
void AppendCut(char* entry, const std::string& text, std::size_t cut) {
  std::size_t len = std::strlen(entry);
  std::size_t n = text.size() < cut ? text.size() : cut;
  if (len + n > kAdapterEntrySize - 1) n = kAdapterEntrySize - 1 - len;
  std::memcpy(entry + len, text.data(), n);
  entry[len + n] = '\0';
}

}  // namespace

std::int32_t EnumAdapters() {
  std::memset(g_aAdapterNames, 0, sizeof g_aAdapterNames);
  std::vector<platform::AdapterInfo> list;
  if (!g_pfnListAdapters || g_pfnListAdapters(list) != platform::AdapterListStatus::Ok) return TX_ERR_ADAPTERS;
  for (std::size_t j = 0; j < list.size() && j < kAdapterEntries; ++j) {
    const platform::AdapterInfo& a = list[j];
    // A description is a C text: the copy stops at its first zero byte.
    std::string description(a.description.c_str());
    AppendCut(g_aAdapterNames[j], description, kAdapterDescriptionCut);
    AppendCut(g_aAdapterNames[j], "...IP:", 6);
    AppendCut(g_aAdapterNames[j], std::string(a.ipv4.c_str()), kAdapterAddressCut);
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
