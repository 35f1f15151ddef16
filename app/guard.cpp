// CWorkDlg's single-instance guard: the marker "KAV" per logon, the refusal of a second
// copy before its window is shown, and then the archive tool's location.
#include "platform/app.h"
#include "platform/instance.h"
#include "res/texts.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

void CWorkDlg::CheckSingleInstance() {
  // The marker stays held for the rest of the process's life.
  if (platform::CreateInstanceMarker("KAV") == platform::InstanceMarker::AlreadyExists) {
    const int nLanguage = g_nLanguage;
    const char* text = texts::MessageText(texts::Message::AnotherInstance, nLanguage);
    const char* caption = texts::CaptionText(texts::Caption::Error, nLanguage);
    if (text && caption) MessageBox(text, caption);
    platform::ExitProcess(0);
  }
  LocateArchiveTool();
}
