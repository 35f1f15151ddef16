// The Win32 dialog host of the Windows window, and what a window test may ask of it.
// (No Windows header here: the test and the program see only this neutral face.)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace platform::win32 {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// A shown window, as a test sees it (everything read from the real window).
class WindowProbe {
 public:
  virtual ~WindowProbe() = default;
  virtual CDialog& Dialog() = 0;
  virtual std::string Title() const = 0;
  virtual Rect ClientRect() const = 0;
  virtual Rect ControlRect(int id) const = 0;  // client coordinates; the closed height for a combo box
  virtual Rect DialogUnitsToPixels(int x, int y, int cx, int cy) const = 0;  // MapDialogRect
  virtual bool ControlVisible(int id) const = 0;
  virtual bool ControlEnabled(int id) const = 0;
  virtual std::string ControlText(int id) const = 0;
  virtual std::string ControlClass(int id) const = 0;  // the window class name
  virtual std::vector<std::string> ComboItems(int id) const = 0;
  virtual bool HasMinimizeBox() const = 0;
  virtual bool HasMaximizeBox() const = 0;
  virtual bool Resizable() const = 0;
  virtual bool HasTaskbarButton() const = 0;  // WS_EX_APPWINDOW
  virtual bool HasIcon(bool big) const = 0;   // WM_GETICON
  virtual std::vector<std::string> SystemMenu() const = 0;  // texts; "-" for a separator
  virtual int FocusId() const = 0;  // the control with the focus; 0 for none
  virtual bool SaveScreenshot(const std::string& path) const = 0;  // 24-bit BMP of the window
  virtual void PressKey(const std::string& key) = 0;  // "Enter", "Escape" or "Tab", to the focus
  virtual void ProcessEvents(int ms) = 0;
};

// Installs the Win32 host as the dialog host and the unowned-box handler (once).
void InstallHost();

// For tests: the next showing of a dialog of this template calls probe once the window is
// on screen; the dialog goes on running until the probe or the dialog ends it.
void OnShow(int templateId, std::function<void(WindowProbe&)> probe);

// The in-memory DLGTEMPLATEEX that DialogBoxIndirectParamW gets for a template (tested on
// its own: the bytes are the system's format).
std::vector<std::uint8_t> BuildDialogTemplate(const DialogTemplate& t);

}  // namespace platform::win32
