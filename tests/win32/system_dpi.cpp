// The system's dots per inch, for the window test.
#include <windows.h>

int SystemDpi();
int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi;
}
