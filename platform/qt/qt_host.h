// The Qt 6 Widgets host of the Linux window, and what a window test may ask of it.
// (No Qt header here: the test and the program see only this neutral face.)
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace platform::qt {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// A shown window, as a test sees it.
class WindowProbe {
 public:
  virtual ~WindowProbe() = default;
  virtual CDialog& Dialog() = 0;
  virtual Rect ControlRect(int id) const = 0;  // client coordinates; the closed height for a combo box
  virtual int ComboDropDownRows(int id) const = 0;
  virtual bool ControlVisible(int id) const = 0;
  virtual bool ControlEnabled(int id) const = 0;
  virtual std::string ControlText(int id) const = 0;
  virtual std::string ControlClass(int id) const = 0;  // the widget's class name
  virtual Rect ClientRect() const = 0;
  virtual bool FixedSize() const = 0;
  virtual bool HasMinimizeButton() const = 0;
  virtual bool HasMaximizeButton() const = 0;
  virtual std::string Title() const = 0;
  virtual std::string FontFamily() const = 0;  // the face actually used
  virtual int BaseUnitX() const = 0;
  virtual int BaseUnitY() const = 0;
  virtual std::vector<int> TabOrder() const = 0;        // ids of the tab stops in Tab order
  virtual std::vector<std::string> ContextMenu() const = 0;  // texts; "-" for a separator
  virtual bool SaveScreenshot(const std::string& path) const = 0;  // PNG
  // "Enter", "Escape" or "Space" (pressed and released), sent to the focus widget.
  virtual void PressKey(const std::string& key) = 0;
  virtual int FocusControl() const = 0;  // as the dialog sees it (DialogWindow::GetFocusControl)
  virtual Image GrabControl(int id) const = 0;  // the control as drawn, at the screen's scale
  virtual void ProcessEvents(int ms) = 0;
};

// Makes the application object (when none exists) and installs the Qt host as the dialog
// host and the unowned-box handler. The host lives until the process ends.
void InstallHost(int& argc, char** argv);

// For tests: the next showing of a dialog of this template calls probe once the window is
// on screen; the dialog goes on running until the probe or the dialog ends it.
void OnShow(int templateId, std::function<void(WindowProbe&)> probe);

}  // namespace platform::qt
