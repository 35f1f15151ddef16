// The artwork, drawn in code: banner bitmap 137 (700 x 99 at 96 DPI, drawn larger for a
// screen of more dots per inch) and icon 128 (64, 48, 32 and 16 pixels). The pictures are
// made once, on first use.
#pragma once

#include "platform/dialog.h"

namespace res {

// The banner for dpiX x dpiY dots per inch: 700 x 99 at 96, and drawn dpiX / 96 times as
// wide and dpiY / 96 times as high above it (1400 x 198 at 192), so that it scales with the
// dialog as sharply as the dialog's text.
const platform::Image* BannerBitmap(int dpiX, int dpiY);
platform::IconHandle AppIcon();

// The drawing itself, for the file writer and the tests.
// The banner at scaleX x scaleY times its 96-DPI size.
platform::Image DrawBanner(double scaleX = 1.0, double scaleY = 1.0);
platform::Image DrawIcon(int size);

}  // namespace res
