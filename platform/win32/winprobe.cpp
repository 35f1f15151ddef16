// upgrade-winprobe: looks at the windows of other programs for the window tests of the
// Windows build (run under Wine). Texts are printed in UTF-8, one per line.
//
//   upgrade-winprobe wait TITLE SECONDS      a shown top-level window with this title appears
//   upgrade-winprobe texts TITLE SECONDS     waits as above, then prints its static texts
//   upgrade-winprobe controls TITLE          prints "id enabled visible class|text" per control
//   upgrade-winprobe press TITLE ID          clicks the window's button ID (a message box's OK is 1)
//   upgrade-winprobe settext TITLE ID TEXT   sets the text of the window's control ID (at any depth)
//   upgrade-winprobe close TITLE             sends the window WM_CLOSE
//   upgrade-winprobe gone TITLE SECONDS      no shown window with this title is left
// Exit status 0 on success, 1 when the window is not found in time, 2 for a usage error.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/text.h"

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

struct Search {
  std::wstring title;
  HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  if (!IsWindowVisible(h)) return TRUE;
  wchar_t text[512] = L"";
  GetWindowTextW(h, text, 512);
  if (s->title == text) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND Find(const std::wstring& title) {
  Search s;
  s.title = title;
  EnumWindows(&FindTop, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND WaitFor(const std::wstring& title, double seconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (HWND h = Find(title)) return h;
    if (GetTickCount64() > end) return nullptr;
    Sleep(100);
  }
}

// WM_GETTEXT rather than GetWindowTextW, which gives another process's edit field's caption,
// not its text.
std::string Text(HWND h) {
  wchar_t text[1024] = L"";
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &n)) n = 0;
  return Narrow(text, static_cast<int>(std::min<DWORD_PTR>(n, 1023)));
}

std::string ClassOf(HWND h) {
  wchar_t name[128] = L"";
  int n = GetClassNameW(h, name, 128);
  return Narrow(name, n);
}

BOOL CALLBACK Collect(HWND h, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
  return TRUE;
}

std::vector<HWND> Children(HWND h) {
  std::vector<HWND> out;
  EnumChildWindows(h, &Collect, reinterpret_cast<LPARAM>(&out));
  return out;
}

int Usage() {
  std::fprintf(stderr, "usage: upgrade-winprobe wait|texts|controls|press|settext|close|gone TITLE [ARG...]\n");
  return 2;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  // Arguments in UTF-16 from the command line, whatever the code page.
  int wargc = 0;
  LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
  if (!wargv || wargc < 3) return Usage();
  const std::string cmd = Narrow(wargv[1]);
  const std::wstring title = wargv[2];
  const double seconds = wargc > 3 ? std::atof(Narrow(wargv[3]).c_str()) : 0;

  if (cmd == "wait") return WaitFor(title, seconds) ? 0 : 1;
  if (cmd == "gone") {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    while (Find(title)) {
      if (GetTickCount64() > end) return 1;
      Sleep(100);
    }
    return 0;
  }
  if (cmd == "texts") {
    HWND h = WaitFor(title, seconds);
    if (!h) return 1;
    Sleep(300);  // let it finish drawing
    for (HWND c : Children(h))
      if (ClassOf(c) == "Static" && !Text(c).empty()) std::printf("%s\n", Text(c).c_str());
    return 0;
  }
  HWND h = Find(title);
  if (!h) return 1;
  if (cmd == "controls") {
    for (HWND c : Children(h)) {
      if (GetParent(c) != h) continue;
      std::printf("%d %d %d %s|%s\n", GetDlgCtrlID(c), IsWindowEnabled(c) ? 1 : 0, IsWindowVisible(c) ? 1 : 0,
                  ClassOf(c).c_str(), Text(c).c_str());
    }
    return 0;
  }
  if (cmd == "press" && wargc > 3) {
    const int id = std::atoi(Narrow(wargv[3]).c_str());
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, id)));
    return 0;
  }
  if (cmd == "settext" && wargc > 4) {
    const int id = std::atoi(Narrow(wargv[3]).c_str());
    for (HWND c : Children(h))
      if (GetDlgCtrlID(c) == id) {
        SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wargv[4]));
        return 0;
      }
    return 1;
  }
  if (cmd == "close") {
    PostMessageW(h, WM_CLOSE, 0, 0);
    return 0;
  }
  return Usage();
}
